// Reading object files (Wavefront OBJ, LightWave LWO and whatever else Assimp reads) into
// the scene, keeping polygons, surfaces and layers.
#ifndef RENDER_MESH_IMPORT_H
#define RENDER_MESH_IMPORT_H

#include <string>

#include "refhost/scene.h"
#include "render/host_names.h"

namespace render {

// Adds the file's layers, polygons and surfaces to the object. Points shared by polygons
// stay shared. False with a one-line reason in *error when the file cannot be read.
bool import_mesh_file(const std::string &path, Scene &scene, Item &object, std::string *error);

}  // namespace render

#endif
