// Reading object files (Wavefront OBJ, LightWave LWO and whatever else Assimp reads) into
// the scene, keeping polygons, surfaces and layers.
#ifndef RENDER_MESH_IMPORT_H
#define RENDER_MESH_IMPORT_H

#include <string>
#include <vector>

#include "refhost/scene.h"
#include "render/host_names.h"

namespace render {

// The smoothing angle of surfaces from files that give none (OBJ and the other formats
// apart from LightWave's): 89.5 degrees, LightWave's own default, which smooths curved
// surfaces but keeps right-angled edges sharp.
constexpr double kDefaultSmoothingAngle = 89.5 * 3.14159265358979323846 / 180.0;

// Adds the file's layers, polygons and surfaces to the object. Points shared by polygons
// stay shared. Smooth shading follows the file: a LightWave object's surfaces keep their
// smoothing angles; other files' surfaces take kDefaultSmoothingAngle, and polygons whose
// corners carry normals in the file (OBJ vertex normals) keep them for the host's shading.
// False with a one-line reason in *error when the file cannot be read. What the user should
// know about a file that was read goes to *warnings (when given), one line each.
// Whatever this puts into the scene's Item must cross over from the import process:
// render/object_stream.cpp carries it (layers, points, polygons, weight maps, surfaces).
bool import_mesh_file(const std::string &path, Scene &scene, Item &object, std::string *error,
                      std::vector<std::string> *warnings = nullptr);

}  // namespace render

#endif
