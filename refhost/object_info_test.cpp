#include "refhost/object_info.h"

#include <gtest/gtest.h>

#include "refhost/host.h"
#include "refhost/light_info.h"
#include "refhost/render_services.h"

namespace refhost {
namespace {

class ObjectInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        object = &scene.add_object("Box", "box.lwo");
        Mesh &top = object->add_layer(1).mesh;
        Point *a = top.add_point(0, 0, 0), *b = top.add_point(1, 0, 0), *c = top.add_point(0, 1, 0);
        top.add_polygon({a, b, c}, "Top");
        Mesh &base = object->add_layer(0).mesh;
        Point *d = base.add_point(0, 0, 0), *e = base.add_point(0, 0, 1);
        base.add_polygon({d, e}, "Base");  // a two-point line
        light = &scene.add_light("Key", LWLIGHT_DISTANT);
        install_render_services(host);
        info = static_cast<LWObjectInfo *>(host.global_func()(LWOBJECTINFO_GLOBAL, 0));
        ASSERT_NE(info, nullptr);
    }

    Host host;
    Scene &scene = host.scene();
    Item *object = nullptr;
    Item *light = nullptr;
    LWObjectInfo *info = nullptr;
};

size_t count_polygon(void *data, LWPolID) {
    ++*static_cast<int *>(data);
    return 0;
}

TEST_F(ObjectInfoTest, MeshInfoCoversEveryLayer) {
    EXPECT_STREQ(info->filename(to_id(object)), "box.lwo");
    EXPECT_EQ(info->numPoints(to_id(object)), 5);
    EXPECT_EQ(info->numPolygons(to_id(object)), 2);

    LWMeshInfo *mesh = info->meshInfo(to_id(object), 1);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->numPoints(mesh), 5);
    int polygons = 0;
    mesh->scanPolys(mesh, count_polygon, &polygons);
    EXPECT_EQ(polygons, 2);
    mesh->destroy(mesh);

    // Lights and unknown IDs have no mesh.
    EXPECT_EQ(info->meshInfo(to_id(light), 1), nullptr);
    EXPECT_EQ(info->meshInfo(LWITEM_RADIOSITY, 1), nullptr);
    EXPECT_EQ(info->numPoints(to_id(light)), 0);
    EXPECT_EQ(info->filename(to_id(light)), nullptr);
}

TEST_F(ObjectInfoTest, ExcludedListsLightsAndRadiosity) {
    Item &fill = scene.add_light("Fill", LWLIGHT_POINT);
    EXPECT_EQ(info->excluded(to_id(object), to_id(light)), 0);
    object->excluded_lights = {&fill, from_id(LWITEM_RADIOSITY)};
    EXPECT_EQ(info->excluded(to_id(object), to_id(&fill)), 1);
    EXPECT_EQ(info->excluded(to_id(object), LWITEM_RADIOSITY), 1);
    EXPECT_EQ(info->excluded(to_id(object), to_id(light)), 0);
    EXPECT_EQ(info->excluded(to_id(light), to_id(&fill)), 0);
}

TEST_F(ObjectInfoTest, EverySlotAnswersFromTheObject) {
    const LWItemID id = to_id(object);
    EXPECT_EQ(info->shadowOpts(id), unsigned(LWOSHAD_SELF | LWOSHAD_CAST | LWOSHAD_RECEIVE));
    ObjectData &props = object->object_props;
    props.shadow_options = LWOSHAD_CAST;
    props.dissolve.keys = {{0.0, {0.0, 0, 0}}, {1.0, {0.5, 0, 0}}};
    props.flags = 0x40;
    props.fog.set({0.25, 0, 0});
    props.patch_display = 2;
    props.patch_render = 5;
    props.morph_target = light;
    props.morph_amount.set({0.75, 0, 0});
    props.edge_color.set({0.1, 0.2, 0.3});
    props.subdiv_order = 1;
    EXPECT_EQ(info->shadowOpts(id), unsigned(LWOSHAD_CAST));
    EXPECT_EQ(info->dissolve(id, 0.5), 0.25);
    EXPECT_EQ(info->flags(id), 0x40u);
    EXPECT_EQ(info->fog(id, 0.0), 0.25);
    EXPECT_EQ(info->dispMap(id), nullptr);
    EXPECT_EQ(info->clipMap(id), nullptr);
    int display = 0, render = 0;
    info->patchLevel(id, &display, &render);
    EXPECT_EQ(display, 2);
    EXPECT_EQ(render, 5);
    double mb_display = 0.0, mb_render = 0.0;
    info->metaballRes(id, &mb_display, &mb_render);
    EXPECT_GT(mb_display, 0.0);
    EXPECT_EQ(info->boneSource(id), nullptr);
    EXPECT_EQ(info->morphTarget(id), to_id(light));
    EXPECT_EQ(info->morphAmount(id, 3.0), 0.75);
    EXPECT_EQ(info->edgeOpts(id), 0u);
    double edge[3];
    info->edgeColor(id, 0.0, edge);
    EXPECT_EQ(edge[2], 0.3);
    EXPECT_EQ(info->subdivOrder(id), 1);
    EXPECT_EQ(info->polygonSize(id, 0.0), 1.0);
    // Lights are not objects.
    EXPECT_EQ(info->shadowOpts(to_id(light)), 0u);
    EXPECT_EQ(info->dissolve(to_id(light), 0.0), 0.0);
}

TEST_F(ObjectInfoTest, LightSceneAndBackdropRecords) {
    auto *lights = static_cast<LWLightInfo *>(host.global_func()(LWLIGHTINFO_GLOBAL, 0));
    auto *scene_info = static_cast<LWSceneInfo *>(host.global_func()(LWSCENEINFO_GLOBAL, 0));
    auto *backdrop = static_cast<LWBackdropInfo *>(host.global_func()(LWBACKDROPINFO_GLOBAL, 0));
    ASSERT_TRUE(lights && scene_info && backdrop);

    scene.ambient_color = {1.0, 0.5, 0.25};
    scene.ambient_intensity = 0.5;
    double c[3];
    lights->ambient(0.0, c);
    EXPECT_EQ(c[0], 0.5);
    EXPECT_EQ(c[1], 0.25);
    EXPECT_EQ(c[2], 0.125);

    Item &spot = scene.add_light("Spot", LWLIGHT_SPOT);
    spot.light.color = {1.0, 0.0, 0.5};
    spot.light.intensity = 2.0;
    spot.light.flags = LWLFL_NO_SPECULAR;
    spot.light.cone_angle = 0.3;
    spot.light.cone_edge = 0.05;
    lights->color(to_id(&spot), 0.0, c);
    EXPECT_EQ(c[0], 2.0);
    EXPECT_EQ(c[2], 1.0);
    EXPECT_EQ(lights->type(to_id(&spot)), LWLIGHT_SPOT);
    EXPECT_EQ(lights->flags(to_id(&spot)), static_cast<unsigned>(LWLFL_NO_SPECULAR));
    EXPECT_EQ(lights->shadowType(to_id(&spot)), kShadowRaytrace);
    double radius = 0, edge = 0;
    lights->coneAngles(to_id(&spot), 0.0, &radius, &edge);
    EXPECT_EQ(radius, 0.3);
    EXPECT_EQ(edge, 0.05);
    EXPECT_EQ(lights->flags(to_id(object)), 0u);  // not a light

    EXPECT_EQ(scene_info->numPoints, 5);
    EXPECT_EQ(scene_info->numPolys, 2);

    scene.backdrop_color = {0.1, 0.2, 0.3};
    const double ray[3] = {0, 0, 1};
    backdrop->backdrop(0.0, ray, c);
    EXPECT_EQ(c[1], 0.2);
}

}  // namespace
}  // namespace refhost
