#include "bench/bench_scene.h"

#include <cstdlib>
#include <cstring>

#include "refhost/image_list.h"
#include "refhost/render_services.h"
#include "refhost/services.h"
#include "render/png_image.h"

namespace bench {

BenchScene::BenchScene(const std::string &scene_json) {
    using namespace refhost;
    using namespace render;
    install_instance_services(host);
    set_image_file_reader(host, read_png_image);
    install_render_services(host);
    if (!build_scene_from_json(nlohmann::json::parse(scene_json.empty() ? std::string(demo_scene_json()) : scene_json), ".", host.scene(), desc, &error_))
        return;
    // Another build of the plug-in file may be measured against the same host.
    const char *other = std::getenv("DIRT_BENCH_PLUGIN");
    if (!plugin.load(other && *other ? other : ORMEL_PLUGIN_PATH)) {
        error_ = plugin.error();
        return;
    }
    if (!activate_shader(host, plugin, "Ormel_Dirt", server, &error_)) return;
    if (!apply_shaders(host, server, desc, {}, &error_)) return;
    applied_ = true;
    error_.clear();
}

BenchScene::~BenchScene() {
    if (applied_) refhost::release_shaders(host, server);
}

refhost::Surface *BenchScene::surface(const char *name) {
    for (const auto &s : host.scene().surfaces())
        if (s->name == name) return s.get();
    return nullptr;
}

}  // namespace bench
