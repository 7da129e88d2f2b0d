// A loaded plug-in's shader class as the host holds it: the handler record the plug-in
// filled at activation, and the host's side of an instance's stored form.
#ifndef REFHOST_SHADER_SERVER_H
#define REFHOST_SHADER_SERVER_H

#include <string>

#include "host/lwsdk.h"
#include "refhost/plugin.h"

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

// The instance's stored form in the host's text storage mode.
std::string store_instance(const ShaderServer &server, LWInstance instance);
// Restores an instance from its stored form (either storage mode, judged by the first byte).
void restore_instance(const ShaderServer &server, LWInstance instance, const std::string &stored);

// Destroys every instance of the server bound to the scene's surfaces, and unbinds every
// surface's shaders.
void release_shaders(Host &host, ShaderServer &server);

}  // namespace refhost

#endif
