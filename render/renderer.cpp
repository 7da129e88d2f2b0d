#include "render/renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "refhost/host.h"
#include "refhost/spot_record.h"
#include "refhost/vec3d_math.h"
#include "render/ray_caster.h"
#include "render/work_pool.h"

namespace render {

using namespace vmath;

namespace {

constexpr int kTile = 16;

// A well-mixed 64-bit hash, so that sample positions depend only on the pixel and the
// sample number: images are identical whatever the number of threads.
uint64_t mix(uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double unit(uint64_t h) { return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0); }

void for_each_binding(Host &host, const std::function<void(const ShaderBinding &)> &f) {
    for (const auto &surface : host.scene().surfaces())
        for (const ShaderBinding &b : surface->shaders) f(b);
}

}  // namespace

Renderer::Renderer(Host &host, const RendererOptions &options)
    : host_(host), options_(options), caster_(new RayCaster(host.scene())) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    threads_ = options.threads > 0 ? options.threads : static_cast<int>(cores);
}

Renderer::~Renderer() { delete caster_; }

void Renderer::begin() {
    for_each_binding(host_, [](const ShaderBinding &b) {
        if (b.handler->rend && b.handler->rend->init) b.handler->rend->init(b.instance, LWINIT_RENDER);
    });
}

void Renderer::end() {
    for_each_binding(host_, [](const ShaderBinding &b) {
        if (b.handler->rend && b.handler->rend->cleanup) b.handler->rend->cleanup(b.instance);
    });
}

Renderer::Window Renderer::window() const {
    const int *r = options_.region;
    if (r[2] > 0) return {r[0], r[1], r[2], r[3]};
    return {0, 0, options_.width, options_.height};
}

FrameStats Renderer::render_frame(int frame, double time, RgbImage &image, Pass pass, RgbImage *aux) {
    Scene &scene = host_.scene();
    pass_ = pass;
    scene.current_time = time;
    // The caster follows the scene's time on the frame's first ray, keeping what stayed in
    // place; meshes do not change between frames.
    for_each_binding(host_, [&](const ShaderBinding &b) {
        if (b.handler->rend && b.handler->rend->newTime) b.handler->rend->newTime(b.instance, frame, time);
    });

    // The camera: the scene's first, or one at the origin looking along +Z.
    const std::vector<Item *> cameras = scene.items(ItemType::Camera);
    eye_ = {};
    right_ = {1, 0, 0};
    up_ = {0, 1, 0};
    forward_ = {0, 0, 1};
    zoom_ = 3.2;
    if (!cameras.empty()) {
        eye_ = scene.item_param(*cameras[0], LWIP_W_POSITION, time);
        right_ = scene.item_param(*cameras[0], LWIP_RIGHT, time);
        up_ = scene.item_param(*cameras[0], LWIP_UP, time);
        forward_ = scene.item_param(*cameras[0], LWIP_FORWARD, time);
        zoom_ = cameras[0]->camera.zoom;
    }

    // The frame's time includes bringing the acceleration structure to the frame's time:
    // built here, on the calling thread, so that a failure is reported rather than rendered.
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    if (!caster_->ready(&error)) throw std::runtime_error(error);

    const Window w = window();
    image.width = w.x1 - w.x0;
    image.height = w.y1 - w.y0;
    image.rgb.assign(static_cast<size_t>(image.width) * image.height * 3, 0.0f);
    if (aux) *aux = image;
    FrameStats stats;
    render_tiles(image, aux, stats);
    stats.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return stats;
}

void Renderer::shade_pixel(int x, int y, float *out, float *aux) const {
    const int n = options_.samples;
    const double aspect = static_cast<double>(options_.height) / options_.width;
    double sum[3] = {0, 0, 0};
    int hits = 0;
    double nearest = 0.0;
    for (int s = 0; s < n; ++s) {
        // One sample per stratum of a jittered grid over the pixel.
        const int grid = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
        const uint64_t h = mix((static_cast<uint64_t>(y) << 40) ^ (static_cast<uint64_t>(x) << 16) ^ s);
        const double jx = ((s % grid) + unit(h)) / grid;
        const double jy = ((s / grid % grid) + unit(mix(h))) / grid;
        const double px = 2.0 * (x + jx) / options_.width - 1.0;
        const double py = (1.0 - 2.0 * (y + jy) / options_.height) * aspect;
        const Vec3d dir = add(add(mul(zoom_, forward_), mul(px, right_)), mul(py, up_));
        double color[3];
        if (pass_ == Pass::Geometry) {
            SpotRecord record;
            const double hit = caster_->shade(eye_, dir, &record.access);
            for (int k = 0; k < 3; ++k) color[k] = hit >= 0.0 ? record.access.wNorm[k] : 0.0;
            if (hit >= 0.0) {
                const double len = std::sqrt(dir.x * dir.x + dir.y * dir.y + dir.z * dir.z);
                const double depth = hit * (dir.x * forward_.x + dir.y * forward_.y + dir.z * forward_.z) / len;
                nearest = hits == 0 ? depth : std::min(nearest, depth);
                ++hits;
            }
        } else if (pass_ == Pass::Spot) {
            SpotRecord record;
            const double hit = caster_->shade(eye_, dir, &record.access);
            for (int k = 0; k < 3; ++k) color[k] = hit >= 0.0 ? record.access.color[k] : 0.0;
        } else {
            const double hit = caster_->trace(eye_, dir, color);
            if (options_.transparent && hit < 0.0) color[0] = color[1] = color[2] = 0.0;
        }
        for (int k = 0; k < 3; ++k) sum[k] += color[k];
    }
    if (pass_ == Pass::Geometry) {
        const double len = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
        for (int k = 0; k < 3; ++k) sum[k] = len > 0.0 ? sum[k] / len * n : 0.0;
        if (aux) {
            aux[0] = static_cast<float>(static_cast<double>(hits) / n);
            aux[1] = std::isfinite(nearest) ? static_cast<float>(nearest) : 0.0f;
            aux[2] = 0.0f;
        }
    }
    // Shading keeps its values finite; a pixel stays finite whatever reaches it.
    for (int k = 0; k < 3; ++k) {
        double v = sum[k] / n;
        if (pass_ == Pass::Beauty && options_.exposure_scale != 1.0) v *= options_.exposure_scale;
        out[k] = std::isfinite(v) ? static_cast<float>(v) : 0.0f;
    }
}

void Renderer::render_tiles(RgbImage &image, RgbImage *aux, FrameStats &stats) {
    const int tiles_x = (image.width + kTile - 1) / kTile;
    const int tiles_y = (image.height + kTile - 1) / kTile;
    const int x_off = window().x0, y_off = window().y0;
    auto tile = [&](long t) {
        const int x0 = static_cast<int>(t % tiles_x) * kTile, y0 = static_cast<int>(t / tiles_x) * kTile;
        for (int y = y0; y < std::min(y0 + kTile, image.height); ++y)
            for (int x = x0; x < std::min(x0 + kTile, image.width); ++x)
                shade_pixel(x + x_off, y + y_off, image.pixel(x, y), aux ? aux->pixel(x, y) : nullptr);
    };
    // A tile at a time: a tile is work enough to outweigh the hand-out.
    const PoolStats pool = run_pool(*caster_, static_cast<long>(tiles_x) * tiles_y, threads_, tile, options_.progress, 1);
    stats.spots_shaded += pool.spots_shaded;
    stats.plugin_rays += pool.plugin_rays;
    started_threads_ = pool.started_threads;
}

}  // namespace render
