// dirt-bench: renders the demo scene with the dirt shader and prints how far the shader is
// from the ray-bound limit (the time Embree alone needs for the same rays), the share of
// its time spent holding the normal cache lock with the scaling bound that implies, its
// heap allocations per spot and the peak memory of the render.
//
// The plug-in's evaluate is wrapped: the wrapper times each top-level call, counts the
// allocations made inside it (those in the host's ray functions excluded), and can record
// the rays the plug-in casts. The recorded rays are then cast again through the caster's
// intersection alone. The lock's share is measured on a copy of the module linked into this
// program, over a sample of the rendered spots.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench/alloc_counter.h"
#include "bench/bench_scene.h"
#include "common/platform.h"
#include "instance/dirt_instance.h"
#include "module/activation.h"
#include "module/globals.h"
#include "module/module_state.h"
#include "render/ray_caster.h"
#include "render/renderer.h"
#include "shading/normal_cache.h"

using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    int width = 320, height = 200, samples = 2, threads = 1, runs = 3;
    int spot_sample_every = 8;  // every n-th spot is kept for the lock measurement
};

struct RecordedRay {
    refhost::Vec3d origin, direction;
    bool shade;
};

// A rendered spot with the surface whose instance shaded it.
struct SpotSample {
    LWShaderAccess access;
    LWSurfaceID surface;
};

// What one render thread saw; registered once per thread, merged after the frame.
struct ThreadRecord {
    long spots = 0;            // top-level evaluate calls
    double evaluate_seconds = 0.0;
    double ray_seconds = 0.0;  // inside the host's ray functions (recording pass only)
    long allocations = 0;      // inside evaluate, ray functions excluded
    std::vector<RecordedRay> rays;
    std::vector<SpotSample> spot_samples;
};

enum class Mode { Plain, Record };

Mode g_mode = Mode::Plain;
LWShaderHandler g_real{};  // the plug-in's handler as it filled it
int g_spot_sample_every = 8;
std::mutex g_records_mutex;
std::vector<std::unique_ptr<ThreadRecord>> g_records;

thread_local ThreadRecord *t_record = nullptr;
thread_local int t_depth = 0;
thread_local double (*t_real_cast)(const LWDVector, const LWDVector) = nullptr;
thread_local double (*t_real_shade)(const LWDVector, const LWDVector, LWShaderAccess *) = nullptr;

ThreadRecord &thread_record() {
    if (!t_record) {
        auto record = std::make_unique<ThreadRecord>();
        t_record = record.get();
        std::lock_guard<std::mutex> lock(g_records_mutex);
        g_records.push_back(std::move(record));
    }
    return *t_record;
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The host's ray functions as the plug-in sees them: allocations inside are the host's.
double recording_cast(const LWDVector pos, const LWDVector dir) {
    const bool counting = bench::thread_counting();
    bench::set_thread_counting(false);
    double d;
    if (g_mode == Mode::Record) {
        ThreadRecord &r = thread_record();
        r.rays.push_back({{pos[0], pos[1], pos[2]}, {dir[0], dir[1], dir[2]}, false});
        const auto start = Clock::now();
        d = t_real_cast(pos, dir);
        r.ray_seconds += seconds_since(start);
    } else {
        d = t_real_cast(pos, dir);
    }
    bench::set_thread_counting(counting);
    return d;
}

double recording_shade(const LWDVector pos, const LWDVector dir, LWShaderAccess *access) {
    const bool counting = bench::thread_counting();
    bench::set_thread_counting(false);
    double d;
    // The spots shaded inside see the host's own functions again.
    auto real_cast = t_real_cast;
    auto real_shade = t_real_shade;
    if (g_mode == Mode::Record) {
        ThreadRecord &r = thread_record();
        r.rays.push_back({{pos[0], pos[1], pos[2]}, {dir[0], dir[1], dir[2]}, true});
        const auto start = Clock::now();
        d = real_shade(pos, dir, access);
        r.ray_seconds += seconds_since(start);
    } else {
        d = real_shade(pos, dir, access);
    }
    t_real_cast = real_cast;
    t_real_shade = real_shade;
    bench::set_thread_counting(counting);
    return d;
}

void wrapped_evaluate(LWInstance instance, LWShaderAccess *access) {
    // Spots shaded for the plug-in's own rays are part of the outer call's time.
    if (t_depth > 0) {
        g_real.evaluate(instance, access);
        return;
    }
    ThreadRecord &r = thread_record();
    ++r.spots;
    if (g_mode == Mode::Record && r.spots % g_spot_sample_every == 0) 
        // The plug-in's instance record has the layout the module's header gives it.
        r.spot_samples.push_back({*access, static_cast<const ormel::DirtInstance *>(instance)->surface});
    t_real_cast = access->rayCast;
    t_real_shade = access->rayShade;
    access->rayCast = recording_cast;
    access->rayShade = recording_shade;
    ++t_depth;
    const long before = bench::thread_allocations();
    bench::set_thread_counting(true);
    const auto start = Clock::now();
    g_real.evaluate(instance, access);
    r.evaluate_seconds += seconds_since(start);
    bench::set_thread_counting(false);
    r.allocations += bench::thread_allocations() - before;
    --t_depth;
    access->rayCast = t_real_cast;
    access->rayShade = t_real_shade;
}

struct FrameFigures {
    unsigned long long image_hash = 0;  // FNV-1a over the frame's float pixels
    long spots = 0;
    double render_seconds = 0.0, evaluate_seconds = 0.0, ray_seconds = 0.0;
    long allocations_in_evaluate = 0, allocations_in_process = 0;
    long plugin_rays = 0;
};

FrameFigures render_frame(render::Renderer &renderer, Mode mode) {
    {
        std::lock_guard<std::mutex> lock(g_records_mutex);
        for (auto &r : g_records) *r = ThreadRecord();
    }
    g_mode = mode;
    render::RgbImage image;
    const long process_before = bench::process_allocations();
    const render::FrameStats stats = renderer.render_frame(0, 0.0, image);
    FrameFigures f;
    f.allocations_in_process = bench::process_allocations() - process_before;
    unsigned long long hash = 1469598103934665603ull;
    const auto *bytes = reinterpret_cast<const unsigned char *>(image.rgb.data());
    for (size_t i = 0; i < image.rgb.size() * sizeof(float); ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    f.image_hash = hash;
    f.render_seconds = stats.seconds;
    f.plugin_rays = stats.plugin_rays;
    std::lock_guard<std::mutex> lock(g_records_mutex);
    for (auto &r : g_records) {
        f.spots += r->spots;
        f.evaluate_seconds += r->evaluate_seconds;
        f.ray_seconds += r->ray_seconds;
        f.allocations_in_evaluate += r->allocations;
    }
    return f;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : (n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]));
}

// Seconds Embree takes for the recorded rays, through the caster's intersection alone.
double replay_rays(const render::RayCaster &caster, const std::vector<RecordedRay> &rays) {
    render::RayCaster::Hit hit;
    caster.cast({0, 0, 0}, {0, 1, 0});  // builds the structure outside the timing
    volatile double sink = 0.0;
    const auto start = Clock::now();
    for (const RecordedRay &ray : rays) {
        if (caster.intersect(ray.origin, ray.direction, std::numeric_limits<double>::infinity(), hit))
            sink = sink + hit.distance;
    }
    return seconds_since(start);
}

// Seconds per spot the module's smoothing holds the normal cache lock (the adjacency
// lookups of the spot's corners), measured on the module copy linked here over the
// sampled spots, its cache warmed first. The mesh records the lookups would build from
// are made outside the timing: a warm cache does not read them.
double lock_seconds_per_spot(const std::vector<SpotSample> &spots) {
    using namespace ormel;
    LWObjectInfo *object_info = shader_globals.object_info;
    if (!object_info || !object_info->meshInfo || spots.empty()) return 0.0;
    std::vector<LWMeshInfo *> meshes;
    for (const SpotSample &s : spots) meshes.push_back(object_info->meshInfo(s.access.objID, 1));
    auto pass = [&]() {
        CornerPolygons corners;
        const auto start = Clock::now();
        for (size_t i = 0; i < spots.size(); ++i) {
            if (!meshes[i] || !spots[i].access.polygon) continue;
            CriticalSectionGuard guard(module_state.normal_cache_lock);
            corner_polygons(meshes[i], &spots[i].access, corners);
        }
        return seconds_since(start);
    };
    pass();
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) times.push_back(pass());
    for (LWMeshInfo *mesh : meshes)
        if (mesh && mesh->destroy) mesh->destroy(mesh);
    return median(times) / static_cast<double>(spots.size());
}

double peak_rss_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::string load_average() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

bool parse(int argc, char **argv, Options &o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](int &out) {
            if (i + 1 >= argc) return false;
            out = std::atoi(argv[++i]);
            return out > 0;
        };
        bool good = true;
        if (arg == "--width") good = value(o.width);
        else if (arg == "--height") good = value(o.height);
        else if (arg == "--samples") good = value(o.samples);
        else if (arg == "--threads") good = value(o.threads);
        else if (arg == "--runs") good = value(o.runs);
        else good = false;
        if (!good) {
            std::fprintf(stderr,
                         "usage: dirt-bench [--width N] [--height N] [--samples N] [--threads N] [--runs N]\n");
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    Options o;
    if (!parse(argc, argv, o)) return 2;
    g_spot_sample_every = o.spot_sample_every;

    bench::BenchScene scene;
    if (!scene.ok()) {
        std::fprintf(stderr, "dirt-bench: error: %s\n", scene.error().c_str());
        return 1;
    }
    // The wrapper stands in for the plug-in's evaluate in the handler record the surfaces use.
    g_real = scene.server.handler;
    scene.server.handler.evaluate = wrapped_evaluate;

    // The module copy linked here, activated on the same host, for the lock measurement.
    LWInstanceFuncs core_inst{};
    LWItemFuncs core_item{};
    LWRenderFuncs core_rend{};
    LWShaderHandler core_handler{};
    core_handler.inst = &core_inst;
    core_handler.item = &core_item;
    core_handler.rend = &core_rend;
    ormel::shader_activate(LWSHADER_VERSION, scene.host.global_func(), &core_handler, nullptr);

    render::RendererOptions ro;
    ro.width = o.width;
    ro.height = o.height;
    ro.samples = o.samples;
    ro.threads = o.threads;
    render::Renderer renderer(scene.host, ro);
    renderer.begin();

    // Warm-up: the normal cache fills, the pool gets its flags, Embree builds.
    render_frame(renderer, Mode::Plain);

    std::vector<double> spots_per_second, evaluate_per_spot, allocs_eval, allocs_process;
    FrameFigures last;
    for (int run = 0; run < o.runs; ++run) {
        last = render_frame(renderer, Mode::Plain);
        const double spots = static_cast<double>(std::max(1L, last.spots));
        spots_per_second.push_back(spots / last.render_seconds);
        evaluate_per_spot.push_back(last.evaluate_seconds / spots);
        allocs_eval.push_back(static_cast<double>(last.allocations_in_evaluate) / spots);
        allocs_process.push_back(static_cast<double>(last.allocations_in_process) / spots);
    }
    const double peak_mb = peak_rss_mb();

    // The recording pass: the plug-in's rays and a sample of its spots.
    const FrameFigures recorded = render_frame(renderer, Mode::Record);
    std::vector<RecordedRay> rays;
    std::vector<SpotSample> spot_samples;
    long shade_rays = 0;
    for (auto &r : g_records) {
        rays.insert(rays.end(), r->rays.begin(), r->rays.end());
        spot_samples.insert(spot_samples.end(), r->spot_samples.begin(), r->spot_samples.end());
    }
    for (const RecordedRay &ray : rays) shade_rays += ray.shade ? 1 : 0;
    const double spots = static_cast<double>(std::max(1L, recorded.spots));

    render::RayCaster caster(scene.host.scene());
    std::vector<double> replay;
    for (int run = 0; run < o.runs; ++run) replay.push_back(replay_rays(caster, rays) / spots);
    const double lock_per_spot = lock_seconds_per_spot(spot_samples);
    renderer.end();

    const double eval_us = median(evaluate_per_spot) * 1e6;
    const double ray_us = median(replay) * 1e6;
    const double in_ray_us = recorded.ray_seconds / spots * 1e6;
    const double lock_us = lock_per_spot * 1e6;
    const double p = lock_us / eval_us;
    // The time under the lock runs one thread at a time: the serial fraction.
    auto amdahl = [p](double n) { return 1.0 / (p + (1.0 - p) / n); };

#ifndef ORMEL_BUILD_TYPE
#define ORMEL_BUILD_TYPE "unknown"
#endif
    std::printf("dirt-bench: demo scene %dx%d, %d samples/pixel, %d render thread(s), %s build, "
                "median of %d runs, load average %s\n",
                o.width, o.height, o.samples, renderer.threads(), ORMEL_BUILD_TYPE, o.runs, load_average().c_str());
    std::printf("  spots shaded per frame            %ld (%.1f plug-in rays per spot, %ld through rayShade)\n",
                last.spots, static_cast<double>(rays.size()) / spots, shade_rays);
    std::printf("  spots per second                  %.0f\n", median(spots_per_second));
    std::printf("  evaluate time per spot            %.2f us\n", eval_us);
    std::printf("  host ray functions per spot       %.2f us (rays with the host's spot shading)\n", in_ray_us);
    std::printf("  Embree alone, same rays, per spot %.2f us\n", ray_us);
    std::printf("  module-overhead share             %.1f %% (1 - Embree time / evaluate time)\n",
                100.0 * (1.0 - ray_us / eval_us));
    std::printf("  normal_cache_lock held per spot   %.3f us = %.2f %% of evaluate time\n", lock_us, 100.0 * p);
    std::printf("  Amdahl bound from the lock        %.1fx at 16 threads, %.1fx at 64 threads\n", amdahl(16),
                amdahl(64));
    std::printf("  allocations per spot (warm)       %.3f inside evaluate, host ray functions excluded\n",
                median(allocs_eval));
    std::printf("                                    %.3f process-wide during the frame\n", median(allocs_process));
    std::printf("  image checksum                    %016llx (FNV-1a of the float pixels)\n", last.image_hash);
    std::printf("  peak memory (max RSS)             %.1f MB (before the ray recording)\n", peak_mb);
    return 0;
}
