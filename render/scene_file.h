// Scene files: JSON documents with a camera, lights, objects, surfaces with their base
// values and dirt-shader settings, and render settings.
#ifndef RENDER_SCENE_FILE_H
#define RENDER_SCENE_FILE_H

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "refhost/scene.h"
#include "render/host_names.h"

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
    double memory_bytes = 0.0;  // the geometry's estimated memory (see render/limits.h)
    std::vector<std::string> warnings;  // what the user should know, one line each
};

// Builds the scene from a document (camera, lights, objects, surfaces). False with a
// one-line reason in *error for malformed content, an unreadable mesh, or an unknown key.
bool build_scene_from_json(const nlohmann::json &doc, const std::string &base_dir, Scene &scene,
                           SceneDescription &desc, std::string *error);

// Reads and builds a scene file.
bool load_scene_file(const std::string &path, Scene &scene, SceneDescription &desc, std::string *error);

// A scene that frames one object file with a camera and a light; the shader at its defaults
// on every surface.
bool scene_for_object_file(const std::string &path, Scene &scene, SceneDescription &desc,
                           std::string *error);

// The built-in demo scene: a room corner with stairs, a box and a sphere on the floor.
const char *demo_scene_json();

// The kinds of value the dirt shader's settings take, by the panel's value names.
enum class SettingKind { Unknown, Number, Angle, Integer, Switch, Env, PercentEnv, ColorEnv };
SettingKind setting_kind(const std::string &name);

}  // namespace render

#endif
