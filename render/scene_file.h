// Scene files: JSON documents with a camera, lights, objects, surfaces with their base
// values and dirt-shader settings, and render settings.
#ifndef RENDER_SCENE_FILE_H
#define RENDER_SCENE_FILE_H

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "refhost/scene.h"
#include "render/host_names.h"
#include "render/object_import.h"
#include "render/setting_names.h"

namespace render {

struct RenderSettings {
    int width = 640;
    int height = 480;
    int samples = 4;         // jittered samples per pixel
    int first_frame = 0;
    int last_frame = 0;
    double fps = 30.0;
    int max_depth = 3;       // reflection bounces
    std::string output = "dirt.png";
    std::string depth;       // pixel depth of the images: "" for the format's default
    double exposure = 0.0;   // stops: each pixel of the image times 2^exposure
    int turntable = 0;       // frames of one turn of the camera round its look_at; 0: none
};

// The dirt shader applied to one surface: settings by the panel's value names, and the
// instance's stored form when the scene was saved with one.
struct ShaderSettings {
    Surface *surface = nullptr;
    nlohmann::json settings = nlohmann::json::object();
    std::string stored;  // text-mode save of the instance; empty when none
};

struct SceneDescription {
    RenderSettings render;
    std::vector<ShaderSettings> shaders;
    nlohmann::json document;  // the document as read, to write back with --save-scene
    std::string base_dir;     // where relative file names are resolved
    double chosen_width = 0.0;  // a dirt width chosen for the user (object renders), else 0
    double chosen_sample_scale = 0.0;  // likewise the sample_scale
    double memory_bytes = 0.0;  // the geometry's estimated memory (see render/limits.h)
    std::vector<std::string> warnings;  // what the user should know, one line each
    // Every file the object files' importer opened (an OBJ's material library, say): inputs
    // that no output may replace.
    std::vector<std::string> files_read;
};

// Builds the scene from a document (camera, lights, objects, surfaces). False with a
// one-line reason in *error for malformed content, an unreadable mesh, or an unknown key.
// Object files are read through render/object_import.h; those in `imported` (by the name
// the document gives them) were read already and are taken from there.
bool build_scene_from_json(const nlohmann::json &doc, const std::string &base_dir, Scene &scene,
                           SceneDescription &desc, std::string *error, ImportedObjects *imported = nullptr);

// Places a camera as a scene file's "camera" does (position, rotation, look_at, zoom, fov);
// a malformed value throws, as while reading a scene.
void set_camera_from_json(const nlohmann::json &cam, Item &camera);

// Reads and builds a scene file.
bool load_scene_file(const std::string &path, Scene &scene, SceneDescription &desc, std::string *error);

// Empty when a file may be read: a regular file (a pipe or a device could block or never
// end), not empty (as the system's pseudo-files show themselves), small enough for the
// memory limit; else a one-line reason.
std::string file_problem(const std::string &path);

// The built-in demo scene: a room corner with stairs, a box and a sphere on the floor.
const char *demo_scene_json();

}  // namespace render

#endif
