#include "render/version_info.h"

#include "refhost/host.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/services.h"
#include "refhost/shader_server.h"

namespace render {

bool plugin_description(const std::string &plugin_file, std::string &description, std::string *error) {
    using namespace refhost;
    Host host;
    install_instance_services(host);
    install_render_services(host);
    Item &object = host.scene().add_object("Version", "Version");
    Surface &surface = host.scene().add_surface(object, "Version");
    PluginFile plugin;
    if (!plugin.load(plugin_file)) {
        if (error) *error = plugin.error();
        return false;
    }
    ShaderServer server;
    if (!activate_shader(host, plugin, "Ormel_Dirt", server, error)) return false;
    LWError create_error = nullptr;
    LWInstance instance = server.inst.create ? server.inst.create(server.inst.priv, to_id(&surface), &create_error) : nullptr;
    const char *line = instance && server.inst.descln ? server.inst.descln(instance) : nullptr;
    description = line ? line : "Ormel_Dirt (the plug-in gives no description)";
    if (instance) server.inst.destroy(instance);
    return true;
}

}  // namespace render
