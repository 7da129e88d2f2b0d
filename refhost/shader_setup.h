// Putting the dirt shader on a scene's surfaces: creating instances through the loaded
// plug-in, restoring stored ones, applying settings through the plug-in's own panel, and
// storing instances back.
#ifndef REFHOST_SHADER_SETUP_H
#define REFHOST_SHADER_SETUP_H

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/plugin.h"
#include "refhost/scene_file.h"

namespace refhost {

class Host;

// The activated shader class of a plug-in: the handler record it filled.
struct ShaderServer {
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWRenderFuncs rend{};
    LWShaderHandler handler{};
    const PluginFile *plugin = nullptr;

    ShaderServer() {
        handler.inst = &inst;
        handler.item = &item;
        handler.rend = &rend;
    }
    ShaderServer(const ShaderServer &) = delete;
    ShaderServer &operator=(const ShaderServer &) = delete;
};

// Activates the plug-in's "ShaderHandler" server named `name` (version 4).
bool activate_shader(Host &host, const PluginFile &plugin, const char *name, ShaderServer &server,
                     std::string *error);

// Creates an instance for each described surface, restores its stored form, applies its
// settings (and the overrides, "name=value" texts) through the plug-in's panel, and binds it
// to the surface. False with a one-line reason for an unknown setting or a wrong value.
bool apply_shaders(Host &host, ShaderServer &server, SceneDescription &desc,
                   const std::vector<std::string> &overrides, std::string *error);

// Applies one setting, by the panel's value name, to an instance.
bool apply_setting(Host &host, const ShaderServer &server, LWInstance instance, const std::string &name,
                   const nlohmann::json &value, std::string *error);

// The instance's stored form in the host's text storage mode.
std::string store_instance(const ShaderServer &server, LWInstance instance);
// Restores an instance from its stored form (either storage mode, judged by the first byte).
void restore_instance(const ShaderServer &server, LWInstance instance, const std::string &stored);

// Destroys every instance bound to the scene's surfaces.
void release_shaders(Host &host, ShaderServer &server);

// The document with each shaded surface's instance stored in it ("dirt_state"), ready to
// be written as a scene file.
nlohmann::json scene_document_with_instances(Host &host, const ShaderServer &server,
                                             const SceneDescription &desc);

}  // namespace refhost

#endif
