#include "refhost/item_info.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "refhost/host.h"
#include "refhost/render_services.h"

namespace refhost {
namespace {

constexpr double kPi = 3.14159265358979323846;

class ItemInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        install_render_services(host);
        info = static_cast<LWItemInfo *>(host.global_func()(LWITEMINFO_GLOBAL, 0));
        ASSERT_NE(info, nullptr);
    }

    std::vector<LWItemID> walk(LWItemType type, LWItemID parent = nullptr) {
        std::vector<LWItemID> out;
        for (LWItemID id = info->first(type, parent); id; id = info->next(id)) out.push_back(id);
        return out;
    }

    Host host;
    Scene &scene = host.scene();
    LWItemInfo *info = nullptr;
};

TEST_F(ItemInfoTest, WalksEachKindInOrderAndBonesPerObject) {
    Item &a = scene.add_object("A", "a.lwo");
    Item &light = scene.add_light("Key", LWLIGHT_POINT);
    Item &b = scene.add_object("B", "b.lwo");
    Item &bone_a1 = scene.add_bone("A1", a);
    Item &bone_b1 = scene.add_bone("B1", b);
    Item &bone_a2 = scene.add_bone("A2", a);
    Item &camera = scene.add_camera("Camera");

    EXPECT_EQ(walk(LWI_OBJECT), (std::vector<LWItemID>{to_id(&a), to_id(&b)}));
    EXPECT_EQ(walk(LWI_LIGHT), (std::vector<LWItemID>{to_id(&light)}));
    EXPECT_EQ(walk(LWI_CAMERA), (std::vector<LWItemID>{to_id(&camera)}));
    EXPECT_EQ(walk(LWI_BONE, to_id(&a)), (std::vector<LWItemID>{to_id(&bone_a1), to_id(&bone_a2)}));
    EXPECT_EQ(walk(LWI_BONE, to_id(&b)), (std::vector<LWItemID>{to_id(&bone_b1)}));
    // Bones need their object; a light is no bone owner.
    EXPECT_EQ(info->first(LWI_BONE, nullptr), nullptr);
    EXPECT_EQ(info->first(LWI_BONE, to_id(&light)), nullptr);

    EXPECT_EQ(info->parent(to_id(&bone_a2)), to_id(&a));
    EXPECT_EQ(info->parent(to_id(&a)), nullptr);
    EXPECT_EQ(info->firstChild(to_id(&a)), to_id(&bone_a1));
    EXPECT_EQ(info->nextChild(to_id(&a), to_id(&bone_a1)), to_id(&bone_a2));
    EXPECT_EQ(info->nextChild(to_id(&a), to_id(&bone_a2)), nullptr);
    EXPECT_EQ(info->target(to_id(&a)), nullptr);
    EXPECT_EQ(info->goal(to_id(&bone_a1)), nullptr);
    EXPECT_EQ(info->type(to_id(&camera)), LWI_CAMERA);
    EXPECT_EQ(info->type(to_id(&bone_b1)), LWI_BONE);
    EXPECT_STREQ(info->name(to_id(&light)), "Key");
}

TEST_F(ItemInfoTest, UnknownIdsAreAnsweredWithoutTouchingThem) {
    scene.add_object("A", "a.lwo");
    EXPECT_EQ(info->next(LWITEM_RADIOSITY), nullptr);
    EXPECT_EQ(info->name(LWITEM_RADIOSITY), nullptr);
    EXPECT_EQ(info->type(nullptr), -1);
    EXPECT_EQ(info->first(7, nullptr), nullptr);
    double v[3] = {4, 5, 6};
    info->param(LWITEM_RADIOSITY, LWIP_POSITION, 0.0, v);
    EXPECT_EQ(v[0], 4.0);
    EXPECT_EQ(v[2], 6.0);
}

TEST_F(ItemInfoTest, ParamsGivePositionsAndAxesAtATime) {
    Item &a = scene.add_object("A", "a.lwo");
    a.motion.position.keys = {{0.0, {0, 0, 0}}, {1.0, {2, 4, 6}}};
    // A quarter turn of heading: +Z turns to +X, and +X to -Z.
    a.motion.rotation.set({kPi / 2, 0, 0});
    Item &child = scene.add_light("Child", LWLIGHT_POINT);
    child.parent = &a;
    child.motion.position.set({0, 0, 1});

    double v[3];
    info->param(to_id(&a), LWIP_POSITION, 0.5, v);
    EXPECT_DOUBLE_EQ(v[0], 1.0);
    EXPECT_DOUBLE_EQ(v[1], 2.0);
    EXPECT_DOUBLE_EQ(v[2], 3.0);
    info->param(to_id(&a), LWIP_FORWARD, 0.0, v);
    EXPECT_NEAR(v[0], 1.0, 1e-12);
    EXPECT_NEAR(v[2], 0.0, 1e-12);
    info->param(to_id(&a), LWIP_RIGHT, 0.0, v);
    EXPECT_NEAR(v[0], 0.0, 1e-12);
    EXPECT_NEAR(v[2], -1.0, 1e-12);
    info->param(to_id(&a), LWIP_UP, 0.0, v);
    EXPECT_NEAR(v[1], 1.0, 1e-12);
    // The child's world position follows its parent's turn and motion.
    info->param(to_id(&child), LWIP_W_POSITION, 1.0, v);
    EXPECT_NEAR(v[0], 3.0, 1e-12);
    EXPECT_NEAR(v[1], 4.0, 1e-12);
    EXPECT_NEAR(v[2], 6.0, 1e-12);
    EXPECT_EQ(info->firstChild(to_id(&a)), to_id(&child));
}

}  // namespace
}  // namespace refhost
