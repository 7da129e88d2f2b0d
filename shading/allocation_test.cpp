// What the shading code allocates: nothing per spot once an object's adjacency exists, and
// a failed allocation in the normal cache is a failed smoothing, not a crash.
//
// The global allocation functions are replaced for the whole test program; they only count
// (and, when asked, fail) on a thread that has armed them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "shading/evaluate.h"
#include "shading/normal_cache.h"
#include "tests/support/shading_fakes.h"

namespace {

thread_local bool armed = false;
thread_local long allocations = 0;
thread_local long fail_at = -1;

void *allocate(std::size_t size) {
    if (armed) {
        if (allocations++ == fail_at) throw std::bad_alloc();
    }
    if (void *p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

// Counts the allocations made on this thread while it lives; fails the one numbered fail.
struct AllocationProbe {
    explicit AllocationProbe(long fail = -1) {
        allocations = 0;
        fail_at = fail;
        armed = true;
    }
    ~AllocationProbe() { armed = false; }
    long count() const { return allocations; }
};

}  // namespace

void *operator new(std::size_t size) { return allocate(size); }
void *operator new[](std::size_t size) { return allocate(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

namespace ormel {
namespace {

// A strip of quads in the z = 0 plane, folded up along its middle edge.
struct Strip {
    fake::Mesh mesh;
    int first;

    Strip() {
        for (int i = 0; i < 4; ++i) {
            mesh.point(static_cast<float>(i), 0, 0);
            mesh.point(static_cast<float>(i), 1, i == 2 ? 0.5f : 0.0f);
        }
        first = mesh.polygon({0, 2, 3, 1});
        mesh.polygon({2, 4, 5, 3});
        mesh.polygon({4, 6, 7, 5});
    }
    LWShaderAccess spot(int polygon) const {
        LWShaderAccess a = fake::make_spot(fake::item_id(1), fake::polygon_id(polygon),
                                           Vec3(0.5 + polygon, 0.5, 0), Vec3(0, 0, 1));
        const auto &pts = mesh.polygons[static_cast<size_t>(polygon)];
        for (int k = 0; k < 4; ++k) {
            a.verts[k] = fake::point_id(pts[static_cast<size_t>(k)]);
            a.weights[k] = 0.25f;
        }
        return a;
    }
};

bool smoothed(const LWShaderAccess &a, Vec3 &N) {
    CriticalSectionGuard guard(module_state.normal_cache_lock);
    return smoothed_normal(&a, 1.0, true, N);
}

TEST(NormalCacheMemory, EveryFailedAllocationFailsTheCallAndKeepsTheCacheSound) {
    fake::Installed host;
    Strip strip;
    host.add_object(fake::item_id(1), &strip.mesh);
    const LWShaderAccess spot = strip.spot(1);

    Vec3 want;
    ASSERT_TRUE(smoothed(spot, want));
    {
        CriticalSectionGuard guard(module_state.normal_cache_lock);
        normal_cache_reset();
    }

    // Fail the first, second, ... allocation of a build until a build needs no more.
    long failures = 0;
    for (long n = 0;; ++n) {
        const Vec3 untouched(3, 4, 5);
        Vec3 N = untouched;
        bool ok;
        long made;
        {
            AllocationProbe probe(n);
            ok = smoothed(spot, N);
            made = probe.count();
        }
        if (made <= n) {
            ASSERT_TRUE(ok);
            EXPECT_EQ(N, want);
            break;
        }
        ++failures;
        EXPECT_FALSE(ok) << n;
        EXPECT_EQ(N, untouched) << n;
        EXPECT_TRUE(module_state.normal_cache.records.empty()) << n;
        EXPECT_EQ(strip.mesh.destroyed.load(), host->mesh_requests.load())
            << "the mesh is released on failure too";
        ASSERT_LT(n, 1000);
    }
    EXPECT_GT(failures, 3);

    // A corner point the build never met (an empty corner here) finds an empty list
    // without allocating and without changing the record.
    LWShaderAccess open_corner = spot;
    open_corner.verts[3] = nullptr;
    Vec3 N;
    bool ok;
    long made;
    {
        AllocationProbe probe;
        ok = smoothed(open_corner, N);
        made = probe.count();
    }
    EXPECT_TRUE(ok);
    EXPECT_EQ(made, 0);
    ASSERT_EQ(module_state.normal_cache.records.size(), 1u);
}

TEST(EvaluateMemory, SpotsAllocateNothingOnceTheObjectIsCached) {
    fake::Installed host;
    fake::TestInstance t;
    Strip strip;
    host.add_object(fake::item_id(1), &strip.mesh);
    host.add_object(fake::item_id(2), nullptr);
    host->record = false;
    host->smoothing_angle = 1.0;
    host->trace = [](const double *o, const double *d, LWItemID *hit) {
        // A ceiling of another object above a floor of the shaded one.
        if (d[2] == 0.0) return -1.0;
        const double t_ceiling = (0.3 - o[2]) / d[2];
        if (t_ceiling > 0) {
            *hit = fake::item_id(2);
            return t_ceiling;
        }
        *hit = fake::item_id(1);
        return (0.0 - o[2]) / d[2];
    };
    t.width.value[0] = 1.0;
    t.inst.use_bump = t.inst.use_color = 1;

    for (int single_f = 0; single_f < 2; ++single_f) {
        t.inst.single_f = single_f;
        LWShaderAccess first = strip.spot(0);
        dirt::evaluate(t.handle(), &first);  // builds the adjacency and the flag chunk
        for (int polygon = 0; polygon < 3; ++polygon) {
            LWShaderAccess spot = strip.spot(polygon);
            long made;
            {
                AllocationProbe probe;
                dirt::evaluate(t.handle(), &spot);
                made = probe.count();
            }
            EXPECT_EQ(made, 0) << polygon;
        }
    }
}

}  // namespace
}  // namespace ormel
