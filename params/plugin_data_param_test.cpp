// Parameter objects against a fake host: registration, events, time, bounding boxes.
#include "params/plugin_data_param.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>

#include "params/param_library.h"
#include "params/services.h"
#include "tests/support/fake_param_host.h"

namespace ormel {
namespace {

using fake::ParamHost;

std::string subgroup_name(const char *name, const void *object) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s_%08x", name,
                  static_cast<unsigned>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object))));
    return buf;
}

TEST(PluginDataParam, SetsUpScalarInTheGivenGroupThenZeroes) {
    ParamHost host;
    LWSurfaceID surface = host.add_surface("Wall");
    LWChanGroupID group = create_instance_group("Ormel_Dirt", surface);
    host.log.clear();
    PluginDataParam param("dirt_width", LWVP_DIST, LWVPDT_PERCENT, group, "Ormel_Dirt", surface);

    EXPECT_EQ(param.env_type, LWVP_DIST);
    EXPECT_EQ(param.tex_type, LWVPDT_PERCENT);
    EXPECT_EQ(param.group, group);
    EXPECT_EQ(param.surface, surface);
    ASSERT_NE(param.vparm, nullptr);
    const fake::VParm *v = ParamHost::vparm(param.vparm);
    EXPECT_EQ(v->env_type, LWVP_DIST);
    EXPECT_EQ(v->tex_type, LWVPDT_PERCENT);
    EXPECT_TRUE(v->set_up);
    EXPECT_EQ(v->channel, "dirt_width");
    EXPECT_EQ(v->group, group);
    EXPECT_NE(v->context, nullptr);
    EXPECT_EQ(v->event, param_event);
    EXPECT_EQ(v->plugin, "Ormel_Dirt");
    EXPECT_EQ(v->user_data, &param);
    EXPECT_EQ(v->value, (std::array<double, 3>{0.0, 0.0, 0.0}));
    // create, then the context on first need, then setup, then the zero value.
    const std::vector<std::string> want = {"create", "contextCreate", "setup", "setVal"};
    EXPECT_EQ(host.log, want);
}

TEST(PluginDataParam, ColourChannelsGoIntoASubgroupNamedAfterTheObject) {
    ParamHost host;
    LWChanGroupID group = create_instance_group("Ormel_Dirt", nullptr);
    auto a = std::make_unique<PluginDataParam>("dirt_color", LWVP_COLOR, LWVPDT_COLOR, group,
                                               "Ormel_Dirt", nullptr);
    auto b = std::make_unique<PluginDataParam>("dirt_color", LWVP_COLOR, LWVPDT_COLOR, group,
                                               "Ormel_Dirt", nullptr);
    const fake::VParm *va = ParamHost::vparm(a->vparm);
    const fake::VParm *vb = ParamHost::vparm(b->vparm);

    EXPECT_EQ(va->channel, subgroup_name("dirt_color", a.get()));
    EXPECT_EQ(va->channel.size(), std::string("dirt_color_").size() + 8);
    EXPECT_NE(va->channel, vb->channel);
    ASSERT_NE(va->group, nullptr);
    EXPECT_NE(va->group, group);
    EXPECT_EQ(ParamHost::group(va->group)->parent, group);
    EXPECT_EQ(ParamHost::group(va->group)->name, va->channel);
    // The parameter still belongs to the instance group.
    EXPECT_EQ(a->group, group);
}

TEST(PluginDataParam, UntexturedParameterNeitherMakesNorUsesTheContext) {
    ParamHost host;
    PluginDataParam falloff("dirt_falloff", LWVP_FLOAT, LWVPDT_NOTXTR, nullptr, "Ormel_Dirt",
                            nullptr);
    EXPECT_EQ(ParamHost::vparm(falloff.vparm)->context, nullptr);
    EXPECT_EQ(host.contexts_created, 0);

    PluginDataParam amount("dirt_amount", LWVP_PERCENT, LWVPDT_PERCENT, nullptr, "Ormel_Dirt",
                           nullptr);
    PluginDataParam bump("dirt_bump", LWVP_PERCENT, LWVPDT_VECTOR, nullptr, "Ormel_Dirt",
                         nullptr);
    EXPECT_EQ(host.contexts_created, 1);
    EXPECT_NE(ParamHost::vparm(amount.vparm)->context, nullptr);
    EXPECT_EQ(ParamHost::vparm(bump.vparm)->context, ParamHost::vparm(amount.vparm)->context);
}

TEST(PluginDataParam, DestructorDestroysOnlyItsVariantParameter) {
    ParamHost host;
    LWChanGroupID group = create_instance_group("Ormel_Dirt", nullptr);
    auto *param = new PluginDataParam("dirt_color", LWVP_COLOR, LWVPDT_COLOR, group,
                                      "Ormel_Dirt", nullptr);
    const fake::VParm *v = ParamHost::vparm(param->vparm);
    host.log.clear();
    delete param;
    EXPECT_TRUE(v->destroyed);
    // Channel groups are the host's and stay.
    EXPECT_EQ(host.log, std::vector<std::string>{"destroy"});
}

TEST(PluginDataParam, TimeAndCleanupReachTheTextureOnlyWhenThereIsOne) {
    ParamHost host;
    PluginDataParam param("dirt_amount", LWVP_PERCENT, LWVPDT_PERCENT, nullptr, "Ormel_Dirt",
                          nullptr);
    host.log.clear();
    param.texture_new_time(1.5, 36);
    param.texture_cleanup();
    EXPECT_TRUE(host.log.empty());

    fake::Texture *texture = host.give_texture(param.vparm);
    param.texture_new_time(2.25, 54);
    param.texture_cleanup();
    ASSERT_EQ(texture->new_times.size(), 1u);
    EXPECT_EQ(texture->new_times[0].first, 2.25);
    EXPECT_EQ(texture->new_times[0].second, 54);
    EXPECT_EQ(texture->cleanups, 1);
}

TEST(ParamEvent, EnvelopeGroupRequestSetsTheInstanceGroupOnTheTexture) {
    ParamHost host;
    LWChanGroupID group = create_instance_group("Ormel_Dirt", nullptr);
    PluginDataParam colour("dirt_color", LWVP_COLOR, LWVPDT_COLOR, group, "Ormel_Dirt", nullptr);
    PluginDataParam groupless("dirt_amount", LWVP_PERCENT, LWVPDT_PERCENT, nullptr,
                              "Ormel_Dirt", nullptr);

    // No texture yet: nothing happens, and the answer is still 1.
    host.log.clear();
    EXPECT_EQ(param_event(colour.vparm, &colour, 7, nullptr), 1);
    EXPECT_TRUE(host.log.empty());

    fake::Texture *texture = host.give_texture(colour.vparm);
    EXPECT_EQ(param_event(colour.vparm, &colour, 7, nullptr), 1);
    // The instance group, not the colour's own subgroup.
    EXPECT_EQ(texture->env_group, group);

    fake::Texture *other = host.give_texture(groupless.vparm);
    EXPECT_EQ(param_event(groupless.vparm, &groupless, 7, nullptr), 1);
    EXPECT_EQ(other->env_group, nullptr);

    // Any other code does nothing.
    host.log.clear();
    double box[6] = {7, 7, 7, 7, 7, 7};
    for (int code : {0, 1, 3, 6, 8, -1}) EXPECT_EQ(param_event(colour.vparm, &colour, code, box), 1);
    EXPECT_TRUE(host.log.empty());
    for (double b : box) EXPECT_EQ(b, 7.0);
}

// One object "a.lwo" with two layers, whose "Wall" polygons lie in the plane z = 2.
void add_wall_object(ParamHost &host, LWSurfaceID wall, LWSurfaceID floor) {
    fake::Layer top;
    top.polygons.push_back({"Wall", {{{-1.f, 0.f, 2.f}}, {{3.f, 0.f, 2.f}}, {{0.f, 5.f, 2.f}}}});
    top.polygons.push_back({"Floor", {{{-100.f, -100.f, -100.f}}, {{100.f, 0.f, 0.f}}}});
    fake::Layer second;
    second.polygons.push_back({"Wall", {{{0.f, -2.f, 2.f}}, {{1.f, 1.f, 2.f}}}});
    fake::Layer absent;
    absent.exists = false;
    absent.polygons.push_back({"Wall", {{{50.f, 50.f, 50.f}}}});
    fake::Layer meshless;
    meshless.has_mesh = false;
    host.objects.push_back({"a.lwo", {floor, wall}, {top, absent, meshless, second}});
}

TEST(ParamEvent, BoundingBoxRequest) {
    ParamHost host;
    LWSurfaceID wall = host.add_surface("Wall");
    LWSurfaceID floor = host.add_surface("Floor");
    add_wall_object(host, wall, floor);
    // An object that does not list "Wall" is not scanned even if its tags say "Wall".
    fake::Layer stray;
    stray.polygons.push_back({"Wall", {{{90.f, 90.f, 90.f}}}});
    host.objects.push_back({"b.lwo", {floor}, {stray}});
    host.objects.push_back({nullptr, {wall}, {stray}});

    PluginDataParam surfaced("dirt_width", LWVP_DIST, LWVPDT_PERCENT, nullptr, "Ormel_Dirt", wall);
    double box[6] = {};
    EXPECT_EQ(param_event(surfaced.vparm, &surfaced, 2, box), 1);
    const double want[6] = {-1.0, 3.0, -2.0, 5.0, 2.0, 2.0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(box[i], want[i]) << i;
    EXPECT_EQ(host.meshes_handed_out, 2);
    EXPECT_EQ(host.meshes_released, 2);

    PluginDataParam bare("dirt_width", LWVP_DIST, LWVPDT_PERCENT, nullptr, "Ormel_Dirt", nullptr);
    EXPECT_EQ(param_event(bare.vparm, &bare, 2, box), 1);
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_EQ(box[2 * axis], -0.5);
        EXPECT_EQ(box[2 * axis + 1], 0.5);
    }
}

TEST(SurfaceBoundingBox, FallsBackWhenNoPolygonCarriesTheSurface) {
    ParamHost host;
    LWSurfaceID wall = host.add_surface("Wall");
    LWSurfaceID glass = host.add_surface("Glass");
    add_wall_object(host, wall, glass);
    double box[6];
    EXPECT_FALSE(surface_bounding_box(glass, box));
    const double want[6] = {-0.5, 0.5, -0.5, 0.5, -0.5, 0.5};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(box[i], want[i]) << i;
    // Meshes the host cannot release are left alone.
    host.objects[0].layers[0].releasable = false;
    EXPECT_TRUE(surface_bounding_box(wall, box));
    EXPECT_EQ(host.meshes_handed_out - host.meshes_released, 1);
}

TEST(GrowBoxByPolygon, MatchesTagsExactlyAndIgnoresEmptyPolygons) {
    ParamHost host;
    fake::Layer layer;
    layer.polygons.push_back({"Wall", {}});
    layer.polygons.push_back({"wall", {{{9.f, 9.f, 9.f}}}});
    layer.polygons.push_back({nullptr, {{{-4.f, 0.f, 0.f}}}});
    layer.polygons.push_back({"Wall", {{{0.25f, 0.5f, 0.75f}}}});
    host.objects.push_back({"c.lwo", {}, {layer}});
    LWMeshInfo *mesh = host.object_funcs.layerMesh(0, 0);

    double box[6] = {1e16, -1e16, 1e16, -1e16, 1e16, -1e16};
    PolygonScanData named{"Wall", mesh, box};
    auto pol = [&](int i) {
        return reinterpret_cast<LWPolID>(&host.objects[0].layers[0].polygons[static_cast<size_t>(i)]);
    };
    EXPECT_EQ(grow_box_by_polygon(&named, pol(0)), 0u);
    EXPECT_EQ(box[0], 1e16);
    EXPECT_EQ(box[1], -1e16);
    EXPECT_EQ(grow_box_by_polygon(&named, pol(1)), 0u);
    EXPECT_EQ(grow_box_by_polygon(&named, pol(2)), 0u);
    EXPECT_EQ(box[0], 1e16);
    EXPECT_EQ(grow_box_by_polygon(&named, pol(3)), 0u);
    const double want[6] = {0.25, 0.25, 0.5, 0.5, 0.75, 0.75};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(box[i], want[i]) << i;

    // A polygon without a tag matches only a surface without a name.
    PolygonScanData unnamed{nullptr, mesh, box};
    EXPECT_EQ(grow_box_by_polygon(&unnamed, pol(2)), 0u);
    EXPECT_EQ(box[0], -4.0);
    EXPECT_EQ(grow_box_by_polygon(&unnamed, pol(3)), 0u);
    EXPECT_EQ(box[5], 0.75);
    mesh->destroy(mesh);
}

TEST(ObjectUsesSurface, LooksTheSurfaceUpInTheObjectsList) {
    ParamHost host;
    LWSurfaceID wall = host.add_surface("Wall");
    LWSurfaceID floor = host.add_surface("Floor");
    host.objects.push_back({"a.lwo", {floor, wall}, {}});
    host.objects.push_back({"b.lwo", {floor}, {}});
    acquire_host_services();
    EXPECT_TRUE(object_uses_surface("a.lwo", wall));
    EXPECT_FALSE(object_uses_surface("b.lwo", wall));
    EXPECT_FALSE(object_uses_surface("missing.lwo", wall));
    EXPECT_FALSE(object_uses_surface(nullptr, wall));
}

}  // namespace
}  // namespace ormel
