#include "render/ray_caster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "refhost/host.h"
#include "refhost/render_services.h"
#include "refhost/vec3d_math.h"

namespace render {
namespace {

constexpr double kPi = 3.14159265358979323846;

using namespace vmath;

// A horizontal square at height y facing up, split into n × n quads sharing their points.
Item &add_grid(Scene &scene, const std::string &name, float half, int n, float y) {
    Item &object = scene.add_object(name, name + ".lwo");
    scene.add_surface(object, name);
    Mesh &mesh = object.add_layer(0).mesh;
    std::vector<std::vector<Point *>> p(n + 1, std::vector<Point *>(n + 1));
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j)
            p[i][j] = mesh.add_point(-half + 2 * half * i / n, y, -half + 2 * half * j / n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) mesh.add_polygon({p[i][j], p[i][j + 1], p[i + 1][j + 1], p[i + 1][j]}, name);
    return object;
}

// An axis-aligned box with outward-facing quads.
Item &add_box(Scene &scene, const std::string &name, Vec3d lo, Vec3d hi) {
    Item &object = scene.add_object(name, name + ".lwo");
    scene.add_surface(object, name);
    Mesh &mesh = object.add_layer(0).mesh;
    Point *c[2][2][2];
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            for (int k = 0; k < 2; ++k)
                c[i][j][k] = mesh.add_point(static_cast<float>(i ? hi.x : lo.x), static_cast<float>(j ? hi.y : lo.y),
                                            static_cast<float>(k ? hi.z : lo.z));
    mesh.add_polygon({c[0][1][0], c[0][1][1], c[1][1][1], c[1][1][0]}, name);  // top, +y
    mesh.add_polygon({c[0][0][0], c[1][0][0], c[1][0][1], c[0][0][1]}, name);  // bottom, -y
    mesh.add_polygon({c[1][0][0], c[1][1][0], c[1][1][1], c[1][0][1]}, name);  // +x
    mesh.add_polygon({c[0][0][0], c[0][0][1], c[0][1][1], c[0][1][0]}, name);  // -x
    mesh.add_polygon({c[0][0][1], c[1][0][1], c[1][1][1], c[0][1][1]}, name);  // +z
    mesh.add_polygon({c[0][0][0], c[0][1][0], c[1][1][0], c[1][0][0]}, name);  // -z
    return object;
}

class RayCasterTest : public ::testing::Test {
protected:
    void SetUp() override {
        install_render_services(host);
        floor = &add_grid(scene, "Floor", 10.0f, 4, 0.0f);
        box = &add_box(scene, "Box", {-1, 0, -1}, {1, 2, 1});
    }

    Host host;
    Scene &scene = host.scene();
    Item *floor = nullptr;
    Item *box = nullptr;
};

TEST_F(RayCasterTest, CastsAgainstBoxAndFloorAtKnownDistances) {
    RayCaster caster(scene);
    EXPECT_EQ(caster.triangle_count(), 4u * 4u * 2u + 6u * 2u);
    EXPECT_DOUBLE_EQ(caster.cast({0.25, 10, 0.5}, {0, -1, 0}), 8.0);    // box top
    EXPECT_DOUBLE_EQ(caster.cast({5, 10, 5}, {0, -1, 0}), 10.0);        // floor
    EXPECT_DOUBLE_EQ(caster.cast({0.5, 1.5, -6}, {0, 0, 1}), 5.0);      // box side
    EXPECT_DOUBLE_EQ(caster.cast({5, 10, 5}, {0, -3, 0}), 10.0);        // direction length ignored
    EXPECT_NEAR(caster.cast({-4, 4, 0}, {1, -1, 0}), 3.0 * std::sqrt(2.0), 1e-12);  // box's -x face at (-1, 1)
    EXPECT_EQ(caster.cast({5, 10, 5}, {0, 1, 0}), -1.0);                // into the sky
    EXPECT_EQ(caster.cast({20, 1, 0}, {1, 0, 0}), -1.0);
    EXPECT_EQ(caster.cast({0, 1, 0}, {0, 0, 0}), -1.0);                 // no direction
    EXPECT_EQ(caster.cast({0, 0.5, 0}, {0, 1, 0}), 1.5);                // from inside the box
    // Without a current caster the host functions miss.
    const double pos[3] = {5, 10, 5}, down[3] = {0, -1, 0};
    EXPECT_EQ(RayCaster::ray_cast(pos, down), -1.0);
    RayCaster::Scope scope(caster);
    EXPECT_EQ(RayCaster::ray_cast(pos, down), 10.0);
}

// Rays aimed exactly at the grid's edges and corners, and at the diagonals that split its
// quads, must hit: none may slip between two triangles.
TEST_F(RayCasterTest, RaysAimedAtSharedEdgesDoNotSlipThrough) {
    Scene open;
    add_grid(open, "Grid", 4.0f, 8, 0.0f);
    RayCaster caster(open);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> along(-4.0, 4.0), tilt(-0.7, 0.7);
    int misses = 0, rays = 0;
    for (int n = 0; n < 3000; ++n) {
        const double line = -4.0 + (n % 9);  // a grid line: points at x or z = -4 .. 4
        const double s = along(rng);
        Vec3d target;
        switch (n % 4) {
        case 0: target = {line, 0, s}; break;
        case 1: target = {s, 0, line}; break;
        case 2: target = {line, 0, -4.0 + ((n / 9) % 9)}; break;  // a grid point
        default: {  // the diagonal of a quad from its corner 0 to corner 2
            const double cell = -4.0 + (n / 4) % 8, f = (s + 4.0) / 8.0;
            target = {cell + f, 0, cell + f};
        }
        }
        if (std::fabs(target.x) >= 4.0 || std::fabs(target.z) >= 4.0) continue;  // the outer rim
        const Vec3d dir = normalized({tilt(rng), -1.0, tilt(rng)});
        const double h = 3.0;
        const Vec3d origin = sub(target, mul(h, dir));
        ++rays;
        if (caster.cast(origin, dir) < 0.0) ++misses;
    }
    EXPECT_GT(rays, 2000);
    EXPECT_EQ(misses, 0);
}

// A ray leaving a point on a surface, even at a grazing angle, does not hit the surface it
// starts on, its coplanar neighbours, or the polygons meeting at an edge it starts on.
TEST_F(RayCasterTest, NoSelfHitFromPointsOnSurfaces) {
    // A tilted grid off the origin: its points are nowhere exact in float.
    Scene open;
    Item &tilted = add_grid(open, "Tilted", 3.0f, 6, 0.0f);
    tilted.motion.rotation.set({0.3, 0.7, 0.2});
    tilted.motion.position.set({0.1, 0.37, -0.23});
    RayCaster caster(open);
    const auto g = build_object_geometry(open, tilted, 0.0);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int self_hits = 0;
    for (int n = 0; n < 3000; ++n) {
        const int polygon = static_cast<int>(unit(rng) * 36) % 36;
        const Polygon &quad = *g->polygons[polygon];
        // Inside a quad, on one of its edges, or at a corner.
        double u = unit(rng), v = unit(rng) * (1.0 - u);
        if (n % 4 == 1) v = 0.0;
        if (n % 8 == 3) u = v = 0.0;
        const Vec3d p0 = g->position(quad.vertices[0]), p1 = g->position(quad.vertices[1]),
                    p2 = g->position(quad.vertices[2]);
        const Vec3d p = add(add(mul(1.0 - u - v, p0), mul(u, p1)), mul(v, p2));
        // Either side, from 0.5 degrees off the surface to along its normal.
        const Vec3d n0 = g->facet_normal[polygon];
        const Vec3d t1 = normalized(sub(p1, p0)), t2 = cross(n0, t1);
        const double elevation = 0.008726646259971648 + (kPi / 2 - 0.0088) * unit(rng);
        const double azimuth = 2.0 * kPi * unit(rng);
        const double side = n % 2 ? 1.0 : -1.0;
        const Vec3d dir = add(mul(side * std::sin(elevation), n0),
                              mul(std::cos(elevation), add(mul(std::cos(azimuth), t1), mul(std::sin(azimuth), t2))));
        if (caster.cast(p, dir) >= 0.0) ++self_hits;
    }
    EXPECT_EQ(self_hits, 0);
}

TEST_F(RayCasterTest, RaysFromSurfacesStillSeeTheirNeighbours) {
    RayCaster caster(scene);
    // From the box's top edge, up and outwards: nothing. From its side, into the floor.
    EXPECT_EQ(caster.cast({1, 2, 0}, {1, 1, 0}), -1.0);
    EXPECT_NEAR(caster.cast({1, 1, 0}, {1, -1, 0}), std::sqrt(2.0), 1e-12);
    // From the floor towards the box, however close.
    EXPECT_DOUBLE_EQ(caster.cast({3, 0, 0}, {-1, 0, 0}), 2.0);
    EXPECT_NEAR(caster.cast({3, 0, 0}, {-1, 1, 0}), 2.0 * std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(caster.cast({1.001, 0, 0.3}, {-1, 1, 0}), 0.001 * std::sqrt(2.0), 1e-12);
}

// Stepping through a hit and casting again, as a shader scanning for its own object does,
// finds the next surface rather than the one just crossed.
TEST_F(RayCasterTest, SteppingPastAHitFindsTheNextSurface) {
    box->motion.position.set({0, 0.5, 0});  // floating: 0.5 .. 2.5
    RayCaster caster(scene);
    Vec3d q{0.25, 10, 0.5};
    const Vec3d down{0, -1, 0};
    std::vector<double> hits;
    for (int step = 0; step < 5; ++step) {
        const double d = caster.cast(q, down);
        if (d < 0.0) break;
        hits.push_back(d);
        q = add(q, mul(d + 1e-6, down));
    }
    ASSERT_EQ(hits.size(), 3u);  // box top, box bottom, floor
    EXPECT_DOUBLE_EQ(hits[0], 7.5);
    EXPECT_NEAR(hits[1], 2.0 - 1e-6, 1e-12);
    EXPECT_NEAR(hits[2], 0.5 - 1e-6, 1e-12);
    EXPECT_NEAR(q.y, -1e-6, 1e-12);  // each step lands 1e-6 past the surface it met
}

TEST_F(RayCasterTest, FollowsTheSceneTimeAndDeformation) {
    box->motion.position.keys = {{0.0, {0, 0, 0}}, {1.0, {0, 3, 0}}};
    RayCaster caster(scene);
    EXPECT_DOUBLE_EQ(caster.cast({0.25, 10, 0.5}, {0, -1, 0}), 8.0);
    scene.current_time = 1.0;
    EXPECT_DOUBLE_EQ(caster.cast({0.25, 10, 0.5}, {0, -1, 0}), 5.0);
    // Deformation moves the points themselves; the caster picks it up once told.
    for (auto &p : box->layer(0)->mesh.points) p->deform[1] = 1.0f;
    caster.invalidate();
    EXPECT_DOUBLE_EQ(caster.cast({0.25, 10, 0.5}, {0, -1, 0}), 4.0);
}

// Across times, objects that stayed in place are reused and only moved ones are made
// again: every ray hits what a caster built from scratch at that time hits, to the bit,
// and a thread still on the earlier structure keeps working.
TEST_F(RayCasterTest, ReusesWhatStayedInPlaceAndThreadsHitAsAFreshBuildDoes) {
    box->motion.position.keys = {{0.0, {0, 0, 0}}, {1.0, {2, 0, 0}}};
    Item &still = add_box(scene, "Still", {4, 0, 4}, {5, 1, 5});
    (void)still;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> along(-6.0, 6.0);
    std::vector<std::pair<Vec3d, Vec3d>> rays;
    for (int i = 0; i < 400; ++i) rays.push_back({{along(rng), 8.0, along(rng)}, {along(rng) * 0.1, -1.0, along(rng) * 0.1}});

    RayCaster reused(scene);
    // Later moves refit the moved object's scene of the move before the last.
    const double times[] = {0.0, 0.5, 0.5, 1.0, 2.0, 0.0, 0.25, 1.5, 1.5, 0.75};
    for (double t : times) {
        scene.current_time = t;
        RayCaster fresh(scene);
        int hits = 0;
        for (const auto &r : rays) {
            RayCaster::Hit a, b;
            const bool ha = reused.intersect(r.first, r.second, 1e30, a);
            const bool hb = fresh.intersect(r.first, r.second, 1e30, b);
            ASSERT_EQ(ha, hb) << "time " << t;
            if (!ha) continue;
            ++hits;
            EXPECT_EQ(a.distance, b.distance);
            EXPECT_EQ(a.polygon, b.polygon);
            EXPECT_EQ(a.geometry->object, b.geometry->object);
            EXPECT_EQ(a.spot.u, b.spot.u);
        }
        EXPECT_GT(hits, 300) << "time " << t;
        EXPECT_EQ(reused.triangle_count(), fresh.triangle_count());
    }

    // A thread that took the structure of one time goes on with it while another thread
    // moves the caster to another time.
    scene.current_time = 0.0;
    EXPECT_DOUBLE_EQ(reused.cast({0.25, 10, 0.5}, {0, -1, 0}), 8.0);
    std::thread other([&] { EXPECT_DOUBLE_EQ(reused.cast({4.5, 10, 4.5}, {0, -1, 0}), 9.0); });
    other.join();
}

struct ShaderLog {
    int calls = 0;
    std::thread::id thread;
    LWShaderAccess seen{};
    double inner_cast = -2.0;
    LWShaderAccess *last = nullptr;
};

void recording_evaluate(LWInstance instance, LWShaderAccess *sa) {
    ShaderLog *log = static_cast<ShaderLog *>(instance);
    ++log->calls;
    log->thread = std::this_thread::get_id();
    log->seen = *sa;
    log->last = sa;
    // Re-entry: the shader casts a ray of its own, straight up from the spot.
    const double up[3] = {0, 1, 0};
    log->inner_cast = sa->rayCast(sa->wPos, up);
    sa->color[0] = 0.125;  // shaders may change the spot
}

void overreaching_evaluate(LWInstance, LWShaderAccess *sa) {
    sa->diffuse = 0.25;
    sa->specular = 0.75;
    sa->luminous = 0.5;
    sa->wNorm[0] = 1.0;
    sa->bumpHeight = 3.0;
    sa->color[2] = 0.0;
}

TEST_F(RayCasterTest, ShadersChangeOnlyTheFieldsTheirFlagsDeclare) {
    LWShaderHandler handler{};
    handler.evaluate = overreaching_evaluate;
    handler.flags = [](LWInstance) -> unsigned int { return LWSHF_DIFFUSE | LWSHF_NORMAL; };
    floor->surfaces[0]->shaders.push_back({&handler, nullptr});
    RayCaster caster(scene);
    SpotRecord record;
    LWShaderAccess &hit = record.access;
    ASSERT_GT(caster.shade({1, 5, 1}, {0, -1, 0}, &hit), 0.0);
    EXPECT_EQ(hit.diffuse, 0.25);      // declared
    EXPECT_EQ(hit.wNorm[0], 1.0);      // declared, with the bump height
    EXPECT_EQ(hit.bumpHeight, 3.0);
    EXPECT_NE(hit.specular, 0.75);     // not declared: the host keeps its own values
    EXPECT_EQ(hit.luminous, 0.0);
    EXPECT_EQ(hit.color[2], floor->surfaces[0]->values.color[2]);
}

TEST_F(RayCasterTest, RayShadeFillsTheHitRecordAndRunsTheSurfaceShader) {
    ShaderLog log;
    LWShaderHandler handler{};
    handler.evaluate = recording_evaluate;
    handler.flags = [](LWInstance) -> unsigned int { return LWSHF_COLOR; };
    Surface &floor_surface = *floor->surfaces[0];
    floor_surface.values.color[1] = 0.5;
    floor_surface.values.diffuse = 0.75;
    floor_surface.values.specular = 0.25;
    floor_surface.values.reflection = 0.5;
    floor_surface.shaders.push_back({&handler, &log});
    floor->motion.scale.set({2.0, 2.0, 2.0});  // world floor spans -20 .. 20

    RayCaster caster(scene);
    RayCaster::Scope scope(caster);
    SpotRecord record;
    LWShaderAccess &hit = record.access;
    const double from[3] = {7, 6, 3}, dir[3] = {0, -0.6, 0.8};  // hits the floor at (7, 0, 11)
    const double d = RayCaster::ray_shade(from, dir, &hit);
    ASSERT_DOUBLE_EQ(d, 10.0);

    EXPECT_EQ(hit.objID, to_id(floor));
    EXPECT_NEAR(hit.wPos[0], 7.0, 1e-12);
    EXPECT_NEAR(hit.wPos[1], 0.0, 1e-12);
    EXPECT_NEAR(hit.wPos[2], 11.0, 1e-12);
    EXPECT_NEAR(hit.oPos[0], 3.5, 1e-12);  // the unscaled object
    EXPECT_NEAR(hit.oPos[2], 5.5, 1e-12);
    EXPECT_EQ(hit.gNorm[1], 1.0);
    EXPECT_EQ(hit.wNorm0[1], 1.0);
    EXPECT_EQ(hit.wNorm[1], 1.0);
    EXPECT_NEAR(hit.cosine, 0.6, 1e-12);
    EXPECT_EQ(hit.rayLength, 10.0);
    EXPECT_EQ(hit.raySource[1], 6.0);
    EXPECT_GT(hit.spotSize, 0.0);
    EXPECT_EQ(hit.oXfrm[0], 2.0);   // object to world: scale 2
    EXPECT_EQ(hit.wXfrm[4], 0.5);   // world to object
    // The quad under (3.5, 5.5) in the object: cell (2, 3) of the 4 × 4 grid of 5-unit cells.
    const Polygon *quad = floor->layer(0)->mesh.polygons[2 * 4 + 3].get();
    EXPECT_EQ(hit.polygon, to_id(quad));
    EXPECT_EQ(hit.polNum, 2 * 4 + 3);
    double weight_sum = 0.0, x = 0.0, z = 0.0;
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(hit.verts[k], to_id(quad->vertices[k]));
        EXPECT_GE(hit.weights[k], 0.0f);
        weight_sum += static_cast<double>(hit.weights[k]);
        x += static_cast<double>(hit.weights[k]) * static_cast<double>(hit.vertsWPos[k][0]);
        z += static_cast<double>(hit.weights[k]) * static_cast<double>(hit.vertsWPos[k][2]);
    }
    EXPECT_NEAR(weight_sum, 1.0, 1e-6);
    EXPECT_NEAR(x, 7.0, 1e-5);
    EXPECT_NEAR(z, 11.0, 1e-5);
    EXPECT_EQ(hit.diffuse, 0.75);
    EXPECT_EQ(hit.specular, 0.25);
    EXPECT_EQ(hit.mirror, 0.5);
    EXPECT_EQ(hit.color[1], 0.5);
    EXPECT_EQ(hit.bumpHeight, 0.0);
    EXPECT_EQ(hit.rayCast, &RayCaster::ray_cast);
    EXPECT_EQ(hit.rayShade, &RayCaster::ray_shade);
    EXPECT_EQ(hit.rayTrace, &RayCaster::ray_trace);
    EXPECT_EQ(hit.illuminate, &RayCaster::ray_illuminate);

    // The shader ran once, on this thread, on the record handed in, after it was filled.
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.thread, std::this_thread::get_id());
    EXPECT_EQ(log.last, &hit);
    EXPECT_EQ(log.seen.objID, to_id(floor));
    EXPECT_EQ(log.seen.color[0], floor_surface.values.color[0]);
    EXPECT_EQ(hit.color[0], 0.125);
    EXPECT_EQ(log.inner_cast, -1.0);  // open sky above (7, 0, 11)

    // A miss leaves the record alone and runs no shader.
    const double up[3] = {0, 1, 0};
    hit.objID = nullptr;
    EXPECT_EQ(RayCaster::ray_shade(from, up, &hit), -1.0);
    EXPECT_EQ(hit.objID, nullptr);
    EXPECT_EQ(log.calls, 1);
}

// A shader that shades its own rays runs nested, up to the depth limit, then stops.
void recursive_evaluate(LWInstance instance, LWShaderAccess *sa) {
    int *calls = static_cast<int *>(instance);
    ++*calls;
    SpotRecord inner;
    const double down[3] = {0, -1, 0};
    const double from[3] = {sa->wPos[0], sa->wPos[1] + 1.0, sa->wPos[2]};
    sa->rayShade(from, down, &inner.access);
}

TEST_F(RayCasterTest, NestedShadingStopsAtTheDepthLimit) {
    int calls = 0;
    LWShaderHandler handler{};
    handler.evaluate = recursive_evaluate;
    floor->surfaces[0]->shaders.push_back({&handler, &calls});
    RayCaster caster(scene);
    caster.max_shade_depth = 5;
    SpotRecord record;
    LWShaderAccess &hit = record.access;
    EXPECT_EQ(caster.shade({5, 3, 5}, {0, -1, 0}, &hit), 3.0);
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(hit.bounces, 0);
}

TEST_F(RayCasterTest, IlluminateIsZeroInShadowAndOutsideTheCone) {
    RayCaster caster(scene);
    Item &sun = scene.add_light("Sun", LWLIGHT_DISTANT);
    sun.motion.rotation.set({0, kPi / 2, 0});  // pitched straight down
    sun.light.color = {1.0, 0.5, 0.25};
    sun.light.intensity = 2.0;
    double dir[3], color[3];
    EXPECT_EQ(caster.illuminate(to_id(&sun), {5, 0, 5}, dir, color), 1);
    EXPECT_NEAR(dir[1], -1.0, 1e-12);
    EXPECT_EQ(color[0], 2.0);
    EXPECT_EQ(color[2], 0.5);
    EXPECT_EQ(caster.illuminate(to_id(&sun), {0.5, 0, 0.5}, dir, color), 0);  // under the box
    EXPECT_EQ(color[0], 0.0);
    EXPECT_EQ(caster.illuminate(to_id(&sun), {0.5, 2, 0.5}, dir, color), 1);  // on the box top

    Item &bulb = scene.add_light("Bulb", LWLIGHT_POINT);
    bulb.motion.position.set({0, 5, 0});
    EXPECT_EQ(caster.illuminate(to_id(&bulb), {0, 2, 0}, dir, color), 1);
    EXPECT_EQ(caster.illuminate(to_id(&bulb), {1.5, 0, 0}, dir, color), 0);  // the box is between
    EXPECT_EQ(caster.illuminate(to_id(&bulb), {6, 0, 0}, dir, color), 1);
    EXPECT_NEAR(dir[0], 6.0 / std::sqrt(61.0), 1e-12);
    EXPECT_NEAR(dir[1], -5.0 / std::sqrt(61.0), 1e-12);

    Item &spot = scene.add_light("Spot", LWLIGHT_SPOT);
    spot.motion.position.set({5, 10, 5});
    spot.motion.rotation.set({0, kPi / 2, 0});
    spot.light.cone_angle = 0.2;
    spot.light.cone_edge = 0.0;
    EXPECT_EQ(caster.illuminate(to_id(&spot), {5, 0, 6}, dir, color), 1);   // 0.1 rad off axis
    EXPECT_EQ(caster.illuminate(to_id(&spot), {5, 0, 8}, dir, color), 0);   // 0.29 rad
    EXPECT_EQ(caster.illuminate(to_id(floor), {5, 0, 6}, dir, color), 0);   // not a light
    EXPECT_EQ(caster.illuminate(LWITEM_RADIOSITY, {5, 0, 6}, dir, color), 0);
}

TEST_F(RayCasterTest, TraceLightsTheHitAndShowsTheBackdropOnAMiss) {
    scene.backdrop_color = {0.1, 0.2, 0.3};
    scene.ambient_intensity = 0.0;
    Item &sun = scene.add_light("Sun", LWLIGHT_DISTANT);
    sun.motion.rotation.set({0, kPi / 2, 0});
    floor->surfaces[0]->values.color[0] = 0.5;
    floor->surfaces[0]->values.diffuse = 1.0;
    RayCaster caster(scene);
    double color[3];
    EXPECT_EQ(caster.trace({5, 1, 5}, {0, 1, 0}, color), -1.0);
    EXPECT_EQ(color[2], 0.3);
    EXPECT_EQ(caster.trace({5, 1, 5}, {0, -1, 0}, color), 1.0);
    EXPECT_DOUBLE_EQ(color[0], 0.5);  // colour × diffuse × light × cos 0
    EXPECT_EQ(caster.trace({0.5, -1, 0.5}, {0, 1, 0}, color), 1.0);  // the shadowed underside
    EXPECT_DOUBLE_EQ(color[0], 0.0);
}

// What a shader writes after the host filled the spot: any finite values.
struct ExtremeSpot {
    double color, diffuse, specular, mirror, luminous;
};

void extreme_evaluate(LWInstance inst, LWShaderAccess *sa) {
    const auto *v = static_cast<const ExtremeSpot *>(inst);
    for (double &c : sa->color) c = v->color;
    sa->diffuse = v->diffuse;
    sa->specular = v->specular;
    sa->mirror = v->mirror;
    sa->luminous = v->luminous;
}

// The host's shading stays finite whatever finite values shaders, lights and the ambient
// light bring: a product of huge values must not overflow to an infinity, nor a sum of
// opposite infinities to NaN. Where every contribution is positive the result is bright.
TEST_F(RayCasterTest, TraceStaysFiniteWhateverFiniteValuesItShades) {
    Item &sun = scene.add_light("Sun", LWLIGHT_DISTANT);
    sun.motion.rotation.set({0, kPi / 2, 0});
    Item &lamp = scene.add_light("Lamp", LWLIGHT_POINT);
    lamp.motion.position.set({0, 5, 0});
    box->surfaces[0]->values.reflection = 0.5;  // the floor's mirror sees the box
    LWShaderHandler handler{};
    handler.evaluate = extreme_evaluate;
    handler.flags = [](LWInstance) -> unsigned int {
        return LWSHF_COLOR | LWSHF_DIFFUSE | LWSHF_SPECULAR | LWSHF_MIRROR | LWSHF_LUMINOUS;
    };
    const double big = 1e308;
    const ExtremeSpot spots[] = {
        {big, big, big, 0.0, big},    {big, -big, big, 0.0, -big}, {-big, big, -big, 0.0, big},
        {big, big, big, big, big},    {big, big, -big, -big, 0.0}, {0.5, 0.5, 0.5, big, 0.0},
        {0.5, 0.5, 0.5, -big, 0.0},   {4.9e-324, big, big, 0.5, 0.0},
    };
    const struct {
        double light, ambient;
    } scenes[] = {{1.0, 0.1}, {big, big}, {-big, big}};
    for (const auto &lights : scenes) {
        sun.light.intensity = lamp.light.intensity = lights.light;
        sun.light.color = {big, big, big};
        scene.ambient_intensity = lights.ambient;
        for (const ExtremeSpot &spot : spots) {
            floor->surfaces[0]->shaders = {{&handler, const_cast<ExtremeSpot *>(&spot)}};
            RayCaster caster(scene);
            double color[3];
            ASSERT_GT(caster.trace({5, 1, 5}, {-1, -1, 0}, color), 0.0);
            for (double c : color) EXPECT_TRUE(std::isfinite(c)) << spot.color << " " << spot.diffuse << " " << lights.light;
            if (spot.color > 0 && spot.diffuse > 0 && spot.specular >= 0 && spot.mirror == 0 && spot.luminous >= 0 &&
                lights.light > 0) {
                EXPECT_GE(color[0], 1.0);
            }
        }
    }
    double dir[3], color[3];
    RayCaster caster(scene);
    ASSERT_EQ(caster.illuminate(to_id(&sun), {5, 0.5, 5}, dir, color), 1);
    for (double c : color) EXPECT_TRUE(std::isfinite(c));
}

// Render threads share one caster, each setting it as its current one; the first rays
// build the structure while others wait for it.
TEST_F(RayCasterTest, ThreadsCastThroughTheirCurrentCaster) {
    RayCaster caster(scene);
    std::vector<double> expected;
    for (int i = 0; i < 64; ++i) expected.push_back(i % 2 ? 10.0 : 8.0);
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            RayCaster::Scope scope(caster);
            for (int i = 0; i < 64; ++i) {
                const double pos[3] = {i % 2 ? 5.0 : 0.25, 10.0, 0.5}, down[3] = {0, -1, 0};
                if (RayCaster::ray_cast(pos, down) != expected[i]) ++wrong[t];
            }
        });
    }
    for (auto &th : threads) th.join();
    for (int w : wrong) EXPECT_EQ(w, 0);
    EXPECT_EQ(RayCaster::current(), nullptr);
}

}  // namespace
}  // namespace render
