// The built plug-in file shading spots of the reference host's scene with scripted rays:
// the rays it casts, and what it writes, on every platform the plug-in is built for.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/host.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/scene.h"
#include "refhost/scripted_caster.h"
#include "refhost/services.h"
#include "refhost/shader_server.h"
#include "refhost/shading_spot.h"
#include "refhost/xpanel.h"

namespace refhost {
namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;

double dot(const Vec3d &a, const Vec3d &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double length(const Vec3d &a) { return std::sqrt(dot(a, a)); }

// A floor quad of 4 x 4 units at y = 0 with the shader on its surface, and a second
// object for self-object rays to pass.
class ScriptedShading : public ::testing::Test {
protected:
    void SetUp() override {
        Scene &scene = host.scene();
        floor_item = &scene.add_object("Floor", "floor.lwo");
        floor_surface = &scene.add_surface(*floor_item, "Floor");
        Mesh &mesh = floor_item->add_layer(0).mesh;
        quad = mesh.add_polygon({mesh.add_point(-2, 0, -2), mesh.add_point(-2, 0, 2), mesh.add_point(2, 0, 2),
                                 mesh.add_point(2, 0, -2)},
                                "Floor");
        other_item = &scene.add_object("Other", "other.lwo");

        install_render_services(host);
        install_instance_services(host);
        ASSERT_TRUE(plugin.load(ORMEL_PLUGIN_PATH)) << plugin.error();
        ASSERT_TRUE(activate_shader(host, plugin, "Ormel_Dirt", server, nullptr));
        LWError error = nullptr;
        instance = server.inst.create(server.inst.priv, to_id(floor_surface), &error);
        ASSERT_NE(instance, nullptr);
        LWInterface iface{};
        iface.inst = instance;
        ASSERT_EQ(plugin.activate(host, LWSHADER_ICLASS, "Ormel_Dirt", LWSHADER_VERSION, &iface), AFUNC_OK);
        panel = from_id(iface.panel);
        ASSERT_NE(panel, nullptr);
    }

    void TearDown() override {
        if (instance) server.inst.destroy(instance);
    }

    // Shades the floor's centre spot with the rays the script answers; returns the spot.
    SpotRecord shade() {
        SpotRecord spot{};
        EXPECT_TRUE(make_shading_spot(host.scene(), *floor_item, *quad, PolygonSpot{0, 0.5, 0.25}, spot));
        ScriptedCaster::install(spot.access);
        EXPECT_EQ(server.rend.init(instance, LWINIT_RENDER), nullptr);
        EXPECT_EQ(server.rend.newTime(instance, 0, 0.0), nullptr);
        server.handler.evaluate(instance, &spot.access);
        server.rend.cleanup(instance);
        return spot;
    }

    Host host;
    PluginFile plugin;
    ShaderServer server;
    Item *floor_item = nullptr;
    Item *other_item = nullptr;
    Surface *floor_surface = nullptr;
    Polygon *quad = nullptr;
    LWInstance instance = nullptr;
    XPanel *panel = nullptr;
};

TEST_F(ScriptedShading, CastsTheConeOfRaysFromTheSpotAndDarkensOnlyWhenTheyHitNearby) {
    ScriptedCaster script;
    const SpotRecord open = shade();
    // Six rays at the defaults, from the spot, within 60 +- 20 degrees of the normal.
    ASSERT_EQ(script.rays().size(), 6u);
    const Vec3d at{open.access.wPos[0], open.access.wPos[1], open.access.wPos[2]};
    for (const ScriptedRay &ray : script.rays()) {
        EXPECT_FALSE(ray.shade);
        EXPECT_EQ(ray.origin.x, at.x);
        EXPECT_EQ(ray.origin.y, at.y);
        EXPECT_EQ(ray.origin.z, at.z);
        EXPECT_NEAR(length(ray.direction), 1.0, 1e-12);
        const double angle = std::acos(ray.direction.y);
        EXPECT_GE(angle, 40.0 * kDegree - 1e-9);
        EXPECT_LE(angle, 80.0 * kDegree + 1e-9);
    }
    EXPECT_EQ(open.access.diffuse, 1.0) << "nothing in reach: the surface keeps its diffuse";

    // The same rays, answered by a wall a hundredth of the dirt width away.
    script.clear_rays();
    script.answer_distances(std::vector<double>(6, 0.0005));
    const SpotRecord dirty = shade();
    EXPECT_EQ(script.rays().size(), 6u);
    EXPECT_LT(dirty.access.diffuse, 0.6);
    EXPECT_GE(dirty.access.diffuse, 0.5);
}

TEST_F(ScriptedShading, SelfObjectModeStepsPastOtherObjectsAlongEachRay) {
    panel->write("single_f", PanelValue::of_int(1));
    ScriptedCaster script;
    // Every ray meets the other object 0.01 on, then the floor 0.0005 beyond.
    int asked = 0;
    script.answer_with([&](const ScriptedRay &) {
        return asked++ % 2 == 0 ? ScriptedAnswer{0.01, to_id(other_item)}
                                : ScriptedAnswer{0.0005, to_id(floor_item)};
    });
    const SpotRecord spot = shade();
    ASSERT_EQ(script.rays().size(), 12u);
    for (size_t i = 0; i < script.rays().size(); i += 2) {
        const ScriptedRay &first = script.rays()[i], &second = script.rays()[i + 1];
        EXPECT_TRUE(first.shade);
        EXPECT_TRUE(second.shade);
        // The second ray starts just past the first one's hit, in the same direction.
        const double step = 0.01 + 1e-6;
        EXPECT_DOUBLE_EQ(second.origin.x, first.origin.x + step * first.direction.x);
        EXPECT_DOUBLE_EQ(second.origin.y, first.origin.y + step * first.direction.y);
        EXPECT_DOUBLE_EQ(second.direction.z, first.direction.z);
    }
    // Only the floor counts, a fifth of the dirt width away along every ray.
    EXPECT_LT(spot.access.diffuse, 1.0);
    EXPECT_GT(spot.access.diffuse, 0.5);
}

}  // namespace
}  // namespace refhost
