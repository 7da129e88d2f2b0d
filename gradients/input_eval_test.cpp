// The 36 gradient inputs on constructed spots, over a hand-written host.
#include "gradients/input_eval.h"

#include <gtest/gtest.h>

#include <cmath>

#include "gradients/gradient_context.h"
#include "gradients/input_time.h"
#include "gradients/occlusion.h"
#include "instance/dirt_instance.h"
#include "module/module_state.h"
#include "tests/support/gradient_fake_host.h"

namespace ormel {
namespace {

constexpr double kPi = 3.14159265358979323846;

using test::FakeHost;
using test::item_id;
using test::point_id;

constexpr double kHalfPi = 1.5707963267948966;
constexpr double kTol = 1e-12;

const LWItemID kObject = item_id(0x300), kOther = item_id(0x301), kLight = item_id(0x100);
const LWItemID kLight2 = item_id(0x101), kLight3 = item_id(0x102), kStranger = item_id(0x999);

enum : int {
    kBump = 1, kSlope, kIncidence, kLightIncidence, kCameraDistance, kDistance, kDistanceX,
    kDistanceY, kDistanceZ, kWeightMap, kThickness, kObjectX, kObjectY, kObjectZ, kWorldX,
    kWorldY, kWorldZ, kDistanceXY, kDistanceYZ, kDistanceZX, kLightSpecular, kLightPhong,
    kAmbient, kDiffuse, kSpecular, kPhong, kOcclusionPreview,
};

class InputEval : public ::testing::Test {
protected:
    void SetUp() override {
        host.bind();
        // The shaded object stands at (0, 5, 0) with its axes along the world's.
        test::FakeItem &object = host.add(kObject, LWI_OBJECT, "object");
        object.vectors[LWIP_W_POSITION - 1] = Vec3(0.0, 5.0, 0.0);
        axes(object, Vec3(1.0, 0.0, 0.0), Vec3(0.0, 1.0, 0.0), Vec3(0.0, 0.0, 1.0));
        test::FakeItem &other = host.add(kOther, LWI_OBJECT, "other");
        other.vectors[LWIP_W_POSITION - 1] = Vec3(3.0, 4.0, 12.0);
        // Other's axes are the world's turned a quarter about Z.
        axes(other, Vec3(0.0, 1.0, 0.0), Vec3(-1.0, 0.0, 0.0), Vec3(0.0, 0.0, 1.0));

        spot.objID = kObject;
        set(spot.wNorm, Vec3(0.0, 1.0, 0.0));
        set(spot.ray, Vec3(0.0, -1.0, 0.0));
        spot.illuminate = &FakeHost::illuminate;
        spot.rayCast = &FakeHost::ray_cast;
        saved_render_time = render_time;
    }
    void TearDown() override {
        if (data) input_time_free(nullptr, 0, data);
        render_time = saved_render_time;
    }

    static void axes(test::FakeItem &item, Vec3 right, Vec3 up, Vec3 forward) {
        item.vectors[LWIP_RIGHT - 1] = right;
        item.vectors[LWIP_UP - 1] = up;
        item.vectors[LWIP_FORWARD - 1] = forward;
    }
    static void set(double out[3], Vec3 v) { v.store(out); }

    // Takes the snapshot the host would ask for before evaluating, at a time.
    void snapshot(double time = 0.0) {
        if (data) input_time_free(nullptr, 0, data);
        LWTxtrParamDesc row = GradientInputTable[0];
        data = input_time_create(nullptr, &row, 1, time, 0);
        ASSERT_NE(data, nullptr);
    }

    double eval(int input, LWItemID picked = LWITEM_NULL) {
        LWTxtrParamDesc row = GradientInputTable[input >= 1 && input <= 36 ? input - 1 : 0];
        row.itemID = picked;
        return evaluate_input(&row, input, &spot, data);
    }

    test::FakeLight &add_light(LWItemID id, const std::string &name, int type, Vec3 position,
                               Vec3 forward) {
        test::FakeItem &item = host.add(id, LWI_LIGHT, name);
        item.vectors[LWIP_W_POSITION - 1] = position;
        item.vectors[LWIP_FORWARD - 1] = forward;
        test::FakeLight &light = host.lights[id];
        light.type = type;
        return light;
    }

    FakeHost host;
    LWMicropol spot{};
    gParamData data = nullptr;
    double saved_render_time = 0.0;
};

TEST_F(InputEval, SpotFieldsAndWorldAxes) {
    snapshot();
    spot.bumpHeight = 0.37;
    spot.rayLength = 8.5;
    EXPECT_EQ(eval(kBump), 0.37);
    EXPECT_EQ(eval(kCameraDistance), 8.5);

    spot.cosine = 1.0;  // head-on
    EXPECT_EQ(eval(kIncidence), kHalfPi);
    spot.cosine = 0.0;  // grazing
    EXPECT_EQ(eval(kIncidence), 0.0);
    spot.cosine = 0.5;
    EXPECT_EQ(eval(kIncidence), 0.5 * kHalfPi);

    set(spot.wNorm, Vec3(0.0, 4.0, 0.0));  // normalised before use
    EXPECT_EQ(eval(kWorldY), -kHalfPi);
    EXPECT_EQ(eval(kWorldX), 0.0);
    set(spot.wNorm, Vec3(0.0, -1.0, 0.0));
    EXPECT_EQ(eval(kWorldY), kHalfPi);
    set(spot.wNorm, Vec3(3.0, 0.0, -4.0));
    EXPECT_NEAR(eval(kWorldX), -0.6 * kHalfPi, kTol);
    EXPECT_NEAR(eval(kWorldZ), 0.8 * kHalfPi, kTol);
}

TEST_F(InputEval, UnknownInputNumbersReadOneAndAMissingSpotZero) {
    snapshot();
    host.take_log();
    EXPECT_EQ(eval(0), 1.0);
    EXPECT_EQ(eval(37), 1.0);
    EXPECT_EQ(eval(-5), 1.0);
    EXPECT_EQ(evaluate_input(nullptr, 99, nullptr, nullptr), 1.0);
    // A known input without a spot has nothing to read: 0, without a host call.
    EXPECT_EQ(evaluate_input(nullptr, kSlope, nullptr, data), 0.0);
    EXPECT_EQ(evaluate_input(nullptr, kOcclusionPreview, nullptr, data), 0.0);
    EXPECT_TRUE(host.take_log().empty());
}

TEST_F(InputEval, SlopeFollowsTheShadedObjectsUpAxis) {
    snapshot();
    set(spot.wNorm, Vec3(0.0, 1.0, 0.0));
    EXPECT_EQ(eval(kSlope), 0.0);
    set(spot.wNorm, Vec3(0.0, 0.0, 1.0));
    EXPECT_EQ(eval(kSlope), 1.0);
    set(spot.wNorm, Vec3(0.0, -2.0, 0.0));
    EXPECT_EQ(eval(kSlope), 2.0);

    // An object whose up axis is the world's -X.
    spot.objID = kOther;
    set(spot.wNorm, Vec3(-1.0, 0.0, 0.0));
    EXPECT_EQ(eval(kSlope), 0.0);
    set(spot.wNorm, Vec3(0.0, 1.0, 0.0));
    EXPECT_EQ(eval(kSlope), 1.0);

    // Not a scene object, no object, or no item-info: the world's up axis.
    spot.objID = kStranger;
    EXPECT_EQ(eval(kSlope), 0.0);
    spot.objID = LWITEM_NULL;
    EXPECT_EQ(eval(kSlope), 0.0);
    spot.objID = kOther;
    host_services.item_info = nullptr;
    EXPECT_EQ(eval(kSlope), 0.0);
}

TEST_F(InputEval, LightIncidenceFromPointAndDistantLights) {
    add_light(kLight, "point", LWLIGHT_POINT, Vec3(0.0, 10.0, 0.0), Vec3(0.0, 0.0, 1.0));
    add_light(kLight2, "below", LWLIGHT_SPOT, Vec3(0.0, -10.0, 0.0), Vec3(0.0, 1.0, 0.0));
    // A distant light pointing straight down, standing below the surface.
    add_light(kLight3, "sun", LWLIGHT_DISTANT, Vec3(0.0, -50.0, 0.0), Vec3(0.0, -1.0, 0.0));
    snapshot();
    EXPECT_EQ(eval(kLightIncidence, kLight), kHalfPi);
    EXPECT_EQ(eval(kLightIncidence, kLight2), 0.0);  // behind the surface
    EXPECT_EQ(eval(kLightIncidence, kLight3), kHalfPi);

    // A light at 60 degrees from the normal.
    host.items[kLight].vectors[LWIP_W_POSITION - 1] = Vec3(std::sqrt(3.0), 1.0, 0.0);
    snapshot();
    EXPECT_NEAR(eval(kLightIncidence, kLight), 0.5 * kHalfPi, kTol);

    // The light must be picked; the shaded object is no stand-in.
    EXPECT_EQ(eval(kLightIncidence), 0.0);
    host_services.light_info = nullptr;
    EXPECT_EQ(eval(kLightIncidence, kLight), 0.0);
    EXPECT_EQ(eval(kLightSpecular, kLight), 0.0);
    EXPECT_EQ(eval(kLightPhong, kLight), 0.0);
}

TEST_F(InputEval, LightSpecularAndPhongIncidence) {
    add_light(kLight, "point", LWLIGHT_POINT, Vec3(0.0, 10.0, 0.0), Vec3());
    snapshot();
    // Ray straight down, light straight up: the half vector is the normal.
    EXPECT_EQ(eval(kLightSpecular, kLight), 1.0);
    EXPECT_EQ(eval(kLightPhong, kLight), 1.0);

    // Light 60 degrees off the normal: the half vector is 30 degrees off, to the 4th power;
    // the mirror direction is the normal, so Phong is the plain cosine.
    host.items[kLight].vectors[LWIP_W_POSITION - 1] = Vec3(std::sqrt(3.0), 1.0, 0.0);
    snapshot();
    EXPECT_NEAR(eval(kLightSpecular, kLight), std::pow(std::cos(kPi / 6.0), 4.0), kTol);
    EXPECT_NEAR(eval(kLightPhong, kLight), 0.5, kTol);

    // A ray at 45 degrees mirrors onto (-1,1,0)/sqrt2: a light there gives Phong 1.
    set(spot.ray, Vec3(-1.0, -1.0, 0.0));
    host.items[kLight].vectors[LWIP_W_POSITION - 1] = Vec3(-5.0, 5.0, 0.0);
    snapshot();
    EXPECT_NEAR(eval(kLightPhong, kLight), 1.0, kTol);
    EXPECT_NEAR(eval(kLightSpecular, kLight), 1.0, kTol);
    // A light behind the mirror direction gives 0.
    host.items[kLight].vectors[LWIP_W_POSITION - 1] = Vec3(5.0, -5.0, 0.0);
    snapshot();
    EXPECT_EQ(eval(kLightPhong, kLight), 0.0);
    EXPECT_EQ(eval(kLightSpecular, kLight), 0.0);
}

TEST_F(InputEval, DistancesFromPickedItemShadedObjectOrOrigin) {
    snapshot();
    set(spot.wPos, Vec3(0.0, 0.0, 0.0));
    EXPECT_EQ(eval(kDistance, kOther), 13.0);
    EXPECT_EQ(eval(kDistanceX, kOther), 3.0);
    EXPECT_EQ(eval(kDistanceY, kOther), 4.0);
    EXPECT_EQ(eval(kDistanceZ, kOther), 12.0);
    EXPECT_EQ(eval(kDistanceXY, kOther), 5.0);
    EXPECT_EQ(eval(kDistanceYZ, kOther), std::sqrt(160.0));
    EXPECT_EQ(eval(kDistanceZX, kOther), std::sqrt(153.0));

    // No pick: the shaded object's world position, (0, 5, 0).
    set(spot.wPos, Vec3(1.0, 2.0, -2.0));
    EXPECT_EQ(eval(kDistance), std::sqrt(1.0 + 9.0 + 4.0));
    EXPECT_EQ(eval(kDistanceY), 3.0);
    // No row at all reads as no pick.
    EXPECT_EQ(evaluate_input(nullptr, kDistance, &spot, data), std::sqrt(1.0 + 9.0 + 4.0));

    // A pick that is not a scene object measures from the world origin.
    EXPECT_EQ(eval(kDistance, kStranger), 3.0);
    EXPECT_EQ(eval(kDistanceZ, kStranger), 2.0);
    host_services.item_info = nullptr;
    EXPECT_EQ(eval(kDistance, kOther), 0.0);
}

TEST_F(InputEval, ObjectAxesOfPickedOrShadedObject) {
    snapshot();
    // The shaded object's axes are the world's; the values face against each axis.
    set(spot.wNorm, Vec3(1.0, 0.0, 0.0));
    EXPECT_EQ(eval(kObjectX), -kHalfPi);
    EXPECT_EQ(eval(kObjectY), 0.0);
    set(spot.wNorm, Vec3(0.0, -1.0, 0.0));
    EXPECT_EQ(eval(kObjectY), kHalfPi);
    // Other's X axis is the world's Y.
    EXPECT_EQ(eval(kObjectX, kOther), kHalfPi);
    EXPECT_EQ(eval(kObjectY, kOther), 0.0);
    // A pick outside the scene uses the world's axes.
    set(spot.wNorm, Vec3(0.0, 0.0, 1.0));
    EXPECT_EQ(eval(kObjectZ, kStranger), -kHalfPi);
    host_services.item_info = nullptr;
    EXPECT_EQ(eval(kObjectZ), 0.0);
}

TEST_F(InputEval, WeightMapSumsValueTimesWeightOverPointsWithAValue) {
    snapshot();
    void *const map = reinterpret_cast<void *>(0x77);
    spot.verts[0] = point_id(1);
    spot.verts[1] = point_id(2);
    spot.verts[2] = point_id(3);  // no value in the map
    spot.verts[3] = nullptr;
    const float weights[4] = {0.5f, 0.25f, 0.25f, 0.0f};
    for (int i = 0; i < 4; ++i) spot.weights[i] = weights[i];
    host.weight_map = {{point_id(1), 0.8f}, {point_id(2), -0.4f}, {point_id(4), 9.0f}};
    host.take_log();

    const double expected = static_cast<double>(0.8f) * 0.5 + static_cast<double>(-0.4f) * 0.25;
    EXPECT_EQ(eval(kWeightMap, static_cast<LWItemID>(map)), expected);
    EXPECT_EQ(host.selected_map, map);
    EXPECT_EQ(host.take_log(), (std::vector<std::string>{"meshInfo object 1", "mesh destroy"}));

    EXPECT_EQ(eval(kWeightMap), 0.0);  // no map picked
    EXPECT_TRUE(host.take_log().empty());
    host.mesh.destroy = nullptr;  // a mesh without destroy is simply left
    EXPECT_EQ(eval(kWeightMap, static_cast<LWItemID>(map)), expected);
    host.has_mesh = false;
    EXPECT_EQ(eval(kWeightMap, static_cast<LWItemID>(map)), 0.0);
    host_services.object_info = nullptr;
    host.has_mesh = true;
    EXPECT_EQ(eval(kWeightMap, static_cast<LWItemID>(map)), 0.0);
}

TEST_F(InputEval, SurfaceThicknessContinuesTheRay) {
    snapshot();
    set(spot.wPos, Vec3(1.0, 2.0, 3.0));
    set(spot.ray, Vec3(0.0, 0.0, -3.0));
    host.caster = [](Vec3, Vec3) { return 2.5; };
    EXPECT_EQ(eval(kThickness), 2.5);
    ASSERT_EQ(host.casts.size(), 1u);
    EXPECT_EQ(host.casts[0].first, Vec3(1.0, 2.0, 3.0));
    EXPECT_EQ(host.casts[0].second, Vec3(0.0, 0.0, -3.0));
    host.caster = [](Vec3, Vec3) { return -1.0; };
    EXPECT_EQ(eval(kThickness), 0.0);
    spot.rayCast = nullptr;
    EXPECT_EQ(eval(kThickness), 0.0);
}

TEST_F(InputEval, GradientAmbientFromRadiosityOrAmbientAtTheRecordsTime) {
    host.ambient = Vec3(0.3, 0.6, 0.9);
    host.radiosity.colour = Vec3(0.1, 0.2, 0.6);
    snapshot(2.0);
    host.take_log();
    EXPECT_NEAR(eval(kAmbient), 0.3, kTol);
    EXPECT_EQ(host.take_log(), (std::vector<std::string>{"first 0 ?", "excluded object radiosity",
                                                         "illuminate radiosity"}));

    host.radiosity.reaches = false;
    EXPECT_NEAR(eval(kAmbient), 0.6, kTol);
    EXPECT_EQ(host.count("ambient 2.0"), 1);
    host.radiosity.reaches = true;
    host.excluded.insert({kObject, LWITEM_RADIOSITY});
    host.take_log();
    EXPECT_NEAR(eval(kAmbient), 0.6, kTol);
    EXPECT_EQ(host.count("illuminate"), 0);
    host.excluded.clear();
    spot.illuminate = nullptr;
    EXPECT_NEAR(eval(kAmbient), 0.6, kTol);

    // Not a scene object: 0. No light-info: 0.
    spot.objID = kStranger;
    EXPECT_EQ(eval(kAmbient), 0.0);
    spot.objID = kObject;
    host_services.light_info = nullptr;
    EXPECT_EQ(eval(kAmbient), 0.0);
}

TEST_F(InputEval, SummedLightSkipsFlaggedAndExcludedLights) {
    // Key light straight above, white; fill light at 60 degrees, grey 0.5.
    add_light(kLight, "key", LWLIGHT_DISTANT, Vec3(), Vec3()).direction = Vec3(0.0, -1.0, 0.0);
    test::FakeLight &fill = add_light(kLight2, "fill", LWLIGHT_POINT, Vec3(), Vec3());
    fill.direction = Vec3(-std::sqrt(3.0), -1.0, 0.0);
    fill.colour = Vec3(0.2, 0.5, 0.8);
    test::FakeLight &dark = add_light(kLight3, "dark", LWLIGHT_POINT, Vec3(), Vec3());
    dark.reaches = false;
    snapshot();

    EXPECT_NEAR(eval(kDiffuse), 1.0 + 0.5 * 0.5, kTol);
    EXPECT_NEAR(eval(kPhong), 1.0 + 0.5 * 0.5, kTol);  // ray straight down: mirror is N
    EXPECT_NEAR(eval(kSpecular), 1.0 + std::pow(std::cos(kPi / 6.0), 4.0) * 0.5, kTol);

    // Flags: no-diffuse skips the diffuse sum only; no-specular the other two.
    host.lights[kLight2].flags = LWLFL_NO_DIFFUSE;
    EXPECT_NEAR(eval(kDiffuse), 1.0, kTol);
    EXPECT_NEAR(eval(kPhong), 1.25, kTol);
    host.lights[kLight2].flags = LWLFL_NO_SPECULAR;
    EXPECT_NEAR(eval(kDiffuse), 1.25, kTol);
    EXPECT_NEAR(eval(kSpecular), 1.0, kTol);
    host.lights[kLight2].flags = 0;

    // An excluded light is skipped without being asked for its light.
    host.excluded.insert({kObject, kLight});
    host.take_log();
    EXPECT_NEAR(eval(kDiffuse), 0.25, kTol);
    EXPECT_EQ(host.count("illuminate key"), 0);
    EXPECT_EQ(host.count("illuminate fill"), 1);
    EXPECT_EQ(host.count("illuminate dark"), 1);
    // ...unless the shaded item is not a scene object.
    spot.objID = kStranger;
    EXPECT_NEAR(eval(kDiffuse), 1.25, kTol);

    spot.illuminate = nullptr;
    EXPECT_EQ(eval(kDiffuse), 0.0);
    spot.illuminate = &FakeHost::illuminate;
    host_services.light_info = nullptr;
    EXPECT_EQ(eval(kSpecular), 0.0);
    host_services.light_info = &host.light_info;
    host_services.item_info = nullptr;
    EXPECT_EQ(eval(kPhong), 0.0);
}

TEST_F(InputEval, OcclusionInputsUseTheirLevelAndVariant) {
    snapshot();
    const int rays[5] = {27, 108, 192, 300, 432};
    host.caster = [](Vec3, Vec3) { return 1.0; };
    for (int i = 0; i < 10; ++i) {
        host.casts.clear();
        set(spot.wNorm, Vec3(0.0, 1.0, 0.0));
        EXPECT_EQ(eval(kOcclusionPreview + i), 1.0) << i;
        EXPECT_EQ(host.casts.size(), static_cast<size_t>(rays[i % 5])) << i;
        // Facing down: the half variants are blocked without a ray, the ambient ones cast.
        host.casts.clear();
        set(spot.wNorm, Vec3(0.0, -1.0, 0.0));
        EXPECT_EQ(eval(kOcclusionPreview + i), 1.0) << i;
        EXPECT_EQ(host.casts.size(), i < 5 ? static_cast<size_t>(rays[i]) : 0u) << i;
    }
    // Not a scene object: 0 without a ray or a draw.
    const uint32_t state = occlusion_random_state.load();
    host.casts.clear();
    spot.objID = kStranger;
    EXPECT_EQ(eval(kOcclusionPreview), 0.0);
    EXPECT_TRUE(host.casts.empty());
    EXPECT_EQ(occlusion_random_state.load(), state);
}

TEST_F(InputEval, WithoutAPerTimeRecordLookUpsKeepTheirPresets) {
    add_light(kLight, "point", LWLIGHT_POINT, Vec3(0.0, 10.0, 0.0), Vec3());
    ASSERT_EQ(data, nullptr);
    set(spot.wPos, Vec3(0.0, 2.0, 0.0));
    // Positions read as the origin, axes as zero vectors.
    EXPECT_EQ(eval(kDistance, kOther), 2.0);
    EXPECT_EQ(eval(kObjectX, kOther), 0.0);
    EXPECT_EQ(eval(kSlope), 1.0);
    EXPECT_EQ(eval(kLightIncidence, kLight), 0.0);  // toward the origin: below the spot
    // The ambient light is read at the render's time.
    render_time = 4.0;
    host.ambient = Vec3(0.3, 0.3, 0.3);
    spot.illuminate = nullptr;
    host.take_log();
    EXPECT_NEAR(eval(kAmbient), 0.3, kTol);
    EXPECT_EQ(host.count("ambient 4.0"), 1);
}

}  // namespace
}  // namespace ormel
