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
constexpr double kDefaultSmoothingAngle = 89.5 * (3.14159265358979323846 / 180.0);  // as scene files give degrees

// Which way is up in an object file: as the file states it (an FBX file's up axis; Blender
// files are Z-up; any other file is taken as Y-up, as the renderer is), or as the user says.
enum class UpAxis { FromFile, X, Y, Z, MinusX, MinusY, MinusZ };

// The axis by its name as the command line and scene files give it ("x", "y", "z", "-x",
// "-y", "-z"); false for any other text.
bool up_axis_named(const std::string &name, UpAxis &up);
// The name of an axis other than FromFile.
const char *up_axis_name(UpAxis up);

struct ImportOptions {
    UpAxis up = UpAxis::FromFile;
};

// Adds the file's layers, polygons and surfaces to the object, turned so that its up axis
// is the renderer's +Y. Points shared by polygons stay shared. Smooth shading follows the
// file: a LightWave object's surfaces keep their smoothing angles; other files' surfaces
// take kDefaultSmoothingAngle, and polygons whose corners carry vertex normals in the file
// (OBJ's, say) keep them for the host's shading. Normals that are the same at every corner
// of each face (STL's facet normals, and some exporters') are no smoothing data and are
// dropped: those surfaces smooth by their angle. What the file holds and the renderer
// leaves out (a LightWave scene's motion, cameras and lights; animation) is told in one
// line each in *warnings (may be null). False with a one-line reason in *error when the
// file cannot be read. Every file the importer opens (the object file, an OBJ's material
// library, a glTF's buffers) is named in *files_read (may be null): the renderer must never
// write over them. Whatever this puts into the scene's Item must cross over from the
// import process: render/object_stream.cpp carries it (layers, points, polygons, weight
// maps, surfaces).
bool import_mesh_file(const std::string &path, Scene &scene, Item &object, std::string *error,
                      std::vector<std::string> *warnings = nullptr, const ImportOptions &options = {},
                      std::vector<std::string> *files_read = nullptr);

}  // namespace render

#endif
