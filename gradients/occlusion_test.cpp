// Occlusion rays and the shared generator, through a hand-written ray caster.
#include "gradients/occlusion.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/gradient_fake_host.h"

namespace ormel {
namespace {

using test::FakeHost;

constexpr double kTwoPi = 6.283185307179586;
constexpr double kTwoToMinus32 = 2.3283064365386963e-10;

class Occlusion : public ::testing::Test {
protected:
    void SetUp() override {
        spot.rayCast = &FakeHost::ray_cast;
        saved_state = occlusion_random_state.load();
    }
    void TearDown() override { occlusion_random_state.exchange(saved_state); }

    double fraction(Vec3 n, int rings, int sectors, int half) {
        return occlusion_fraction(&spot, p, n, rings, sectors, half);
    }

    FakeHost host;
    LWMicropol spot{};
    Vec3 p{1.0, 2.0, 3.0};
    uint32_t saved_state = 0;
};

TEST_F(Occlusion, GeneratorStepsFromItsState) {
    // From the load-time state 1 the first draws follow s' = s × 1566083941 + 1 mod 2^32.
    occlusion_random_state.exchange(1u);
    const uint32_t s1 = 1566083942u;
    EXPECT_EQ(occlusion_random(), static_cast<double>(s1) * kTwoToMinus32);
    EXPECT_EQ(occlusion_random_state.load(), s1);
    const uint32_t s2 = static_cast<uint32_t>(uint64_t{s1} * 1566083941u + 1u);
    EXPECT_EQ(occlusion_random(), static_cast<double>(s2) * kTwoToMinus32);
    EXPECT_EQ(occlusion_random_state.load(), s2);

    // The largest state wraps; draws stay below 1.
    occlusion_random_state.exchange(0xFFFFFFFFu);
    const uint32_t wrapped = 0xFFFFFFFFu * 1566083941u + 1u;
    const double draw = occlusion_random();
    EXPECT_EQ(draw, static_cast<double>(wrapped) * kTwoToMinus32);
    EXPECT_LT(draw, 1.0);
    EXPECT_GE(draw, 0.0);
}

TEST_F(Occlusion, OpenSpaceCastsOneRayPerRingAndSectorFromTheSpot) {
    const int levels[5][2] = {{3, 9}, {6, 18}, {8, 24}, {10, 30}, {12, 36}};
    for (const auto &level : levels) {
        host.casts.clear();
        EXPECT_EQ(fraction(Vec3(0.0, 0.0, 2.0), level[0], level[1], 0), 0.0);
        ASSERT_EQ(host.casts.size(), static_cast<size_t>(level[0] * level[1]));
        for (const auto &cast : host.casts) EXPECT_EQ(cast.first, p);
    }
}

TEST_F(Occlusion, DirectionsAreStratifiedInRingsAndSectors) {
    // A normal along Z has equal X and Y parts, so the tangent frame starts from X.
    const Vec3 n(0.0, 0.0, 1.0);
    const Vec3 t1 = vec_normalized(vec_cross(n, Vec3(1.0, 0.0, 0.0)));
    const Vec3 t2 = vec_normalized(vec_cross(n, t1));
    const int rings = 6, sectors = 18;
    fraction(Vec3(0.0, 0.0, 5.0), rings, sectors, 0);
    ASSERT_EQ(host.casts.size(), static_cast<size_t>(rings * sectors));
    for (int k = 0; k < rings; ++k) {
        const double lo = std::acos(1.0 - static_cast<double>(k) / rings);
        const double hi = std::acos(1.0 - static_cast<double>(k + 1) / rings);
        for (int j = 0; j < sectors; ++j) {
            const Vec3 dir = host.casts[k * sectors + j].second;
            EXPECT_NEAR(vec_length(dir), 1.0, 1e-12);
            const double theta = std::acos(vec_dot(dir, n));
            EXPECT_GE(theta, lo - 1e-9) << k << " " << j;
            EXPECT_LE(theta, hi + 1e-9) << k << " " << j;
            double phi = std::atan2(vec_dot(dir, t2), vec_dot(dir, t1));
            if (phi < 0.0) phi += kTwoPi;
            EXPECT_GE(phi, j * kTwoPi / sectors - 1e-9) << k << " " << j;
            EXPECT_LE(phi, (j + 1) * kTwoPi / sectors + 1e-9) << k << " " << j;
        }
    }
}

TEST_F(Occlusion, EnclosedSpotIsFullyOccludedInBothVariants) {
    host.caster = [](Vec3, Vec3) { return 0.25; };
    EXPECT_EQ(fraction(Vec3(0.0, 1.0, 0.0), 3, 9, 0), 1.0);
    EXPECT_EQ(fraction(Vec3(1.0, 0.0, 0.0), 3, 9, 1), 1.0);
    // A far hit blocks as well; a hit at distance 0 does not.
    host.caster = [](Vec3, Vec3) { return 1e30; };
    EXPECT_EQ(fraction(Vec3(0.0, 1.0, 0.0), 3, 9, 0), 1.0);
    host.caster = [](Vec3, Vec3) { return 0.0; };
    EXPECT_EQ(fraction(Vec3(0.0, 1.0, 0.0), 3, 9, 0), 0.0);
}

TEST_F(Occlusion, HalfVariantCountsDirectionsBelowTheHorizonAsBlocked) {
    // Facing down: every direction points below, so no ray is cast.
    const uint32_t before = occlusion_random_state.load();
    EXPECT_EQ(fraction(Vec3(0.0, -3.0, 0.0), 6, 18, 1), 1.0);
    EXPECT_TRUE(host.casts.empty());
    EXPECT_NE(occlusion_random_state.load(), before);  // the directions were still drawn
    EXPECT_EQ(fraction(Vec3(0.0, -1.0, 0.0), 6, 18, 0), 0.0);

    // A vertical face in open space reads about half occluded; only upward rays are cast.
    host.casts.clear();
    const double vertical = fraction(Vec3(1.0, 0.0, 0.0), 12, 36, 1);
    EXPECT_NEAR(vertical, 0.5, 0.08);
    EXPECT_EQ(host.casts.size(), static_cast<size_t>(std::lround((1.0 - vertical) * 432)));
    for (const auto &cast : host.casts) EXPECT_GE(cast.second.y, 0.0);
}

TEST_F(Occlusion, UpwardFacingHalfVariantEqualsAmbientForTheSameDraws) {
    // Geometry on the +X side only, so the result depends on the directions drawn.
    host.caster = [](Vec3, Vec3 dir) { return dir.x > 0.0 ? 2.0 : -1.0; };
    const uint32_t state = occlusion_random_state.load();
    const double ambient = fraction(Vec3(0.0, 1.0, 0.0), 8, 24, 0);
    occlusion_random_state.exchange(state);
    const double half = fraction(Vec3(0.0, 1.0, 0.0), 8, 24, 1);
    EXPECT_EQ(ambient, half);
    EXPECT_GT(ambient, 0.3);
    EXPECT_LT(ambient, 0.7);
}

TEST_F(Occlusion, FirstRayFollowsTheDrawsExactly) {
    // Normal (0,1,0): the frame comes from X; T1 = (0,0,-1), T2 = (-1,0,0).
    occlusion_random_state.exchange(1u);
    const double u = static_cast<double>(1566083942u) * kTwoToMinus32;
    const double v =
        static_cast<double>(static_cast<uint32_t>(uint64_t{1566083942u} * 1566083941u + 1u)) *
        kTwoToMinus32;
    fraction(Vec3(0.0, 1.0, 0.0), 3, 9, 0);
    const double hi = std::acos(1.0 - 1.0 / 3.0);
    const double theta = hi - u * (hi - 0.0);
    const double phi = (0.0 + v) * kTwoPi / 9.0;
    const Vec3 expected(std::sin(theta) * (-std::sin(phi)), std::cos(theta),
                        std::sin(theta) * (-std::cos(phi)));
    ASSERT_FALSE(host.casts.empty());
    EXPECT_NEAR(host.casts[0].second.x, expected.x, 1e-15);
    EXPECT_NEAR(host.casts[0].second.y, expected.y, 1e-15);
    EXPECT_NEAR(host.casts[0].second.z, expected.z, 1e-15);
}

TEST_F(Occlusion, WithoutRayCasterOrRaysNothingIsDrawn) {
    const uint32_t before = occlusion_random_state.load();
    spot.rayCast = nullptr;
    EXPECT_EQ(fraction(Vec3(0.0, 1.0, 0.0), 3, 9, 0), 0.0);
    EXPECT_EQ(occlusion_fraction(nullptr, p, Vec3(0.0, 1.0, 0.0), 3, 9, 0), 0.0);
    spot.rayCast = &FakeHost::ray_cast;
    EXPECT_EQ(fraction(Vec3(0.0, 1.0, 0.0), 0, 9, 0), 0.0);
    EXPECT_EQ(occlusion_random_state.load(), before);
    EXPECT_TRUE(host.casts.empty());
}

}  // namespace
}  // namespace ormel
