// dirt-microbench: the pieces of the shading pass one at a time, on spots of the demo
// scene. The pieces run from the module copy linked into this program (activated on the
// same host); `evaluate` runs the built plug-in file with the demo settings, once with ray
// functions that cost nothing (the module's own overhead) and once with Embree.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "bench/alloc_counter.h"
#include "bench/bench_scene.h"
#include "common/platform.h"
#include "instance/dirt_instance.h"
#include "module/activation.h"
#include "module/globals.h"
#include "module/module_state.h"
#include "params/micropol.h"
#include "refhost/shading_spot.h"
#include "refhost/spot_record.h"
#include "render/ray_caster.h"
#include "shading/dirt_blend.h"
#include "shading/evaluate.h"
#include "shading/noise.h"
#include "shading/normal_cache.h"
#include "shading/sample_direction.h"

namespace {

using refhost::Vec3d;

struct Fixture {
    bench::BenchScene scene;
    render::RayCaster caster{scene.host.scene()};
    LWInstanceFuncs core_inst{};
    LWItemFuncs core_item{};
    LWRenderFuncs core_rend{};
    LWShaderHandler core_handler{};
    LWInstance core_instance = nullptr;  // the linked module's instance on the floor
    // The host writes a whole spot record of its own size, more than the shader's
    // declaration of the access record holds.
    refhost::SpotRecord floor_record{};  // a floor spot beside the box
    refhost::SpotRecord ball_record{};   // a spot on the smoothed ball
    LWShaderAccess &floor_spot = floor_record.access;
    LWShaderAccess &ball_spot = ball_record.access;
    bool ok = false;

    Fixture() {
        if (!scene.ok()) {
            std::fprintf(stderr, "dirt-microbench: %s\n", scene.error().c_str());
            return;
        }
        core_handler.inst = &core_inst;
        core_handler.item = &core_item;
        core_handler.rend = &core_rend;
        ormel::shader_activate(LWSHADER_VERSION, scene.host.global_func(), &core_handler, nullptr);
        LWError error = nullptr;
        core_instance = core_inst.create(core_inst.priv, refhost::to_id(scene.surface("Floor")), &error);
        auto *inst = static_cast<ormel::DirtInstance *>(core_instance);
        if (!inst) return;
        // The demo floor's sampling.
        inst->sample_count = 8;
        inst->sample_itr = 2;
        inst->use_color = 1;
        core_rend.init(core_instance, LWINIT_RENDER);
        core_rend.newTime(core_instance, 0, 0.0);
        for (const auto &s : scene.host.scene().surfaces())
            for (const refhost::ShaderBinding &b : s->shaders) {
                b.handler->rend->init(b.instance, LWINIT_RENDER);
                b.handler->rend->newTime(b.instance, 0, 0.0);
            }
        ok = spot_at({0.2, 2.0, -1.4}, {0.0, -1.0, 0.0}, floor_spot) &&
             spot_at({3.4, 2.6, -4.4}, {-2.35 - 3.4, 0.55 - 2.6, -0.7 + 4.4}, ball_spot);
    }

    ~Fixture() {
        if (core_instance) {
            core_rend.cleanup(core_instance);
            core_inst.destroy(core_instance);
        }
    }

    bool spot_at(const Vec3d &from, const Vec3d &dir, LWShaderAccess &out) {
        render::RayCaster::Scope scope(caster);
        render::RayCaster::Hit hit;
        if (!caster.intersect(from, dir, std::numeric_limits<double>::infinity(), hit)) return false;
        refhost::SpotRay ray;
        ray.source = from;
        const double len = std::sqrt(dir.x * dir.x + dir.y * dir.y + dir.z * dir.z);
        ray.direction = {dir.x / len, dir.y / len, dir.z / len};
        ray.length = hit.distance;
        refhost::fill_shading_spot(*hit.geometry, hit.polygon, hit.spot, ray, out);
        // The host's ray functions, as its spots carry them.
        render::RayCaster::install_ray_functions(out);
        return true;
    }

    // The plug-in's binding on the surface the spot lies on.
    const refhost::ShaderBinding *binding(const char *surface) {
        refhost::Surface *s = scene.surface(surface);
        return s && !s->shaders.empty() ? &s->shaders.front() : nullptr;
    }
};

Fixture &fixture() {
    static Fixture f;
    return f;
}

bool ready(benchmark::State &state) {
    if (fixture().ok) return true;
    state.SkipWithError("the demo scene could not be set up");
    return false;
}

void BM_gradient_noise(benchmark::State &state) {
    // The walk of one spot's 16 samples (two values each) at a sample scale of 0.05, begun
    // again at a fresh position after every spot: coordinates stay as large as in a render.
    const ormel::Vec3 start(0.37 / 0.05, 1.91 / 0.05, -2.43 / 0.05);
    const ormel::Vec3 O(12.3 / 0.05, 45.6 / 0.05, 78.9 / 0.05);
    const ormel::Vec3 next_spot(0.013, 0.007, 0.011);
    ormel::Vec3 first = start, P = start;
    int step = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ormel::gradient_noise(P));
        P = P + O;
        if (++step == 32) {
            step = 0;
            first = first + next_spot;
            P = first;
        }
    }
}
BENCHMARK(BM_gradient_noise);

void BM_sample_direction(benchmark::State &state) {
    const ormel::Vec3 N = ormel::vec_normalized(ormel::Vec3(0.2, 0.9, 0.1));
    const ormel::Vec3 T1(1, 0, 0), T2(0, 1, 0);
    double phi = 0.1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ormel::sample_direction(N, 0.8, phi, T1, T2));
        phi += 0.01;
    }
}
BENCHMARK(BM_sample_direction);

// On the ball (smoothing angle 89 degrees), its adjacency cached, taking the lock as the
// shading pass does.
void BM_smoothed_normal(benchmark::State &state) {
    if (!ready(state)) return;
    const LWShaderAccess &spot = fixture().ball_spot;
    const double angle = 89.0 * 3.141592653589793 / 180.0;
    ormel::Vec3 N;
    for (auto _ : state)
        benchmark::DoNotOptimize(ormel::smoothed_normal(&spot, angle, true, N, ormel::module_state.normal_cache_lock));
}
BENCHMARK(BM_smoothed_normal)->Threads(1)->Threads(2);

// The part of the smoothing done under the lock: the corners' polygon lists.
void BM_normal_cache_lookup(benchmark::State &state) {
    if (!ready(state)) return;
    const LWShaderAccess &spot = fixture().ball_spot;
    LWObjectInfo *object_info = ormel::shader_globals.object_info;
    LWMeshInfo *mesh = object_info->meshInfo(spot.objID, 1);
    ormel::CornerPolygons corners;
    for (auto _ : state) {
        ormel::CriticalSectionGuard guard(ormel::module_state.normal_cache_lock);
        benchmark::DoNotOptimize(ormel::corner_polygons(mesh, &spot, corners));
    }
    if (mesh->destroy) mesh->destroy(mesh);
}
BENCHMARK(BM_normal_cache_lookup);

void BM_fill_micropol(benchmark::State &state) {
    if (!ready(state)) return;
    const LWShaderAccess &spot = fixture().floor_spot;
    const auto *inst = static_cast<const ormel::DirtInstance *>(fixture().core_instance);
    LWMicropol mp;
    for (auto _ : state) {
        ormel::fill_micropol(&mp, &spot, inst->surface);
        benchmark::DoNotOptimize(mp.oAxis);
    }
}
BENCHMARK(BM_fill_micropol);

// The blend changes the spot it is given, so each call needs a fresh one. The fresh spots
// are laid out a batch at a time with the timer paused: pausing and resuming cost more than
// a blend, and once per call they were most of what this figure measured.
void BM_dirt_blend(benchmark::State &state) {
    if (!ready(state)) return;
    const auto *inst = static_cast<const ormel::DirtInstance *>(fixture().core_instance);
    constexpr size_t kBatch = 512;
    std::vector<LWShaderAccess> spots(kBatch, fixture().floor_spot);
    size_t next = 0;
    for (auto _ : state) {
        if (next == kBatch) {
            state.PauseTiming();
            std::fill(spots.begin(), spots.end(), fixture().floor_spot);
            next = 0;
            state.ResumeTiming();
        }
        LWShaderAccess &spot = spots[next++];
        ormel::dirt_blend(&spot, inst, 0.5, 0.5);
        benchmark::DoNotOptimize(spot.color[0]);
    }
}
BENCHMARK(BM_dirt_blend);

// Ray functions that cost nothing: every ray hits at a fixed distance.
double constant_cast(const LWDVector, const LWDVector) { return 0.4; }
double constant_shade(const LWDVector, const LWDVector, LWShaderAccess *hit) {
    hit->objID = nullptr;
    return 0.4;
}

void run_evaluate(benchmark::State &state, const char *surface, const LWShaderAccess &base, bool embree) {
    if (!ready(state)) return;
    const refhost::ShaderBinding *b = fixture().binding(surface);
    if (!b) {
        state.SkipWithError("no shader on the surface");
        return;
    }
    render::RayCaster::Scope scope(fixture().caster);
    LWShaderAccess spot = base;
    if (!embree) {
        spot.rayCast = constant_cast;
        spot.rayShade = constant_shade;
    }
    const LWShaderAccess start = spot;
    b->handler->evaluate(b->instance, &spot);  // the first spot builds the caches
    const long before = bench::process_allocations();
    for (auto _ : state) {
        spot = start;
        b->handler->evaluate(b->instance, &spot);
        benchmark::DoNotOptimize(spot.color[0]);
    }
    state.counters["allocs/spot"] = benchmark::Counter(
        static_cast<double>(bench::process_allocations() - before), benchmark::Counter::kAvgIterations);
}

void BM_evaluate_free_rays_floor(benchmark::State &state) { run_evaluate(state, "Floor", fixture().floor_spot, false); }
void BM_evaluate_free_rays_ball(benchmark::State &state) { run_evaluate(state, "Ball", fixture().ball_spot, false); }
void BM_evaluate_embree_floor(benchmark::State &state) { run_evaluate(state, "Floor", fixture().floor_spot, true); }
void BM_evaluate_embree_ball(benchmark::State &state) { run_evaluate(state, "Ball", fixture().ball_spot, true); }
BENCHMARK(BM_evaluate_free_rays_floor);
BENCHMARK(BM_evaluate_free_rays_ball);
BENCHMARK(BM_evaluate_embree_floor);
BENCHMARK(BM_evaluate_embree_ball);

// The rays one evaluate casts on the floor spot, through Embree alone: the ray-bound limit
// of BM_evaluate_embree_floor.
std::vector<std::pair<Vec3d, Vec3d>> g_rays;
double recording_cast(const LWDVector pos, const LWDVector dir) {
    g_rays.push_back({{pos[0], pos[1], pos[2]}, {dir[0], dir[1], dir[2]}});
    return render::RayCaster::ray_cast(pos, dir);
}

void run_rays_only(benchmark::State &state, const char *surface, const LWShaderAccess &base) {
    if (!ready(state)) return;
    const refhost::ShaderBinding *b = fixture().binding(surface);
    if (!b) {
        state.SkipWithError("no shader on the surface");
        return;
    }
    render::RayCaster::Scope scope(fixture().caster);
    g_rays.clear();
    LWShaderAccess spot = base;
    spot.rayCast = recording_cast;
    b->handler->evaluate(b->instance, &spot);
    render::RayCaster::Hit hit;
    for (auto _ : state) {
        for (const auto &ray : g_rays)
            benchmark::DoNotOptimize(
                fixture().caster.intersect(ray.first, ray.second, std::numeric_limits<double>::infinity(), hit));
    }
    state.counters["rays/spot"] = static_cast<double>(g_rays.size());
}
void BM_embree_rays_only_floor(benchmark::State &state) { run_rays_only(state, "Floor", fixture().floor_spot); }
void BM_embree_rays_only_ball(benchmark::State &state) { run_rays_only(state, "Ball", fixture().ball_spot); }
BENCHMARK(BM_embree_rays_only_floor);
BENCHMARK(BM_embree_rays_only_ball);

}  // namespace

BENCHMARK_MAIN();
