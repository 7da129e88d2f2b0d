#include "shading/evaluate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>

#include "common/platform.h"
#include "shading/noise.h"
#include "tests/support/shading_fakes.h"

namespace ormel {
namespace {

// An axis-aligned plane x = position belonging to an item.
struct Wall {
    double x;
    LWItemID item;
};

// The nearest wall ahead of the ray, or -1.
double trace_walls(const std::vector<Wall> &walls, const double *o, const double *d, LWItemID *hit) {
    double best = -1.0;
    for (const Wall &w : walls) {
        if (d[0] == 0.0) continue;
        const double t = (w.x - o[0]) / d[0];
        if (t > 0.0 && (best < 0.0 || t < best)) {
            best = t;
            *hit = w.item;
        }
    }
    return best;
}

// The frame about N in which the directions are expected: D = cos t N + sin t (cos p U + sin p V).
struct Frame {
    Vec3 N, U, V;
};

// The directions a spot should cast, drawn from the noise along the documented walk.
std::vector<Vec3> expected_directions(const DirtInstance &in, const double oPos[3], const Frame &f) {
    const double s = in.sample_scale;
    Vec3 P, O;
    if (s != 0.0) {
        P = Vec3(oPos[0] / s, oPos[1] / s, oPos[2] / s);
        O = Vec3(12.3 / s, 45.6 / s, 78.9 / s);
    }
    std::vector<Vec3> out;
    for (int i = 0; i < in.sample_itr; ++i) {
        for (int j = 0; j < in.sample_count; ++j) {
            const double u = (gradient_noise(P) + 1) * 0.5;
            P = P + O;
            const double v = (gradient_noise(P) + 1) * 0.5;
            P = P + O;
            double t = (u - 0.5) * (2 * in.sample_jitter) + in.sample_theta;
            t = std::min(std::max(t, 0.008726646259971648), 1.562069680534925);
            const double p = (j + v) * 6.283185307179586 / in.sample_count;
            out.push_back(std::cos(t) * f.N + std::sin(t) * (std::cos(p) * f.U + std::sin(p) * f.V));
        }
    }
    return out;
}

constexpr double kDeg = 3.141592653589793 / 180.0;

struct Evaluate : ::testing::Test {
    fake::Installed host;
    fake::TestInstance t;
    fake::Mesh floor;
    std::vector<Wall> walls;
    LWShaderAccess spot;
    const Frame up{Vec3(0, 1, 0), Vec3(0, 0, -1), Vec3(-1, 0, 0)};

    Evaluate() {
        // A floor in the y = 0 plane facing up, object 1.
        const int a = floor.point(-10, 0, -10), b = floor.point(-10, 0, 10), c = floor.point(10, 0, 10),
                  d = floor.point(10, 0, -10);
        const int quad = floor.polygon({a, b, c, d});
        host.add_object(fake::item_id(1), &floor);
        host.add_object(fake::item_id(2), nullptr);
        spot = fake::make_spot(fake::item_id(1), fake::polygon_id(quad), Vec3(0.237, 0, -0.311), Vec3(0, 1, 0));
        const int corners[4] = {a, b, c, d};
        for (int k = 0; k < 4; ++k) {
            spot.verts[k] = fake::point_id(corners[k]);
            spot.weights[k] = 0.25f;
        }
        host->trace = [this](const double *o, const double *d, LWItemID *hit) {
            return trace_walls(walls, o, d, hit);
        };
    }

    void evaluate(LWShaderAccess &a) { dirt::evaluate(t.handle(), &a); }

    void expect_rays(const std::vector<Vec3> &want, const LWShaderAccess &from) {
        ASSERT_EQ(host->rays.size(), want.size());
        for (size_t r = 0; r < want.size(); ++r) {
            const fake::Ray &ray = host->rays[r];
            EXPECT_EQ(Vec3(ray.origin), Vec3(from.wPos)) << r;
            EXPECT_NEAR(ray.direction[0], want[r].x, 1e-12) << r;
            EXPECT_NEAR(ray.direction[1], want[r].y, 1e-12) << r;
            EXPECT_NEAR(ray.direction[2], want[r].z, 1e-12) << r;
        }
    }

    static double weight(double ratio, double falloff, double amount) {
        return (1.0 - std::pow(ratio, falloff)) * amount;
    }
    static double mix(double channel, double w, double dirt) { return (1.0 - w) * channel + w * dirt; }
};

TEST_F(Evaluate, DefaultRaysFollowTheNoiseAboutTheNormal) {
    // The host's normal leans; the flat floor's own facet normal is what the rays follow.
    spot.wNorm0[0] = 0.3;
    evaluate(spot);
    expect_rays(expected_directions(t.inst, spot.oPos, up), spot);
    for (const fake::Ray &ray : host->rays) {
        EXPECT_FALSE(ray.shade);
        // Within the jitter of 60 degrees from the normal.
        EXPECT_GT(ray.direction[1], std::cos(80 * kDeg) - 1e-12);
        EXPECT_LT(ray.direction[1], std::cos(40 * kDeg) + 1e-12);
    }
    // Width and falloff are read first, without the spot, at render time.
    ASSERT_GE(host->reads.size(), 2u);
    EXPECT_EQ(host->reads[0].param, &t.width);
    EXPECT_FALSE(host->reads[0].with_spot);
    EXPECT_EQ(host->reads[1].param, &t.falloff);
    EXPECT_FALSE(host->reads[1].with_spot);

    // The same spot casts the same rays again.
    const std::vector<fake::Ray> first = host->rays;
    host->rays.clear();
    evaluate(spot);
    ASSERT_EQ(host->rays.size(), first.size());
    for (size_t r = 0; r < first.size(); ++r)
        EXPECT_EQ(Vec3(host->rays[r].direction), Vec3(first[r].direction));
}

TEST_F(Evaluate, ZeroScaleCastsTheSamePatternAtEverySpot) {
    t.inst.sample_scale = 0.0;
    for (double x : {0.2, -3.7}) {
        host->rays.clear();
        spot.oPos[0] = spot.wPos[0] = x;
        evaluate(spot);
        std::vector<Vec3> want;
        for (int j = 0; j < 6; ++j) {
            const double p = (j + 0.5) * 6.283185307179586 / 6;
            const double th = t.inst.sample_theta;
            want.push_back(std::cos(th) * up.N + std::sin(th) * (std::cos(p) * up.U + std::sin(p) * up.V));
        }
        expect_rays(want, spot);
    }
}

TEST_F(Evaluate, SecondIterationDrawsFreshJitter) {
    t.inst.sample_itr = 2;
    evaluate(spot);
    expect_rays(expected_directions(t.inst, spot.oPos, up), spot);
    ASSERT_EQ(host->rays.size(), 12u);
    for (int j = 0; j < 6; ++j)
        EXPECT_NE(Vec3(host->rays[j].direction), Vec3(host->rays[j + 6].direction)) << j;
}

TEST_F(Evaluate, PolarAngleIsClampedAtBothEnds) {
    t.inst.sample_scale = 0.0;
    for (double theta : {1.7, -0.4}) {
        host->rays.clear();
        t.inst.sample_theta = theta;
        evaluate(spot);
        const double want = theta > 1 ? 1.562069680534925 : 0.008726646259971648;
        ASSERT_EQ(host->rays.size(), 6u);
        for (const fake::Ray &ray : host->rays) EXPECT_NEAR(ray.direction[1], std::cos(want), 1e-15);
    }
}

TEST_F(Evaluate, NormalFallsBackToTheHostsWhenNoMesh) {
    host->withhold_meshes = true;
    host->has_smoothing_angle = false;
    spot.wNorm0[0] = 0, spot.wNorm0[1] = 0, spot.wNorm0[2] = 2;
    evaluate(spot);
    // About +z the side axis is oXfrm's first column: U = (0, 1, 0), V = (-1, 0, 0).
    expect_rays(expected_directions(t.inst, spot.oPos, {Vec3(0, 0, 1), Vec3(0, 1, 0), Vec3(-1, 0, 0)}), spot);
}

TEST_F(Evaluate, NearestHitSetsTheRatio) {
    // A wall 0.1 to the +x side; the world transform doubles every distance.
    walls.push_back({0.3, fake::item_id(2)});
    for (int k = 0; k < 9; k += 4) spot.wXfrm[k] = 2.0;
    t.width.value[0] = 0.5;
    evaluate(spot);
    double nearest = 1e16;
    int hits = 0;
    for (const fake::Ray &ray : host->rays) {
        if (ray.direction[0] <= 0) continue;
        ++hits;
        const double d = (0.3 - spot.wPos[0]) / ray.direction[0];
        const Vec3 D(ray.direction);
        nearest = std::min(nearest, 2.0 * vec_length(d * D));
    }
    ASSERT_GT(hits, 0);
    ASSERT_LT(hits, 6) << "some rays miss and are dropped";
    EXPECT_NEAR(spot.diffuse, mix(0.8, weight(nearest / 0.5, 0.5, 1.0), 0.5), 1e-12);
    EXPECT_LT(spot.diffuse, 0.8);
}

TEST_F(Evaluate, NothingToSampleLeavesTheSpotUnchanged) {
    const LWShaderAccess before = spot;
    evaluate(spot);  // no walls: every ray misses
    EXPECT_EQ(host->rays.size(), 6u);
    t.inst.sample_count = 0;
    walls.push_back({0.3, fake::item_id(2)});
    evaluate(spot);
    t.inst.sample_count = 6;
    t.inst.sample_itr = 0;
    evaluate(spot);
    EXPECT_EQ(host->rays.size(), 6u) << "zero counts cast nothing";
    EXPECT_EQ(std::memcmp(&spot, &before, sizeof spot), 0);
}

TEST_F(Evaluate, SelfObjectStepsPastForeignObjects) {
    t.inst.single_f = 1;
    t.inst.sample_scale = 0.0;
    walls.push_back({0.25, fake::item_id(2)});
    walls.push_back({0.3, fake::item_id(1)});
    t.width.value[0] = 1.0;
    // The flag word is 1 while each rayShade runs.
    std::vector<int32_t> flags_seen;
    host->trace = [&](const double *o, const double *d, LWItemID *hit) {
        std::lock_guard<std::mutex> lock(host->mutex);
        for (auto &chunk : host->chunks) flags_seen.push_back(chunk.second[0]);
        return trace_walls(walls, o, d, hit);
    };
    evaluate(spot);

    // Rays heading +x cross the foreign wall, then reach the own wall from just past it.
    double nearest = 1e16;
    size_t r = 0;
    int crossings = 0;
    while (r < host->rays.size()) {
        const fake::Ray &first = host->rays[r];
        EXPECT_TRUE(first.shade);
        EXPECT_EQ(Vec3(first.origin), Vec3(spot.wPos));
        const Vec3 D(first.direction);
        if (D.x <= 0) {
            ++r;
            continue;
        }
        ASSERT_LT(r + 1, host->rays.size());
        const fake::Ray &second = host->rays[r + 1];
        const double d1 = (0.25 - spot.wPos[0]) / D.x + 1e-6;
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(second.origin[k], spot.wPos[k] + d1 * D[k], 1e-15);
        EXPECT_EQ(Vec3(second.direction), D);
        const double d2 = (0.3 - second.origin[0]) / D.x + 1e-6;
        nearest = std::min(nearest, vec_length((d1 + d2) * D));
        ++crossings;
        r += 2;
    }
    EXPECT_EQ(crossings, 3);
    EXPECT_NEAR(spot.diffuse, mix(0.8, weight(nearest, 0.5, 1.0), 0.5), 1e-12);
    ASSERT_EQ(flags_seen.size(), host->rays.size());
    for (int32_t f : flags_seen) EXPECT_EQ(f, 1);
    ASSERT_EQ(host->chunks.size(), 1u);
    EXPECT_EQ(host->chunks.begin()->second[0], 0) << "cleared after each ray";
}

TEST_F(Evaluate, SelfObjectDropsRaysThatLeaveTheScene) {
    t.inst.single_f = 1;
    walls.push_back({0.25, fake::item_id(2)});
    const LWShaderAccess before = spot;
    evaluate(spot);
    EXPECT_GT(host->rays.size(), 6u) << "foreign hits were stepped past";
    EXPECT_EQ(std::memcmp(&spot, &before, sizeof spot), 0);
}

TEST_F(Evaluate, PlainModeCastsWithoutTheFlag) {
    walls.push_back({0.3, fake::item_id(2)});
    std::vector<int32_t> flags_seen;
    host->trace = [&](const double *o, const double *d, LWItemID *hit) {
        std::lock_guard<std::mutex> lock(host->mutex);
        for (auto &chunk : host->chunks) flags_seen.push_back(chunk.second[0]);
        return trace_walls(walls, o, d, hit);
    };
    evaluate(spot);
    ASSERT_EQ(flags_seen.size(), 6u);
    for (int32_t f : flags_seen) EXPECT_EQ(f, 0);
}

TEST_F(Evaluate, ItemOutsideTheSceneUsesItsHeight) {
    spot.objID = fake::item_id(9);
    spot.wPos[1] = -0.01;
    evaluate(spot);
    EXPECT_TRUE(host->rays.empty());
    EXPECT_EQ(spot.diffuse, mix(0.8, weight(0.01 / 0.05, 0.5, 1.0), 0.5));
}

TEST_F(Evaluate, SpotShadedInsideOwnRayIsLeftAlone) {
    t.inst.single_f = 1;
    t.inst.sample_scale = 0.0;
    t.width.value[0] = 1.0;
    walls.push_back({0.3, fake::item_id(1)});
    LWShaderAccess inner = fake::make_spot(fake::item_id(1), fake::polygon_id(0), Vec3(0.3, 0.1, 0), Vec3(-1, 0, 0));
    const LWShaderAccess inner_before = inner;
    int nested = 0;
    // The host shades the hit point on the same thread while the ray is traced.
    host->trace = [&](const double *o, const double *d, LWItemID *hit) {
        const double dist = trace_walls(walls, o, d, hit);
        if (dist >= 0) {
            ++nested;
            dirt::evaluate(t.handle(), &inner);
        }
        return dist;
    };
    evaluate(spot);
    ASSERT_EQ(nested, 3);
    EXPECT_EQ(host->rays.size(), 6u) << "only the outer spot's rays";
    EXPECT_EQ(std::memcmp(&inner, &inner_before, sizeof inner), 0);
    EXPECT_LT(spot.diffuse, 0.8);

    // Outside a ray the same inner spot is shaded normally.
    host->trace = [&](const double *o, const double *d, LWItemID *hit) { return trace_walls(walls, o, d, hit); };
    walls.push_back({0.2, fake::item_id(1)});
    dirt::evaluate(t.handle(), &inner);
    EXPECT_GT(host->rays.size(), 6u);
}

TEST_F(Evaluate, FlagChunkIsPerThreadAndZeroed) {
    char name[64];
    std::snprintf(name, sizeof name, "Ormel's ShaderLib:IsRayShade %08x", current_thread_number());
    walls.push_back({0.3, fake::item_id(2)});
    evaluate(spot);
    ASSERT_EQ(host->chunk_creates.size(), 1u);
    EXPECT_EQ(host->chunk_creates[0], name);
    EXPECT_EQ(host->chunks.at(name).size(), 1u) << "four bytes";
    EXPECT_EQ(host->chunks.at(name)[0], 0) << "created chunks are zeroed";
    EXPECT_EQ(host->rays.size(), 6u);
    evaluate(spot);
    EXPECT_EQ(host->chunk_creates.size(), 1u) << "found the second time";
    EXPECT_EQ(host->chunk_finds.size(), 2u);

    // Another plug-in sharing the flag has set it: the spot is left alone.
    LWShaderAccess other = spot;
    host->chunks.at(name)[0] = 1;
    evaluate(other);
    EXPECT_EQ(std::memcmp(&other, &spot, sizeof spot), 0);
    EXPECT_EQ(host->rays.size(), 12u);
}

// The chunk name follows the name asked for and the calling thread, however the calls
// alternate.
TEST_F(Evaluate, FlagChunkNameFollowsNameAndThread) {
    auto expected = [](const char *name, uint32_t thread) {
        char text[96];
        std::snprintf(text, sizeof text, "%s %08x", name, thread);
        return std::string(text);
    };
    const uint32_t me = current_thread_number();
    int32_t *a = render_thread_flag("Flag A", 4);
    int32_t *ab = render_thread_flag("Flag AB", 4);
    int32_t *a_again = render_thread_flag("Flag A", 4);
    int32_t *prefix = render_thread_flag("Flag", 4);
    ASSERT_TRUE(a && ab && prefix);
    EXPECT_EQ(a, a_again);
    EXPECT_NE(a, ab);
    EXPECT_NE(a, prefix);
    uint32_t other = 0;
    int32_t *a_other = nullptr;
    std::thread([&] {
        other = current_thread_number();
        a_other = render_thread_flag("Flag A", 4);
    }).join();
    EXPECT_NE(a_other, a);
    const std::vector<std::string> want = {expected("Flag A", me), expected("Flag AB", me), expected("Flag", me),
                                           expected("Flag A", other)};
    EXPECT_EQ(host->chunk_creates, want);
}

TEST_F(Evaluate, MissingPiecesLeaveTheSpotUnchanged) {
    walls.push_back({0.3, fake::item_id(2)});
    const LWShaderAccess before = spot;

    host->fail_chunk_create = true;
    evaluate(spot);
    host->fail_chunk_create = false;

    LWShaderAccess no_ray = spot;
    no_ray.rayShade = nullptr;
    evaluate(no_ray);

    shader_globals.scene_info = nullptr;
    evaluate(spot);
    EXPECT_TRUE(host->rays.empty());
    EXPECT_EQ(std::memcmp(&spot, &before, sizeof spot), 0);
    no_ray.rayShade = before.rayShade;
    EXPECT_EQ(std::memcmp(&no_ray, &before, sizeof spot), 0);
}

TEST_F(Evaluate, WidthIsTheEnvelopeTimesItsTexture) {
    t.inst.sample_scale = 0.0;
    walls.push_back({0.3, fake::item_id(2)});
    fake::Texture factor;
    factor.value[0] = 4.0;
    factor.value[1] = factor.value[2] = -1.0;  // only the first component counts
    t.width.texture = &factor;
    evaluate(spot);
    double nearest = 1e16;
    for (const fake::Ray &ray : host->rays)
        if (ray.direction[0] > 0) nearest = std::min(nearest, vec_length(((0.3 - spot.wPos[0]) / ray.direction[0]) * Vec3(ray.direction)));
    EXPECT_NEAR(spot.diffuse, mix(0.8, weight(nearest / 0.2, 0.5, 1.0), 0.5), 1e-12);

    // A negative width, from the envelope or the texture, has no finite weight.
    const LWShaderAccess before = spot;
    factor.value[0] = -4.0;
    evaluate(spot);
    factor.value[0] = 1.0;
    t.width.value[0] = -0.05;
    evaluate(spot);
    EXPECT_EQ(std::memcmp(&spot, &before, sizeof spot), 0);
}

// Spots on a floor between walls, shaded on several threads at once, come out exactly as on
// one thread: the cache build, the flags and the noise are shared safely.
TEST(EvaluateThreads, ManyThreadsGiveTheSameResultsAsOne) {
    fake::Installed host;
    fake::TestInstance t;
    fake::Mesh floor;
    const int a = floor.point(-1, 0, -1), b = floor.point(-1, 0, 1), c = floor.point(1, 0, 1),
              d = floor.point(1, 0, -1), e = floor.point(2, 1, 1), f = floor.point(2, 1, -1);
    const int quad = floor.polygon({a, b, c, d});
    floor.polygon({d, c, e, f});
    host.add_object(fake::item_id(1), &floor);
    host.add_object(fake::item_id(2), nullptr);
    host->record = false;
    host->smoothing_angle = 89 * kDeg;
    const std::vector<Wall> walls = {{0.15, fake::item_id(2)}, {0.3, fake::item_id(1)}};
    host->trace = [&walls](const double *o, const double *dd, LWItemID *hit) { return trace_walls(walls, o, dd, hit); };
    t.inst.use_color = t.inst.use_bump = 1;
    t.width.value[0] = 0.5;

    std::vector<LWShaderAccess> spots;
    for (int i = 0; i < 24; ++i) {
        LWShaderAccess s = fake::make_spot(fake::item_id(1), fake::polygon_id(quad),
                                           Vec3(-0.4 + 0.02 * i, 0, 0.01 * i), Vec3(0, 1, 0));
        const int corners[4] = {a, b, c, d};
        for (int k = 0; k < 4; ++k) {
            s.verts[k] = fake::point_id(corners[k]);
            s.weights[k] = 0.25f;
        }
        spots.push_back(s);
    }
    auto run = [&](int threads, int single_f) {
        {
            CriticalSectionGuard guard(module_state.normal_cache_lock);
            normal_cache_reset();
        }
        t.inst.single_f = single_f;
        std::vector<LWShaderAccess> out(spots);
        std::vector<std::thread> pool;
        for (int w = 0; w < threads; ++w)
            pool.emplace_back([&, w] {
                for (size_t i = static_cast<size_t>(w); i < out.size(); i += static_cast<size_t>(threads))
                    dirt::evaluate(t.handle(), &out[i]);
            });
        for (std::thread &th : pool) th.join();
        return out;
    };
    for (int single_f = 0; single_f < 2; ++single_f) {
        const std::vector<LWShaderAccess> one = run(1, single_f);
        const std::vector<LWShaderAccess> four = run(4, single_f);
        int darkened = 0;
        for (size_t i = 0; i < spots.size(); ++i) {
            EXPECT_EQ(std::memcmp(&one[i], &four[i], sizeof one[i]), 0) << i;
            darkened += one[i].diffuse < spots[i].diffuse;
        }
        EXPECT_GT(darkened, 0);
        EXPECT_LT(darkened, 24);
    }
}

}  // namespace
}  // namespace ormel
