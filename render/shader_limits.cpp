#include "render/shader_limits.h"

#include "render/limits.h"
#include "render/shader_setup.h"

namespace render {

namespace {

int read_int(XPanel &panel, const char *name) {
    const PanelValue v = panel.read(name);
    return v.kind == PanelValue::Kind::Int ? v.i : 0;
}

// The surface's entry in the scene file ("surfaces[2]"), else its names.
std::string surface_place(const SceneDescription &desc, const Surface &surface) {
    const nlohmann::json &entries = desc.document.contains("surfaces") ? desc.document["surfaces"] : nlohmann::json();
    if (entries.is_array())
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].is_object() && entries[i].value("object", "") == surface.object_filename &&
                entries[i].value("name", "") == surface.name)
                return "surfaces[" + std::to_string(i) + "]";
    return "surface \"" + surface.name + "\" of object \"" + surface.object_filename + "\"";
}

}  // namespace

long long shader_rays_per_spot(Host &host, const ShaderServer &server, LWInstance instance) {
    const InstancePanel open(host, server, instance);
    XPanel *panel = open.get();
    if (!panel) return 0;
    const long long count = read_int(*panel, "sample_count"), iterations = read_int(*panel, "sample_itr");
    return count > 0 && iterations > 0 ? count * iterations : 0;
}

bool check_shader_limits(Host &host, const ShaderServer &server, const SceneDescription &desc, std::string *error) {
    const long long limit = limits().max_rays_per_spot;
    for (const ShaderSettings &s : desc.shaders) {
        for (const ShaderBinding &b : s.surface->shaders) {
            if (b.handler != &server.handler) continue;
            const long long rays = shader_rays_per_spot(host, server, b.instance);
            if (rays <= limit) continue;
            if (error)
                *error = surface_place(desc, *s.surface) + ": sample_count × sample_itr asks for " +
                         std::to_string(rays) + " rays per spot; the limit is 0 to " + std::to_string(limit) +
                         " (raise it with --max-rays-per-spot N)";
            return false;
        }
    }
    return true;
}

}  // namespace render
