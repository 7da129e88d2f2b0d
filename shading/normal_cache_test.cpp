#include "shading/normal_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "instance/dirt_instance.h"
#include "tests/support/shading_fakes.h"

namespace ormel {
namespace {

constexpr double kDeg = 3.141592653589793 / 180.0;

Vec3 widened(const std::array<float, 3> &p) {
    return Vec3(static_cast<double>(p[0]), static_cast<double>(p[1]), static_cast<double>(p[2]));
}

// A square A in the z = 0 plane (normal +z) on the edge e0-e1 along x, and wings hinged on
// that edge whose normals lean away from +z by a chosen angle.
struct Hinge {
    fake::Mesh mesh;
    int e0, e1, a2, a3, A;

    Hinge() {
        e0 = mesh.point(0, 0, 0);
        e1 = mesh.point(1, 0, 0);
        a2 = mesh.point(1, 1, 0);
        a3 = mesh.point(0, 1, 0);
        A = mesh.polygon({e0, e1, a2, a3});
    }
    // A wing whose facet normal is (0, sin t, cos t).
    int wing(double t) {
        const float c = static_cast<float>(std::cos(t)), s = static_cast<float>(std::sin(t));
        const int b3 = mesh.point(0, -c, s);
        const int b2 = mesh.point(1, -c, s);
        return mesh.polygon({e0, b3, b2, e1});
    }
    // The wing's normal, computed from the stored (float) positions.
    Vec3 wing_normal(int polygon) const {
        const auto &pts = mesh.polygons[static_cast<size_t>(polygon)];
        const Vec3 p0 = widened(mesh.other[static_cast<size_t>(pts[0])]);
        const Vec3 p1 = widened(mesh.other[static_cast<size_t>(pts[1])]);
        const Vec3 pl = widened(mesh.other[static_cast<size_t>(pts[3])]);
        return vec_normalized(vec_cross(p1 - p0, pl - p0));
    }
    // A spot on A with equal weights at its four corners.
    LWShaderAccess spot(LWItemID obj) const {
        LWShaderAccess a = fake::make_spot(obj, fake::polygon_id(A), Vec3(0.5, 0.5, 0), Vec3(0, 0, 1));
        const int corners[4] = {e0, e1, a2, a3};
        for (int k = 0; k < 4; ++k) {
            a.verts[k] = fake::point_id(corners[k]);
            a.weights[k] = 0.25f;
        }
        return a;
    }
};

bool smoothed(const LWShaderAccess &a, double angle, Vec3 &N, bool deformed = true) {
    CriticalSectionGuard guard(module_state.normal_cache_lock);
    return smoothed_normal(&a, angle, deformed, N);
}

void expect_vec_near(const Vec3 &got, const Vec3 &want) {
    EXPECT_NEAR(got.x, want.x, 1e-12);
    EXPECT_NEAR(got.y, want.y, 1e-12);
    EXPECT_NEAR(got.z, want.z, 1e-12);
}

TEST(FacetNormal, FromVerticesZeroOneAndLast) {
    fake::Installed host;
    fake::Mesh mesh;
    const int p0 = mesh.point(0, 0, 0), p1 = mesh.point(2, 0, 0), p2 = mesh.point(2, 3, 0),
              p3 = mesh.point(0, 3, 0);
    const int quad = mesh.polygon({p0, p1, p2, p3});
    const int line = mesh.polygon({p0, p1});
    EXPECT_EQ(facet_normal(&mesh.record, fake::polygon_id(quad), true), Vec3(0, 0, 1));
    EXPECT_EQ(facet_normal(&mesh.record, fake::polygon_id(line), true), Vec3(0, 0, 0));
    // Deformed positions and base positions are told apart.
    for (auto &p : mesh.other) std::swap(p[1], p[2]);
    EXPECT_EQ(facet_normal(&mesh.record, fake::polygon_id(quad), true), Vec3(0, -1, 0));
    EXPECT_EQ(facet_normal(&mesh.record, fake::polygon_id(quad), false), Vec3(0, 0, 1));
}

TEST(SmoothedNormal, AngleDecidesWhichNeighboursCount) {
    fake::Installed host;
    Hinge h;
    const int B = h.wing(40 * kDeg);
    host.add_object(fake::item_id(1), &h.mesh);
    const LWShaderAccess spot = h.spot(fake::item_id(1));
    const Vec3 nA(0, 0, 1);

    // Two corners lie on the shared edge: their sums take the wing in when it is within
    // the angle; the other two corners keep A's normal.
    const Vec3 edge = vec_normalized(nA + h.wing_normal(B));
    const Vec3 smooth = vec_normalized(0.25 * nA + 0.25 * nA + 0.25 * edge + 0.25 * edge);

    Vec3 N;
    ASSERT_TRUE(smoothed(spot, 0.0, N));
    EXPECT_EQ(N, nA) << "angle 0 is flat shading";
    ASSERT_TRUE(smoothed(spot, 30 * kDeg, N));
    EXPECT_EQ(N, nA) << "a 40 degree edge is sharper than 30 degrees";
    ASSERT_TRUE(smoothed(spot, 60 * kDeg, N));
    expect_vec_near(N, smooth);
    EXPECT_GT(N.y, 0.0);
    ASSERT_TRUE(smoothed(spot, 180 * kDeg, N));
    expect_vec_near(N, smooth);

    // The mesh record is released once per call, and the mesh is all that was asked for.
    EXPECT_EQ(h.mesh.destroyed.load(), 4);
    EXPECT_EQ(fake::world().other_object_queries.load(), 0);
}

TEST(SmoothedNormal, SharpEdgeKeepsOnlyNeighboursWithinTheAngle) {
    fake::Installed host;
    Hinge h;
    const int near_wing = h.wing(20 * kDeg);
    h.wing(50 * kDeg);
    // A polygon facing exactly the other way never counts, even at 180 degrees.
    h.mesh.polygon({h.a3, h.a2, h.e1, h.e0});
    host.add_object(fake::item_id(1), &h.mesh);
    const LWShaderAccess spot = h.spot(fake::item_id(1));
    const Vec3 nA(0, 0, 1);

    Vec3 N;
    ASSERT_TRUE(smoothed(spot, 30 * kDeg, N));
    const Vec3 edge = vec_normalized(nA + h.wing_normal(near_wing));
    expect_vec_near(N, vec_normalized(0.5 * nA + 0.5 * edge));

    ASSERT_TRUE(smoothed(spot, 180 * kDeg, N));
    const Vec3 both = vec_normalized(nA + h.wing_normal(near_wing) + h.wing_normal(near_wing + 1));
    expect_vec_near(N, vec_normalized(0.5 * nA + 0.5 * both));
}

TEST(SmoothedNormal, FailuresLeaveTheNormalAlone) {
    fake::Installed host;
    Hinge h;
    host.add_object(fake::item_id(1), &h.mesh);
    LWShaderAccess spot = h.spot(fake::item_id(1));
    const Vec3 untouched(7, 8, 9);

    Vec3 N = untouched;
    host->withhold_meshes = true;
    EXPECT_FALSE(smoothed(spot, 0.0, N));
    EXPECT_EQ(N, untouched);
    host->withhold_meshes = false;

    spot.polygon = nullptr;
    const int requests = host->mesh_requests.load();
    EXPECT_FALSE(smoothed(spot, 0.0, N));
    EXPECT_EQ(N, untouched);
    EXPECT_EQ(host->mesh_requests.load(), requests) << "no mesh is asked for without a polygon";

    // Zero weights give a zero normal, and that still counts as success.
    spot = h.spot(fake::item_id(1));
    for (float &w : spot.weights) w = 0.0f;
    EXPECT_TRUE(smoothed(spot, 0.0, N));
    EXPECT_EQ(N, Vec3(0, 0, 0));
}

TEST(SmoothedNormal, DeformedPositionsFollowTheMesh) {
    fake::Installed host;
    Hinge h;
    host.add_object(fake::item_id(1), &h.mesh);
    const LWShaderAccess spot = h.spot(fake::item_id(1));
    Vec3 N;
    ASSERT_TRUE(smoothed(spot, 0.0, N));
    EXPECT_EQ(N, Vec3(0, 0, 1));
    // Positions are read at every call, not cached with the topology.
    for (auto &p : h.mesh.other) std::swap(p[1], p[2]);
    ASSERT_TRUE(smoothed(spot, 0.0, N));
    EXPECT_EQ(N, Vec3(0, -1, 0));
    ASSERT_TRUE(smoothed(spot, 0.0, N, false));
    EXPECT_EQ(N, Vec3(0, 0, 1));
}

TEST(NormalCache, BuiltOncePerObjectUntilReset) {
    fake::Installed host;
    Hinge first, second;
    second.wing(10 * kDeg);
    host.add_object(fake::item_id(1), &first.mesh);
    host.add_object(fake::item_id(2), &second.mesh);
    const std::vector<ObjectAdjacency *> &records = module_state.normal_cache.records;

    Vec3 N;
    ASSERT_TRUE(smoothed(first.spot(fake::item_id(1)), 0.5, N));
    ASSERT_TRUE(smoothed(second.spot(fake::item_id(2)), 0.5, N));
    EXPECT_GT(N.y, 0.0) << "the second object's own wing counts";
    ASSERT_TRUE(smoothed(first.spot(fake::item_id(1)), 0.5, N));
    EXPECT_EQ(N, Vec3(0, 0, 1)) << "the first object has no wing";
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]->objID, fake::item_id(1));
    EXPECT_EQ(records[1]->objID, fake::item_id(2));
    EXPECT_EQ(first.mesh.scans.load(), 2) << "two scans build an object's adjacency, once";
    EXPECT_EQ(second.mesh.scans.load(), 2);

    // The topology is the one the build saw: a wing added later counts only after a reset.
    first.wing(10 * kDeg);
    ASSERT_TRUE(smoothed(first.spot(fake::item_id(1)), 0.5, N));
    EXPECT_EQ(N, Vec3(0, 0, 1));
    {
        CriticalSectionGuard guard(module_state.normal_cache_lock);
        normal_cache_reset();
    }
    EXPECT_TRUE(records.empty());
    ASSERT_TRUE(smoothed(first.spot(fake::item_id(1)), 0.5, N));
    EXPECT_GT(N.y, 0.0);
    EXPECT_EQ(first.mesh.scans.load(), 4);
}

TEST(NormalCache, MissingCornerPointHasNoPolygons) {
    fake::Installed host;
    Hinge h;
    host.add_object(fake::item_id(1), &h.mesh);
    // A triangle-like spot: the fourth corner is empty.
    LWShaderAccess spot = h.spot(fake::item_id(1));
    spot.verts[3] = nullptr;
    spot.weights[3] = 0.0f;
    Vec3 N;
    ASSERT_TRUE(smoothed(spot, 0.0, N));
    EXPECT_EQ(N, Vec3(0, 0, 1));
    const ObjectAdjacency &record = *module_state.normal_cache.records.at(0);
    EXPECT_EQ(record.point_count(), 4u);
    EXPECT_EQ(record.polygons_of(nullptr).fill, 0);
    ASSERT_TRUE(smoothed(spot, 0.0, N));
    EXPECT_EQ(record.point_count(), 4u) << "lookups leave the record as it was built";
    // Every point lists the polygons that use it.
    const PointPolygons edge = record.polygons_of(fake::point_id(h.e0));
    ASSERT_EQ(edge.fill, 1);
    EXPECT_EQ(edge.polys[0], fake::polygon_id(h.A));
}

TEST(NormalCache, RenderInitAndCleanupEmptyIt) {
    fake::Installed host;
    fake::TestInstance t;
    Hinge h;
    host.add_object(fake::item_id(1), &h.mesh);
    Vec3 N;
    ASSERT_TRUE(smoothed(h.spot(fake::item_id(1)), 0.0, N));
    EXPECT_EQ(dirt::init(t.handle(), 0), nullptr);
    EXPECT_TRUE(module_state.normal_cache.records.empty());
    ASSERT_TRUE(smoothed(h.spot(fake::item_id(1)), 0.0, N));
    EXPECT_EQ(h.mesh.scans.load(), 4);
    dirt::cleanup(t.handle());
    EXPECT_TRUE(module_state.normal_cache.records.empty());
    ASSERT_TRUE(smoothed(h.spot(fake::item_id(1)), 0.0, N));
    EXPECT_EQ(h.mesh.scans.load(), 6);
}


// ---- The adjacency's point table, over point IDs laid out as hosts lay them out and as
// they should not.

// A grid of quads whose point IDs come from a chosen numbering.
struct GridMesh {
    int cells;
    std::function<uintptr_t(int)> id_of;
    LWMeshInfo record{};

    GridMesh(int n, std::function<uintptr_t(int)> ids) : cells(n), id_of(std::move(ids)) {
        record.priv = this;
        record.scanPolys = [](LWMeshInfoID m, LWPolScanFunc *func, void *data) -> size_t {
            const GridMesh &g = self(m);
            for (int p = 0; p < g.cells * g.cells; ++p)
                if (size_t r = func(data, reinterpret_cast<LWPolID>(static_cast<uintptr_t>(p + 1)))) return r;
            return 0;
        };
        record.polSize = [](LWMeshInfoID, LWPolID) { return 4; };
        record.polVertex = [](LWMeshInfoID m, LWPolID pol, int i) {
            const GridMesh &g = self(m);
            const int p = static_cast<int>(reinterpret_cast<uintptr_t>(pol)) - 1;
            const int x = p % g.cells + (i == 1 || i == 2), y = p / g.cells + (i >= 2);
            return reinterpret_cast<LWPntID>(g.id_of(y * (g.cells + 1) + x));
        };
    }
    static const GridMesh &self(LWMeshInfoID m) { return *static_cast<const GridMesh *>(m->priv); }
    LWPntID point(int x, int y) const { return reinterpret_cast<LWPntID>(id_of(y * (cells + 1) + x)); }
    LWPolID polygon(int x, int y) const { return reinterpret_cast<LWPolID>(static_cast<uintptr_t>(y * cells + x + 1)); }
};

TEST(ObjectAdjacency, ListsEveryPointsPolygonsInScanOrderWhateverTheIds) {
    const int n = 40;
    const std::pair<const char *, std::function<uintptr_t(int)>> numberings[] = {
        {"records 32 bytes apart", [](int i) { return uintptr_t{0x7f0000001000} + 32u * static_cast<uintptr_t>(i); }},
        {"consecutive numbers", [](int i) { return static_cast<uintptr_t>(i + 1); }},
        {"a megabyte apart", [](int i) { return uintptr_t{0x10000000} + (static_cast<uintptr_t>(i) << 20); }},
        {"descending", [](int i) { return uintptr_t{0x900000} - 16u * static_cast<uintptr_t>(i); }},
    };
    for (const auto &numbering : numberings) {
        SCOPED_TRACE(numbering.first);
        GridMesh grid(n, numbering.second);
        ObjectAdjacency record(fake::item_id(1));
        ASSERT_TRUE(record.build(&grid.record));
        EXPECT_EQ(record.point_count(), static_cast<size_t>((n + 1) * (n + 1)));
        // An inner point: the four quads around it, in scan order.
        const PointPolygons inner = record.polygons_of(grid.point(7, 9));
        ASSERT_EQ(inner.fill, 4);
        EXPECT_EQ(inner.polys[0], grid.polygon(6, 8));
        EXPECT_EQ(inner.polys[1], grid.polygon(7, 8));
        EXPECT_EQ(inner.polys[2], grid.polygon(6, 9));
        EXPECT_EQ(inner.polys[3], grid.polygon(7, 9));
        // Corners of the grid have one quad, edges two; points elsewhere none.
        EXPECT_EQ(record.polygons_of(grid.point(0, 0)).fill, 1);
        EXPECT_EQ(record.polygons_of(grid.point(n, 5)).fill, 2);
        EXPECT_EQ(record.polygons_of(reinterpret_cast<LWPntID>(uintptr_t{0x12345})).fill, 0);
        EXPECT_EQ(record.polygons_of(nullptr).fill, 0);
        EXPECT_GT(record.memory_bytes(), static_cast<size_t>(4 * n * n) * sizeof(LWPolID));
    }
}

// Render threads meet the first spots of several objects at once: each object is built
// once, and every thread smooths every spot as one thread alone does.
TEST(NormalCache, ThreadsMeetingFirstSpotsOfSeveralObjectsBuildEachOnce) {
    fake::Installed host;
    constexpr int kObjects = 3, kThreads = 4;
    std::vector<std::unique_ptr<Hinge>> hinges;
    for (int o = 0; o < kObjects; ++o) {
        hinges.push_back(std::make_unique<Hinge>());
        // Many wings make the build long enough for the threads to meet in it.
        for (int w = 0; w < 3000; ++w) hinges.back()->wing((5 + o * 20 + w % 7) * kDeg);
        host.add_object(fake::item_id(o + 1), &hinges.back()->mesh);
    }
    std::vector<Vec3> alone(kObjects);
    for (int o = 0; o < kObjects; ++o)
        ASSERT_TRUE(smoothed_normal(&static_cast<const LWShaderAccess &>(hinges[o]->spot(fake::item_id(o + 1))), 0.6,
                                    true, alone[static_cast<size_t>(o)], module_state.normal_cache_lock));
    {
        CriticalSectionGuard guard(module_state.normal_cache_lock);
        normal_cache_reset();
    }

    std::atomic<int> ready{0};
    std::vector<std::vector<Vec3>> seen(kThreads, std::vector<Vec3>(kObjects));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready.load() < kThreads) {
            }
            for (int i = 0; i < kObjects; ++i) {
                const int o = (t + i) % kObjects;
                const LWShaderAccess spot = hinges[static_cast<size_t>(o)]->spot(fake::item_id(o + 1));
                Vec3 N;
                if (smoothed_normal(&spot, 0.6, true, N, module_state.normal_cache_lock))
                    seen[static_cast<size_t>(t)][static_cast<size_t>(o)] = N;
            }
        });
    }
    for (std::thread &th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[static_cast<size_t>(t)], alone) << "thread " << t;
    EXPECT_EQ(module_state.normal_cache.records.size(), static_cast<size_t>(kObjects));
    for (const auto &h : hinges) EXPECT_EQ(h->mesh.scans.load(), 4) << "two scans before the reset, two after";
}

// While one thread builds an object's adjacency (its polygon scan held up here), spots of
// an object already built, and the first spot of another object, are smoothed on other
// threads without waiting for it.
std::atomic<bool> g_scan_entered{false};
std::atomic<bool> g_scan_released{false};
size_t (*g_plain_scan)(LWMeshInfoID, LWPolScanFunc *, void *) = nullptr;

size_t held_scan(LWMeshInfoID mesh, LWPolScanFunc *func, void *data) {
    g_scan_entered = true;
    while (!g_scan_released) std::this_thread::yield();
    return g_plain_scan(mesh, func, data);
}

TEST(NormalCache, ThreadsShadingOtherObjectsDoNotWaitForABuild) {
    fake::Installed host;
    Hinge slow, built, fresh;
    slow.wing(10 * kDeg);
    built.wing(10 * kDeg);
    fresh.wing(10 * kDeg);
    host.add_object(fake::item_id(1), &slow.mesh);
    host.add_object(fake::item_id(2), &built.mesh);
    host.add_object(fake::item_id(3), &fresh.mesh);
    Vec3 want;
    ASSERT_TRUE(smoothed_normal(&static_cast<const LWShaderAccess &>(slow.spot(fake::item_id(1))), 0.5, true, want,
                                module_state.normal_cache_lock));
    {
        CriticalSectionGuard guard(module_state.normal_cache_lock);
        normal_cache_reset();
    }
    Vec3 N;
    ASSERT_TRUE(smoothed_normal(&static_cast<const LWShaderAccess &>(built.spot(fake::item_id(2))), 0.5, true, N,
                                module_state.normal_cache_lock));

    g_scan_entered = false;
    g_scan_released = false;
    g_plain_scan = slow.mesh.record.scanPolys;
    slow.mesh.record.scanPolys = held_scan;
    Vec3 slow_N;
    bool slow_ok = false;
    std::thread builder([&] {
        const LWShaderAccess spot = slow.spot(fake::item_id(1));
        slow_ok = smoothed_normal(&spot, 0.5, true, slow_N, module_state.normal_cache_lock);
    });
    while (!g_scan_entered) std::this_thread::yield();

    auto others = std::async(std::launch::async, [&] {
        Vec3 a, b;
        const LWShaderAccess on_built = built.spot(fake::item_id(2));
        const LWShaderAccess on_fresh = fresh.spot(fake::item_id(3));
        return smoothed_normal(&on_built, 0.5, true, a, module_state.normal_cache_lock) &&
               smoothed_normal(&on_fresh, 0.5, true, b, module_state.normal_cache_lock) && a.y > 0.0 && b.y > 0.0;
    });
    const bool finished = others.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    g_scan_released = true;
    builder.join();
    EXPECT_TRUE(finished) << "a spot of another object waited for the build";
    EXPECT_TRUE(others.get());
    ASSERT_TRUE(slow_ok);
    EXPECT_EQ(slow_N, want);
    slow.mesh.record.scanPolys = g_plain_scan;
}

}  // namespace
}  // namespace ormel
