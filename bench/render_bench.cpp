// dirt-bench: renders the demo scene with the dirt shader and prints how far the shader is
// from the ray-bound limit (the time Embree alone needs for the same rays), from the
// bit-exact floor of its arithmetic and from a plain ambient-occlusion shader; what the
// host's rayCast adds to Embree's rtcIntersect1; the share of its time spent holding the
// normal cache lock with the scaling bound that implies; its heap allocations per spot and
// the peak memory of the render. With --grid CELLS it renders a grid of CELLS x CELLS
// quads instead and prints the figures of that scale: the adjacency build, its memory,
// the first spot, the per-spot time, and frames at later times.
//
// The plug-in's evaluate is wrapped: the wrapper times each top-level call, counts the
// allocations made inside it (those in the host's ray functions excluded), and can record
// the rays the plug-in casts. The recorded rays are then cast again, each set of them
// under one timer: through the host's ray function, through the caster's intersection and
// through rtcIntersect1 alone. The lock's share and the adjacency build are measured on a
// copy of the module linked into this program, over a sample of the rendered spots.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "bench/alloc_counter.h"
#include "bench/bench_scene.h"
#include "bench/spot_figures.h"
#include "common/platform.h"
#include "instance/dirt_instance.h"
#include "module/activation.h"
#include "module/globals.h"
#include "module/module_state.h"
#include "render/object_framing.h"
#include "render/ray_caster.h"
#include "refhost/spot_record.h"
#include "render/renderer.h"
#include "shading/normal_cache.h"

using Clock = std::chrono::steady_clock;

#ifndef ORMEL_BUILD_TYPE
#define ORMEL_BUILD_TYPE "unknown"
#endif

namespace {

struct Options {
    int width = 320, height = 200, samples = 2, threads = 1, runs = 3;
    int grid = 0;               // cells along a side of the scale scene; 0: the demo scene
    int spot_sample_every = 8;  // every n-th spot is kept for the per-spot figures
    std::string load_object;    // only load this object file as dirt-render does, and time it
    bool animation = false;     // with --grid: the load and three frames of the ball moving, alone
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

// What one render thread saw; registered once per thread, merged after the frame. Each on
// cache lines of its own: the threads write theirs for every spot.
struct alignas(64) ThreadRecord {
    long spots = 0;            // top-level evaluate calls
    double evaluate_seconds = 0.0;
    double first_evaluate_seconds = -1.0;  // the thread's first spot of the frame
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
    // No clock per ray: the recorded rays are timed together afterwards.
    if (g_mode == Mode::Record) thread_record().rays.push_back({{pos[0], pos[1], pos[2]}, {dir[0], dir[1], dir[2]}, false});
    d = t_real_cast(pos, dir);
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
    if (g_mode == Mode::Record) thread_record().rays.push_back({{pos[0], pos[1], pos[2]}, {dir[0], dir[1], dir[2]}, true});
    d = real_shade(pos, dir, access);
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
    const double took = seconds_since(start);
    r.evaluate_seconds += took;
    if (r.first_evaluate_seconds < 0.0) r.first_evaluate_seconds = took;
    bench::set_thread_counting(false);
    r.allocations += bench::thread_allocations() - before;
    --t_depth;
    access->rayCast = t_real_cast;
    access->rayShade = t_real_shade;
}

struct FrameFigures {
    unsigned long long image_hash = 0;  // FNV-1a over the frame's float pixels
    long spots = 0;
    double render_seconds = 0.0, evaluate_seconds = 0.0;
    double first_evaluate_seconds = 0.0;  // the longest first spot of any thread
    long allocations_in_evaluate = 0, allocations_in_process = 0;
    long plugin_rays = 0;
    double cpu_seconds = 0.0;  // processor time of the whole process during the frame
};

// Processor time the process has used, user and system, over all its threads. Unlike the
// clock on the wall it does not grow when other programs take turns on the cores, so the
// processor time per spot with one and with two render threads tells whether a spot costs
// more when two threads shade at once.
double process_cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

FrameFigures render_frame(render::Renderer &renderer, Mode mode, double time = 0.0) {
    {
        std::lock_guard<std::mutex> lock(g_records_mutex);
        for (auto &r : g_records) *r = ThreadRecord();
    }
    g_mode = mode;
    render::RgbImage image;
    const long process_before = bench::process_allocations();
    const double cpu_before = process_cpu_seconds();
    const render::FrameStats stats = renderer.render_frame(static_cast<int>(std::lround(time * 30.0)), time, image);
    FrameFigures f;
    f.cpu_seconds = process_cpu_seconds() - cpu_before;
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
        f.first_evaluate_seconds = std::max(f.first_evaluate_seconds, r->first_evaluate_seconds);
        f.allocations_in_evaluate += r->allocations;
    }
    return f;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : (n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]));
}

// Seconds Embree's rtcIntersect1 takes for the recorded rays, with the caster's self-hit
// filter and nothing else around it.
double replay_rays(const render::RayCaster &caster, const std::vector<RecordedRay> &rays) {
    caster.cast({0, 0, 0}, {0, 1, 0});  // builds the structure outside the timing
    volatile double sink = 0.0;
    const auto start = Clock::now();
    for (const RecordedRay &ray : rays) sink = sink + caster.embree_intersect(ray.origin, ray.direction);
    return seconds_since(start);
}

// Seconds the recorded rays take through the host's own ray functions, as the plug-in
// calls them (rayShade shades the spots it hits, as in the render).
double replay_host_rays(const render::RayCaster &caster, const std::vector<RecordedRay> &rays) {
    render::RayCaster::Scope scope(caster);
    refhost::SpotRecord hit;
    volatile double sink = 0.0;
    const auto start = Clock::now();
    for (const RecordedRay &ray : rays) {
        const double pos[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
        const double dir[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
        sink = sink + (ray.shade ? render::RayCaster::ray_shade(pos, dir, &hit.access)
                                 : render::RayCaster::ray_cast(pos, dir));
    }
    return seconds_since(start);
}

// The rays of rayCast only, through the host's function and through rtcIntersect1 with the
// caster's filter alone: seconds of each.
std::pair<double, double> replay_cast_vs_embree(const render::RayCaster &caster, const std::vector<RecordedRay> &rays) {
    render::RayCaster::Scope scope(caster);
    std::vector<RecordedRay> casts;
    for (const RecordedRay &ray : rays)
        if (!ray.shade) casts.push_back(ray);
    volatile double sink = 0.0;
    auto start = Clock::now();
    for (const RecordedRay &ray : casts) {
        const double pos[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
        const double dir[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
        sink = sink + render::RayCaster::ray_cast(pos, dir);
    }
    const double host = seconds_since(start);
    start = Clock::now();
    for (const RecordedRay &ray : casts) sink = sink + caster.embree_intersect(ray.origin, ray.direction);
    return {host, seconds_since(start)};
}

// Ray functions that cost next to nothing: every ray hits at the same distance.
double constant_cast(const LWDVector, const LWDVector) { return 0.4; }
double constant_shade(const LWDVector, const LWDVector, LWShaderAccess *hit) {
    hit->objID = nullptr;
    return 0.4;
}

// The plug-in's binding on a surface, or null.
const refhost::ShaderBinding *binding_of(bench::BenchScene &scene, LWSurfaceID surface) {
    for (const auto &s : scene.host.scene().surfaces())
        if (refhost::to_id(s.get()) == surface && !s->shaders.empty()) return &s->shaders.front();
    return nullptr;
}

// Seconds per sampled spot of: the plug-in's evaluate with ray functions that cost nothing,
// the bit-exact floor of its sample arithmetic, and the peer shader with Embree's rays.
struct SpotYardsticks {
    double evaluate_without_rays = 0.0, floor = 0.0, peer = 0.0;
};
SpotYardsticks spot_yardsticks(bench::BenchScene &scene, const std::vector<SpotSample> &spots, int runs) {
    SpotYardsticks y;
    if (spots.empty()) return y;
    bench::PeerOcclusion peer(scene.host.scene());
    std::vector<double> eval, floor, peer_times;
    volatile double sink = 0.0;
    for (int run = 0; run < std::max(3, runs); ++run) {
        auto start = Clock::now();
        for (const SpotSample &s : spots) {
            const refhost::ShaderBinding *b = binding_of(scene, s.surface);
            if (!b) continue;
            LWShaderAccess a = s.access;
            a.rayCast = constant_cast;
            a.rayShade = constant_shade;
            g_real.evaluate(b->instance, &a);
            sink = sink + a.diffuse;
        }
        eval.push_back(seconds_since(start));
        start = Clock::now();
        for (const SpotSample &s : spots) {
            const refhost::ShaderBinding *b = binding_of(scene, s.surface);
            if (!b) continue;
            sink = sink + bench::floor_spot(*static_cast<const ormel::DirtInstance *>(b->instance), s.access, 0.4);
        }
        floor.push_back(seconds_since(start));
        start = Clock::now();
        for (const SpotSample &s : spots) {
            const refhost::ShaderBinding *b = binding_of(scene, s.surface);
            if (!b) continue;
            const auto &inst = *static_cast<const ormel::DirtInstance *>(b->instance);
            sink = sink + peer.shade(s.access, inst.sample_count * inst.sample_itr,
                                     inst.sample_theta + inst.sample_jitter, 0.5);
        }
        peer_times.push_back(seconds_since(start));
    }
    const double n = static_cast<double>(spots.size());
    y.evaluate_without_rays = median(eval) / n;
    y.floor = median(floor) / n;
    y.peer = median(peer_times) / n;
    return y;
}

// Seconds per spot of the adjacency lookups of the spot's corners (the part of the
// smoothing that once ran under the normal cache lock), measured on the module copy linked
// here over the sampled spots, its cache warmed first. The mesh records the lookups would build from
// are made outside the timing: a warm cache does not read them.
double lookup_seconds_per_spot(const std::vector<SpotSample> &spots) {
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
            // As the shading pass asks: the lock is taken only to find a record not met before.
            corner_polygons(meshes[i], &spots[i].access, corners, &module_state.normal_cache_lock);
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
        else if (arg == "--grid") good = value(o.grid) && o.grid <= 4096;
        else if (arg == "--load-object" && i + 1 < argc) o.load_object = argv[++i];
        else if (arg == "--animation") o.animation = true;
        else good = false;
        if (!good) {
            std::fprintf(stderr, "usage: dirt-bench [--width N] [--height N] [--samples N] [--threads N] [--runs N] "
                                 "[--grid CELLS [--animation]] [--load-object FILE]\n");
            return false;
        }
    }
    return true;
}

}  // namespace

// The scale scene: a grid of cells x cells quads (2 cells^2 triangles) seen from above,
// with a ball on it for the rays to meet; only the grid carries the shader.
std::string grid_scene(int cells) {
    char text[2048];
    std::snprintf(text, sizeof text, R"json({
  "camera": {"position": [0, 7, -5], "look_at": [0, 0, 0], "fov": 50},
  "lights": [{"type": "distant", "direction": [-0.4, -1, 0.5], "intensity": 1.0}],
  "objects": [
    {"name": "Grid", "primitives": [{"type": "floor", "size": 8, "height": 0, "cells": %d, "surface": "Grid"}]},
    {"name": "Ball", "primitives": [{"type": "sphere", "center": [0, 0.8, 0], "radius": 0.8, "rings": 24, "segments": 48,
                                      "surface": "Ball"}]}
  ],
  "surfaces": [
    {"object": "Grid", "name": "Grid", "smoothing_angle": 30,
     "dirt": {"dirt_width": 0.5, "use_color": 1, "dirt_color": [0.1, 0.1, 0.1], "sample_count": 8, "sample_itr": 2}}
  ]
})json", cells);
    return text;
}

// The host's part of a build: two polygon scans reading every corner, as a build makes
// them, with nothing done with the corners.
struct ScanSum {
    LWMeshInfo *mesh;
    uintptr_t sum;
};
size_t read_corners(void *data, LWPolID polygon) {
    ScanSum &s = *static_cast<ScanSum *>(data);
    const int n = s.mesh->polSize(s.mesh, polygon);
    for (int i = 0; i < n; ++i) s.sum += reinterpret_cast<uintptr_t>(s.mesh->polVertex(s.mesh, polygon, i));
    return 0;
}

struct BuildFigures {
    double seconds = 0.0;        // the adjacency build, median of three
    double scan_seconds = 0.0;   // the host's two scans alone, median of three
    size_t bytes = 0;
};

// The adjacency of the grid built by the module copy linked here, through the host's mesh
// record as the plug-in builds it.
BuildFigures adjacency_build(bench::BenchScene &scene) {
    refhost::Item *grid = nullptr;
    for (refhost::Item *item : scene.host.scene().objects())
        if (item->name == "Grid") grid = item;
    LWObjectInfo *object_info = ormel::shader_globals.object_info;
    BuildFigures f;
    if (!grid || !object_info) return f;
    std::vector<double> times, scans;
    volatile uintptr_t sink = 0;
    for (int i = 0; i < 3; ++i) {
        LWMeshInfo *mesh = object_info->meshInfo(refhost::to_id(grid), 1);
        ormel::ObjectAdjacency record(refhost::to_id(grid));
        auto start = Clock::now();
        record.build(mesh);
        times.push_back(seconds_since(start));
        f.bytes = record.memory_bytes();
        ScanSum scan{mesh, 0};
        start = Clock::now();
        mesh->scanPolys(mesh, read_corners, &scan);
        mesh->scanPolys(mesh, read_corners, &scan);
        scans.push_back(seconds_since(start));
        sink = sink + scan.sum;
        if (mesh->destroy) mesh->destroy(mesh);
    }
    f.seconds = median(times);
    f.scan_seconds = median(scans);
    return f;
}

// --load-object: the object file read, framed and built into a scene as dirt-render does
// it (the import in its child process included), `runs` times; each time, then the median.
int load_object(const Options &o) {
    std::vector<double> times;
    for (int run = 0; run < o.runs; ++run) {
        refhost::Scene scene;
        render::SceneDescription desc;
        std::string error;
        const auto start = Clock::now();
        if (!render::scene_for_object_file(o.load_object, render::FramingChoices(), scene, desc, &error)) {
            std::fprintf(stderr, "dirt-bench: error: %s\n", error.c_str());
            return 1;
        }
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        std::printf("load %d: %.3f s\n", run + 1, times.back());
    }
    std::printf("dirt-bench: %s loaded in %.3f s (median of %d)\n", o.load_object.c_str(), median(times), o.runs);
    return 0;
}

// The process's resident memory now, in bytes.
double resident_bytes() {
    std::ifstream in("/proc/self/statm");
    double size = 0.0, resident = 0.0;
    in >> size >> resident;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE));
}

int main(int argc, char **argv) {
    const double resident_at_start = resident_bytes();
    const auto load_start = Clock::now();
    const double load_cpu_start = process_cpu_seconds();
    Options o;
    if (!parse(argc, argv, o)) return 2;
    if (!o.load_object.empty()) return load_object(o);
    g_spot_sample_every = o.spot_sample_every;

    bench::BenchScene scene(o.grid > 0 ? grid_scene(o.grid) : std::string());
    if (!scene.ok()) {
        std::fprintf(stderr, "dirt-bench: error: %s\n", scene.error().c_str());
        return 1;
    }
    const double scene_bytes = resident_bytes() - resident_at_start;
    // The wrapper stands in for the plug-in's evaluate in the handler record the surfaces use.
    g_real = scene.server.handler;
    scene.server.handler.evaluate = wrapped_evaluate;

    // The module copy linked here, activated on the same host, for the lock measurement and
    // the adjacency build.
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

    if (o.grid > 0 && o.animation) {
        // An animation as a user renders one: the scene and the plug-in loaded, then three
        // frames in which the ball moves, each bringing the acceleration structure to its time.
        for (refhost::Item *item : scene.host.scene().objects())
            if (item->name == "Ball") item->motion.position.keys = {{0.0, {0, 0, 0}}, {1.0, {1, 0, 0}}};
        const double load_seconds = seconds_since(load_start);
        double frames[3];
        for (int frame = 0; frame < 3; ++frame) frames[frame] = render_frame(renderer, Mode::Plain, frame / 30.0).render_seconds;
        renderer.end();
        std::printf("dirt-bench: grid of %d x %d quads (%ld triangles) %dx%d, %d samples/pixel, %d render thread(s), "
                    "%s build, load average %s\n",
                    o.grid, o.grid, 2L * o.grid * o.grid, o.width, o.height, o.samples, renderer.threads(),
                    ORMEL_BUILD_TYPE, load_average().c_str());
        std::printf("  three frames, load included       %.3f s (processor %.3f s; load %.3f s, frames %.3f %.3f %.3f s)\n",
                    seconds_since(load_start), process_cpu_seconds() - load_cpu_start, load_seconds, frames[0],
                    frames[1], frames[2]);
        std::printf("  peak memory (max RSS)             %.1f MB\n", peak_rss_mb());
        return 0;
    }

    // The first frame: Embree builds, the normal cache fills, the pool gets its flags. Its
    // slowest first spot includes the adjacency build of its object.
    const auto first_start = Clock::now();
    const FrameFigures first = render_frame(renderer, Mode::Plain);
    const double first_frame_seconds = seconds_since(first_start);

    std::vector<double> spots_per_second, evaluate_per_spot, allocs_eval, allocs_process, frame_seconds, cpu_per_spot,
        frame_cpu;
    FrameFigures last;
    for (int run = 0; run < o.runs; ++run) {
        last = render_frame(renderer, Mode::Plain);
        const double spots = static_cast<double>(std::max(1L, last.spots));
        spots_per_second.push_back(spots / last.render_seconds);
        evaluate_per_spot.push_back(last.evaluate_seconds / spots);
        allocs_eval.push_back(static_cast<double>(last.allocations_in_evaluate) / spots);
        allocs_process.push_back(static_cast<double>(last.allocations_in_process) / spots);
        frame_seconds.push_back(last.render_seconds);
        frame_cpu.push_back(last.cpu_seconds);
        cpu_per_spot.push_back(last.cpu_seconds / spots);
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
    std::vector<double> replay, replay_host, cast_host, cast_embree;
    for (int run = 0; run < o.runs; ++run) {
        replay.push_back(replay_rays(caster, rays) / spots);
        replay_host.push_back(replay_host_rays(caster, rays) / spots);
        const auto pair = replay_cast_vs_embree(caster, rays);
        cast_host.push_back(pair.first);
        cast_embree.push_back(pair.second);
    }
    const double lock_per_spot = lookup_seconds_per_spot(spot_samples);
    const SpotYardsticks yard = spot_yardsticks(scene, spot_samples, o.runs);

    // Later frames: at a new time with nothing moved, and with the ball moving.
    FrameFigures still_frame, moving_frame;
    if (o.grid > 0) {
        still_frame = render_frame(renderer, Mode::Plain, 1.0 / 30.0);
        for (refhost::Item *item : scene.host.scene().objects())
            if (item->name == "Ball") item->motion.position.keys = {{0.0, {0, 0, 0}}, {1.0, {1, 0, 0}}};
        moving_frame = render_frame(renderer, Mode::Plain, 2.0 / 30.0);
    }
    renderer.end();

    const double eval_us = median(evaluate_per_spot) * 1e6;
    const double ray_us = median(replay) * 1e6;
    const double in_ray_us = median(replay_host) * 1e6;
    const double lock_us = lock_per_spot * 1e6;
    const double p = lock_us / eval_us;

    if (o.grid > 0) {
        const auto build = adjacency_build(scene);
        std::printf("dirt-bench: grid of %d x %d quads (%ld triangles) %dx%d, %d samples/pixel, %d render thread(s), "
                    "%s build, median of %d runs, load average %s\n",
                    o.grid, o.grid, 2L * o.grid * o.grid, o.width, o.height, o.samples, renderer.threads(),
                    ORMEL_BUILD_TYPE, o.runs, load_average().c_str());
        std::printf("  spots shaded per frame            %ld\n", last.spots);
        std::printf("  evaluate time per spot            %.2f us\n", eval_us);
        std::printf("  evaluate without rays per spot    %.2f us\n", yard.evaluate_without_rays * 1e6);
        std::printf("  adjacency build                   %.2f ms (module copy, median of 3)\n", build.seconds * 1e3);
        std::printf("  host's two polygon scans alone    %.2f ms (what any build through the host costs)\n",
                    build.scan_seconds * 1e3);
        std::printf("  adjacency memory                  %.2f MB\n", static_cast<double>(build.bytes) / 1048576.0);
        std::printf("  adjacency lookups per spot        %.3f us (the four corners' lists)\n", lock_us);
        std::printf("  first spot of the frame           %.2f ms (its adjacency built inside the plug-in)\n",
                    first.first_evaluate_seconds * 1e3);
        std::printf("  first frame                       %.3f s (acceleration structure built; processor %.3f s)\n",
                    first_frame_seconds, first.cpu_seconds);
        std::printf("  frame, same time                  %.3f s (median; processor %.3f s)\n", median(frame_seconds),
                    median(frame_cpu));
        std::printf("  frame, new time, nothing moved    %.3f s (processor %.3f s)\n", still_frame.render_seconds,
                    still_frame.cpu_seconds);
        std::printf("  frame, new time, the ball moved   %.3f s (processor %.3f s)\n", moving_frame.render_seconds,
                    moving_frame.cpu_seconds);
        std::printf("  image checksum                    %016llx\n", last.image_hash);
        std::printf("  peak memory (max RSS)             %.1f MB (before the ray recording)\n", peak_mb);
        const double triangles = 2.0 * o.grid * o.grid;
        std::printf("  memory per grid triangle          host scene and plug-in loaded %.0f B, adjacency %.0f B, Embree %.0f B\n",
                    scene_bytes / triangles, static_cast<double>(build.bytes) / triangles,
                    static_cast<double>(caster.embree_bytes()) / triangles);
        return 0;
    }
    std::printf("dirt-bench: demo scene %dx%d, %d samples/pixel, %d render thread(s), %s build, "
                "median of %d runs, load average %s\n",
                o.width, o.height, o.samples, renderer.threads(), ORMEL_BUILD_TYPE, o.runs, load_average().c_str());
    std::printf("  spots shaded per frame            %ld (%.1f plug-in rays per spot, %ld through rayShade)\n",
                last.spots, static_cast<double>(rays.size()) / spots, shade_rays);
    std::printf("  spots per second                  %.0f\n", median(spots_per_second));
    std::printf("  evaluate time per spot            %.2f us\n", eval_us);
    std::printf("  processor time per spot           %.2f us (all threads, the whole render)\n",
                median(cpu_per_spot) * 1e6);
    std::printf("  host ray functions per spot       %.2f us (the recorded rays again through rayCast/rayShade)\n",
                in_ray_us);
    std::printf("  Embree alone, same rays, per spot %.2f us (rtcIntersect1 with the self-hit filter)\n", ray_us);
    std::printf("  module-overhead share             %.1f %% (1 - Embree time / evaluate time)\n",
                100.0 * (1.0 - ray_us / eval_us));
    std::printf("  host rayCast / rtcIntersect1      %.3f (the same rays, the same self-hit filter)\n",
                median(cast_host) / std::max(1e-12, median(cast_embree)));
    std::printf("  evaluate without rays per spot    %.2f us (ray functions that cost nothing; sampled spots)\n",
                yard.evaluate_without_rays * 1e6);
    std::printf("  bit-exact floor per spot          %.2f us (noise, trig, directions, dirt distances)\n",
                yard.floor * 1e6);
    std::printf("  evaluate without rays / floor     %.2f\n", yard.evaluate_without_rays / std::max(1e-12, yard.floor));
    std::printf("  peer occlusion shader per spot    %.2f us (same rays per spot, Embree directly)\n", yard.peer * 1e6);
    std::printf("  evaluate / peer                   %.2f\n", eval_us / std::max(1e-6, yard.peer * 1e6));
    std::printf("  adjacency lookups per spot        %.3f us = %.2f %% of evaluate time (no lock taken)\n", lock_us,
                100.0 * p);
    std::printf("  allocations per spot (warm)       %.3f inside evaluate, host ray functions excluded\n",
                median(allocs_eval));
    std::printf("                                    %.3f process-wide during the frame\n", median(allocs_process));
    std::printf("  image checksum                    %016llx (FNV-1a of the float pixels)\n", last.image_hash);
    std::printf("  peak memory (max RSS)             %.1f MB (before the ray recording)\n", peak_mb);
    return 0;
}
