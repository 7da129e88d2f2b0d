#include "shading/dirt_blend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/shading_fakes.h"

namespace ormel {
namespace {

TEST(DirtDistance, OffsetThroughTheWorldTransformRowByRow) {
    LWShaderAccess a = fake::make_spot(nullptr, nullptr, Vec3(1, 1, 1), Vec3(0, 1, 0));
    EXPECT_EQ(dirt_distance(Vec3(4, 5, 1), Vec3(1, 1, 1), &a), 5.0);
    // Rows scale x by 2 and move y into z: F = (2 E.x, 0, E.y).
    const double m[9] = {2, 0, 0, 0, 0, 0, 0, 1, 0};
    for (int k = 0; k < 9; ++k) a.wXfrm[k] = m[k];
    EXPECT_EQ(dirt_distance(Vec3(2.5, 3, 9), Vec3(1, 1, 1), &a), std::sqrt(13.0));
}

struct DirtBlend : ::testing::Test {
    fake::Installed host;
    fake::TestInstance t;
    LWShaderAccess spot = fake::make_spot(fake::item_id(1), nullptr, Vec3(0, 0, 0), Vec3(0, 1, 0));

    DirtBlend() { render_time = 2.5; }
    ~DirtBlend() override { render_time = 0.0; }

    void all_channels_on() {
        t.inst.use_color = t.inst.use_Kd = t.inst.use_Ks = t.inst.use_mirror = t.inst.use_bump = 1;
    }
    static double mix(double channel, double w, double dirt) { return (1.0 - w) * channel + w * dirt; }
};

TEST_F(DirtBlend, DefaultsMoveOnlyTheDiffuse) {
    const LWShaderAccess before = spot;
    dirt_blend(&spot, &t.inst, 0.25, 0.5);
    const double w = (1.0 - std::pow(0.25, 0.5)) * 1.0;
    EXPECT_EQ(spot.diffuse, mix(0.8, w, 0.5));
    spot.diffuse = before.diffuse;
    EXPECT_EQ(std::memcmp(&spot, &before, sizeof spot), 0);
    // The amount and the diffuse are read at the spot, at render time.
    ASSERT_EQ(host->reads.size(), 2u);
    EXPECT_EQ(host->reads[0].param, &t.amount);
    EXPECT_EQ(host->reads[1].param, &t.Kd);
    for (const fake::ParamRead &r : host->reads) {
        EXPECT_TRUE(r.with_spot);
        EXPECT_EQ(r.time, 2.5);
    }
}

TEST_F(DirtBlend, EveryChannelMovesByTheWeight) {
    all_channels_on();
    t.color.value[0] = 0.1, t.color.value[1] = 0.2, t.color.value[2] = 0.3;
    t.Ks.value[0] = 0.9;
    t.mirror.value[0] = 0.6;
    t.amount.value[0] = 0.8;
    dirt_blend(&spot, &t.inst, 0.5, 2.0);
    const double w = (1.0 - 0.25) * 0.8;
    EXPECT_EQ(spot.color[0], mix(0.9, w, 0.1));
    EXPECT_EQ(spot.color[1], mix(0.7, w, 0.2));
    EXPECT_EQ(spot.color[2], mix(0.1, w, 0.3));
    EXPECT_EQ(spot.diffuse, mix(0.8, w, 0.5));
    EXPECT_EQ(spot.specular, mix(0.3, w, 0.9));
    EXPECT_EQ(spot.mirror, mix(0.2, w, 0.6));
    // No bump texture: the normal keeps its direction; the height scales by 1 - w.
    EXPECT_EQ(Vec3(spot.wNorm), Vec3(0, 1, 0));
    EXPECT_EQ(spot.bumpHeight, (1.0 - w) * 0.4 + 0.4);
}

TEST_F(DirtBlend, RatioAtOrBeyondOneChangesNothing) {
    all_channels_on();
    const LWShaderAccess before = spot;
    for (double ratio : {1.0, 7.0, std::numeric_limits<double>::infinity()}) {
        dirt_blend(&spot, &t.inst, ratio, 0.5);
        EXPECT_EQ(std::memcmp(&spot, &before, sizeof spot), 0) << ratio;
    }
    EXPECT_TRUE(host->reads.empty()) << "not even the amount is read";
}

TEST_F(DirtBlend, ZeroWeightStillMixesTheBumpHeight) {
    all_channels_on();
    spot.wNorm[1] = 2.0;
    for (int falloff_zero = 0; falloff_zero < 2; ++falloff_zero) {
        LWShaderAccess s = spot;
        // falloff 0 makes ratio^falloff 1; amount 0 zeroes the weight directly.
        t.amount.value[0] = falloff_zero ? 1.0 : 0.0;
        dirt_blend(&s, &t.inst, 0.3, falloff_zero ? 0.0 : 0.5);
        EXPECT_EQ(s.color[0], 0.9);
        EXPECT_EQ(s.diffuse, 0.8);
        EXPECT_EQ(s.specular, 0.3);
        EXPECT_EQ(s.mirror, 0.2);
        EXPECT_EQ(Vec3(s.wNorm), Vec3(0, 1, 0)) << "only renormalised";
        EXPECT_EQ(s.bumpHeight, 0.8) << "the height plus the spot record's height";
    }
}

TEST_F(DirtBlend, NegativeFalloffAndLargeAmountOvershoot) {
    // ratio^-1 = 2 at ratio 0.5: the weight is negative and pushes away from the dirt.
    dirt_blend(&spot, &t.inst, 0.5, -1.0);
    EXPECT_EQ(spot.diffuse, mix(0.8, -1.0, 0.5));
    EXPECT_GT(spot.diffuse, 0.8);

    spot.diffuse = 0.8;
    t.amount.value[0] = 1.5;
    dirt_blend(&spot, &t.inst, 0.0, 0.5);
    EXPECT_EQ(spot.diffuse, mix(0.8, 1.5, 0.5));
    EXPECT_LT(spot.diffuse, 0.5);
}

TEST_F(DirtBlend, BumpTiltsTheNormalAndLaterChannelsSeeIt) {
    t.inst.use_bump = 1;
    fake::Texture tex;
    tex.value[0] = 0.5, tex.value[1] = 0.0, tex.value[2] = -0.5;
    tex.writes_bump_height = true;
    tex.bump_height = 0.125;
    t.bump.texture = &tex;
    t.bump.value[0] = 0.5;
    t.amount.value[0] = 1.0;

    dirt_blend(&spot, &t.inst, 0.0, 1.0);
    // w = 1, v = 0.5: the normal is (0, 1, 0) - 0.5 G, normalised.
    Vec3 n(-0.25, 1.0, 0.25);
    vec_normalize(n);
    EXPECT_EQ(Vec3(spot.wNorm), n);
    EXPECT_EQ(spot.bumpHeight, 0.0 * 0.4 + 0.125);

    // The bump's envelope is read without the spot, its texture at the spot; the diffuse
    // after it is read with the tilted normal and the new height.
    ASSERT_EQ(host->reads.size(), 3u);
    EXPECT_EQ(host->reads[1].param, &t.bump);
    EXPECT_FALSE(host->reads[1].with_spot);
    ASSERT_EQ(host->texture_evaluations.size(), 1u);
    EXPECT_EQ(host->reads[2].param, &t.Kd);
    EXPECT_EQ(Vec3(host->reads[2].wNorm), n);
    EXPECT_EQ(host->reads[2].bumpHeight, 0.125);
    EXPECT_EQ(spot.diffuse, 0.5);
}

TEST_F(DirtBlend, WeightThatIsNotFiniteLeavesTheSpotAlone) {
    all_channels_on();
    const LWShaderAccess before = spot;
    const double inf = std::numeric_limits<double>::infinity();
    // A negative ratio (a negative width) with a fractional falloff; a negative falloff at
    // ratio 0; an infinite amount; a NaN ratio (zero over zero).
    const double cases[][2] = {{-0.5, 0.5}, {0.0, -1.0}, {0.5, 1.0}, {std::nan(""), 0.5}};
    for (int i = 0; i < 4; ++i) {
        t.amount.value[0] = i == 2 ? inf : 1.0;
        dirt_blend(&spot, &t.inst, cases[i][0], cases[i][1]);
        EXPECT_EQ(std::memcmp(&spot, &before, sizeof spot), 0) << i;
    }
}

TEST_F(DirtBlend, OverflowingChannelPutsTheSpotBack) {
    all_channels_on();
    const LWShaderAccess before = spot;
    // A finite weight, but the specularity would overflow: everything written, the bump
    // included, is undone.
    t.amount.value[0] = 1e300;
    t.Ks.value[0] = 1e300;
    dirt_blend(&spot, &t.inst, 0.5, 1.0);
    EXPECT_EQ(std::memcmp(&spot, &before, sizeof spot), 0);

    // A negative ratio with a whole-number falloff has a finite weight and blends as usual.
    t.amount.value[0] = 1.0;
    t.Ks.value[0] = 0.0;
    t.inst.use_bump = 0;
    dirt_blend(&spot, &t.inst, -3.0, 2.0);
    EXPECT_EQ(spot.diffuse, mix(0.8, -8.0, 0.5));
}

}  // namespace
}  // namespace ormel
