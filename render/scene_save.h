// What --save-scene writes: everything needed to render the same image again.
#ifndef RENDER_SCENE_SAVE_H
#define RENDER_SCENE_SAVE_H

#include <nlohmann/json.hpp>

#include <string>

#include "refhost/shader_server.h"
#include "render/host_names.h"
#include "render/scene_file.h"

namespace render {

// The scene as read or framed (camera, ambient, lights, objects, surfaces), every shader
// instance in its stored form, and the render settings in force (the command line's
// included). Object files named relative to the scene's folder are named so that they are
// found from `save_path`'s folder.
nlohmann::json document_to_save(Host &host, const ShaderServer &server, const SceneDescription &desc,
                                const std::string &save_path);

}  // namespace render

#endif
