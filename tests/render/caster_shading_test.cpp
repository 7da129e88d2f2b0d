// The plug-in's shader run by the reference host's ray caster on a floor beside a box.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/host.h"
#include "refhost/plugin.h"
#include "refhost/render_memory.h"
#include "refhost/render_services.h"
#include "refhost/services.h"
#include "render/ray_caster.h"

namespace render {
namespace {

class CasterShading : public ::testing::Test {
protected:
    void SetUp() override {
        install_instance_services(host);
        install_render_services(host);
        build_scene();
        ASSERT_TRUE(plugin.load(ORMEL_PLUGIN_PATH)) << plugin.error();
        handler.inst = &inst_funcs;
        handler.item = &item_funcs;
        handler.rend = &rend_funcs;
        ASSERT_EQ(plugin.activate(host, LWSHADER_HCLASS, "Ormel_Dirt", LWSHADER_VERSION, &handler), AFUNC_OK);
        LWError error = nullptr;
        instance = inst_funcs.create(inst_funcs.priv, to_id(floor_surface), &error);
        ASSERT_NE(instance, nullptr);
        floor_surface->shaders.push_back({&handler, instance});
        ASSERT_EQ(rend_funcs.init(instance, LWINIT_RENDER), nullptr);
        ASSERT_EQ(rend_funcs.newTime(instance, 0, 0.0), nullptr);
    }

    void TearDown() override {
        if (instance) {
            rend_funcs.cleanup(instance);
            inst_funcs.destroy(instance);
        }
    }

    void build_scene() {
        Scene &scene = host.scene();
        Item &floor = scene.add_object("Floor", "floor.lwo");
        floor_surface = &scene.add_surface(floor, "Floor");
        Mesh &fm = floor.add_layer(0).mesh;
        fm.add_polygon({fm.add_point(-10, 0, -10), fm.add_point(-10, 0, 10), fm.add_point(10, 0, 10),
                        fm.add_point(10, 0, -10)},
                       "Floor");
        Item &box = scene.add_object("Box", "box.lwo");
        scene.add_surface(box, "Box");
        Mesh &bm = box.add_layer(0).mesh;
        // Only the box's +x wall matters here: a quad facing +x at x = 1.
        bm.add_polygon({bm.add_point(1, 0, -1), bm.add_point(1, 2, -1), bm.add_point(1, 2, 1), bm.add_point(1, 0, 1)},
                       "Box");
    }

    // Shades the floor spot under (x, z) through the host's rayShade, as a renderer would.
    LWShaderAccess shade_floor_at(double x, double z) {
        const double from[3] = {x, 5.0, z}, down[3] = {0, -1, 0};
        SpotRecord spot{};
        EXPECT_EQ(RayCaster::ray_shade(from, down, &spot.access), 5.0);
        return spot.access;
    }

    Host host;
    PluginFile plugin;
    LWInstanceFuncs inst_funcs{};
    LWItemFuncs item_funcs{};
    LWRenderFuncs rend_funcs{};
    LWShaderHandler handler{};
    LWInstance instance = nullptr;
    Surface *floor_surface = nullptr;
};

TEST_F(CasterShading, DirtGathersBesideTheWallOnly) {
    RayCaster caster(host.scene());
    RayCaster::Scope scope(caster);
    // Beside the wall the sample rays meet it within the dirt width: the diffuse level moves
    // towards the dirt's; far away nothing changes.
    const LWShaderAccess near = shade_floor_at(1.005, 0.0);
    const LWShaderAccess far = shade_floor_at(6.0, 0.0);
    EXPECT_LT(near.diffuse, floor_surface->values.diffuse) << near.diffuse;
    EXPECT_GE(near.diffuse, 0.5);
    EXPECT_EQ(far.diffuse, floor_surface->values.diffuse);
    // Each render thread's re-entry flag lives in the render memory pool.
    EXPECT_GE(host.component<RenderMemory>().count(), 1u);
}

// Render threads shade spots at once through one caster; every spot comes out as it does
// when shaded alone.
TEST_F(CasterShading, ThreadsShadeSpotsAsOneThreadDoes) {
    RayCaster caster(host.scene());
    std::vector<double> xs;
    for (int i = 0; i < 24; ++i) xs.push_back(1.001 + 0.002 * i);
    std::vector<double> alone;
    {
        RayCaster::Scope scope(caster);
        for (double x : xs) alone.push_back(shade_floor_at(x, 0.25).diffuse);
    }
    std::vector<std::vector<double>> seen(3, std::vector<double>(xs.size()));
    std::vector<std::thread> threads;
    for (size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&, t] {
            RayCaster::Scope scope(caster);
            for (size_t i = 0; i < xs.size(); ++i) seen[t][i] = shade_floor_at(xs[i], 0.25).diffuse;
        });
    }
    for (auto &th : threads) th.join();
    for (const auto &row : seen) EXPECT_EQ(row, alone);
    EXPECT_LT(alone.front(), alone.back());  // dirt fades away from the wall
}

}  // namespace
}  // namespace render
