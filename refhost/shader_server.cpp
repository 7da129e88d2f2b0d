#include "refhost/shader_server.h"

#include "refhost/block_io.h"
#include "refhost/host.h"

namespace refhost {

bool activate_shader(Host &host, const PluginFile &plugin, const char *name, ShaderServer &server,
                     std::string *error) {
    server.plugin = &plugin;
    const int rc = plugin.activate(host, LWSHADER_HCLASS, name, LWSHADER_VERSION, &server.handler);
    if (rc == AFUNC_OK) return true;
    if (error)
        *error = rc < 0 ? std::string("the plug-in has no ShaderHandler named ") + name
                        : "the plug-in refused activation (" + std::to_string(rc) + ")";
    return false;
}

std::string store_instance(const ShaderServer &server, LWInstance instance) {
    BlockWriter writer(LWIO_ASCII);
    server.inst.save(instance, writer.state());
    return writer.bytes();
}

void restore_instance(const ShaderServer &server, LWInstance instance, const std::string &stored) {
    // Binary saves start with the version word's zero byte; text saves are printable.
    const int mode = !stored.empty() && stored[0] == '\0' ? LWIO_BINARY : LWIO_ASCII;
    BlockReader reader(mode, stored);
    server.inst.load(instance, reader.state());
}

void release_shaders(Host &host, ShaderServer &server) {
    for (const auto &surface : host.scene().surfaces()) {
        for (const ShaderBinding &b : surface->shaders)
            if (b.handler == &server.handler) server.inst.destroy(b.instance);
        surface->shaders.clear();
    }
}

}  // namespace refhost
