// The shader rendering through the built plug-in file: a box standing on a floor, shaded by
// the reference host with its Embree ray caster.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/host.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/scene.h"
#include "refhost/services.h"
#include "refhost/shader_server.h"
#include "refhost/shading_spot.h"
#include "refhost/xpanel.h"
#include "render/ray_caster.h"

namespace render {
namespace {

// The floor is kCells x kCells square cells of side kCell, centred on the origin: the
// centre of cell (i, j) is at x = -2 + 0.25 i + 0.125, z = -2 + 0.25 j + 0.125.
constexpr int kCells = 16;
constexpr float kCell = 0.25f;
constexpr float kHalf = kCells * kCell / 2;

class BoxOnFloor : public ::testing::Test {
protected:
    void SetUp() override {
        Scene &scene = host.scene();
        floor_item = &scene.add_object("Floor", "floor.lwo");
        floor_surface = &scene.add_surface(*floor_item, "Floor");
        Mesh &floor = floor_item->add_layer(0).mesh;
        std::vector<Point *> grid;
        for (int i = 0; i <= kCells; ++i)
            for (int j = 0; j <= kCells; ++j)
                grid.push_back(floor.add_point(-kHalf + kCell * static_cast<float>(i), 0,
                                               -kHalf + kCell * static_cast<float>(j)));
        auto at = [&](int i, int j) { return grid[static_cast<size_t>(i * (kCells + 1) + j)]; };
        for (int i = 0; i < kCells; ++i)
            for (int j = 0; j < kCells; ++j)
                cells.push_back(
                    floor.add_polygon({at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)}, "Floor"));

        // A unit box standing on the floor, from -0.5 to 0.5 in x and z.
        Item &box_item = scene.add_object("Box", "box.lwo");
        scene.add_surface(box_item, "Box");
        Mesh &box = box_item.add_layer(0).mesh;
        Point *c[8];
        for (int k = 0; k < 8; ++k)
            c[k] = box.add_point(k & 1 ? 0.5f : -0.5f, k & 2 ? 1.0f : 0.0f, k & 4 ? 0.5f : -0.5f);
        const int faces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 2, 6, 4},
                                 {1, 5, 7, 3}, {0, 4, 5, 1}, {2, 3, 7, 6}};
        for (const auto &f : faces) box.add_polygon({c[f[0]], c[f[1]], c[f[2]], c[f[3]]}, "Box");

        install_render_services(host);
        install_instance_services(host);
        ASSERT_TRUE(plugin.load(ORMEL_PLUGIN_PATH)) << plugin.error();
        ASSERT_EQ(plugin.activate(host, "ShaderHandler", "Ormel_Dirt", 4, &records.handler), AFUNC_OK);

        LWError error = nullptr;
        instance = records.inst.create(records.inst.priv, to_id(floor_surface), &error);
        ASSERT_NE(instance, nullptr);
        floor_surface->shaders.push_back({&records.handler, instance});

        // A dirt width that reaches a cell or two from the box.
        LWInterface iface{};
        iface.inst = instance;
        ASSERT_EQ(plugin.activate(host, "ShaderInterface", "Ormel_Dirt", 4, &iface), AFUNC_OK);
        panel = from_id(iface.panel);
        ASSERT_NE(panel, nullptr);
        panel->write("dirt_width", PanelValue::of_float(0.6));
    }

    void TearDown() override {
        if (floor_surface) floor_surface->shaders.clear();
        if (instance) records.inst.destroy(instance);
    }

    // The floor spot at the centre of cell (i, j), before shading.
    LWShaderAccess spot(int i, int j) {
        SpotRecord a{};
        const Polygon &cell = *cells[static_cast<size_t>(index(i, j))];
        EXPECT_TRUE(make_shading_spot(host.scene(), *floor_item, cell, PolygonSpot{0, 0.0, 0.5}, a));
        RayCaster::install_ray_functions(a.access);
        return a.access;
    }

    // One render of every cell centre on `threads` threads: init, newTime, the spots, cleanup.
    std::vector<LWShaderAccess> render(int threads) {
        RayCaster caster(host.scene());
        std::vector<LWShaderAccess> spots;
        {
            RayCaster::Scope scope(caster);
            for (int i = 0; i < kCells; ++i)
                for (int j = 0; j < kCells; ++j) spots.push_back(spot(i, j));
        }
        EXPECT_EQ(records.rend.init(instance, 0), nullptr);
        EXPECT_EQ(records.rend.newTime(instance, 0, 0.0), nullptr);
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([&, t] {
                RayCaster::Scope scope(caster);
                for (size_t s = static_cast<size_t>(t); s < spots.size(); s += static_cast<size_t>(threads))
                    caster.run_shaders(floor_surface, spots[s]);
            });
        for (std::thread &th : pool) th.join();
        records.rend.cleanup(instance);
        return spots;
    }

    static int index(int i, int j) { return i * kCells + j; }
    static double diffuse(const std::vector<LWShaderAccess> &spots, int i, int j) {
        return spots[static_cast<size_t>(index(i, j))].diffuse;
    }

    Host host;
    PluginFile plugin;
    ShaderServer records;
    Item *floor_item = nullptr;
    Surface *floor_surface = nullptr;
    std::vector<Polygon *> cells;
    LWInstance instance = nullptr;
    XPanel *panel = nullptr;
};

TEST_F(BoxOnFloor, FloorDarkensNextToTheBoxOnly) {
    const std::vector<LWShaderAccess> spots = render(1);
    const double open = diffuse(spots, 0, 0);
    EXPECT_EQ(open, 1.0) << "far from the box the floor keeps its diffuse";
    const double beside = diffuse(spots, 10, 8);   // x = 0.625: 0.125 from the box
    const double farther = diffuse(spots, 11, 8);  // x = 0.875: 0.375 from the box
    EXPECT_LT(beside, open);
    EXPECT_LT(beside, farther) << "darker nearer the base";
    EXPECT_LE(farther, open);
    EXPECT_LT(diffuse(spots, 5, 8), open);   // x = -0.625
    EXPECT_LT(diffuse(spots, 8, 10), open);  // z = 0.625
    EXPECT_LT(diffuse(spots, 8, 5), open);   // z = -0.625
    // With the defaults only the diffuse moves.
    const LWShaderAccess before = spot(10, 8);
    const LWShaderAccess &after = spots[static_cast<size_t>(index(10, 8))];
    EXPECT_EQ(std::memcmp(after.color, before.color, sizeof before.color), 0);
    EXPECT_EQ(after.specular, before.specular);
    EXPECT_EQ(std::memcmp(after.wNorm, before.wNorm, sizeof before.wNorm), 0);
}

TEST_F(BoxOnFloor, SelfObjectModeLooksPastTheBox) {
    panel->write("single_f", PanelValue::of_int(1));
    const std::vector<LWShaderAccess> spots = render(1);
    // Only the floor itself counts, and no ray from the floor comes back down to it.
    for (const LWShaderAccess &s : spots) EXPECT_EQ(s.diffuse, 1.0);
}

TEST_F(BoxOnFloor, OneThreadAndFourThreadsRenderAlike) {
    for (int single_f = 0; single_f < 2; ++single_f) {
        panel->write("single_f", PanelValue::of_int(single_f));
        const std::vector<LWShaderAccess> one = render(1);
        const std::vector<LWShaderAccess> four = render(4);
        ASSERT_EQ(one.size(), four.size());
        int darkened = 0;
        for (size_t s = 0; s < one.size(); ++s) {
            EXPECT_EQ(one[s].diffuse, four[s].diffuse) << s;
            EXPECT_EQ(std::memcmp(one[s].wNorm, four[s].wNorm, sizeof one[s].wNorm), 0) << s;
            darkened += one[s].diffuse < 1.0;
        }
        if (single_f == 0) {
            EXPECT_GT(darkened, 8);
        }
    }
}

}  // namespace
}  // namespace render
