// Shader instances made through the built plug-in file by the reference host: edited in
// their panel, copied, and read back through the host's own services.
#include <gtest/gtest.h>

#include <string>

#include "host/lwsdk.h"
#include "refhost/envelopes.h"
#include "refhost/host.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/scene.h"
#include "refhost/services.h"
#include "refhost/shader_server.h"
#include "refhost/textures.h"
#include "refhost/vparm.h"
#include "refhost/xpanel.h"

namespace refhost {
namespace {

class Instances : public ::testing::Test {
protected:
    void SetUp() override {
        Item &box = host.scene().add_object("Box", "box.lwo");
        wall = &host.scene().add_surface(box, "Wall");
        floor = &host.scene().add_surface(box, "Floor");
        // Two layers of "Wall" polygons in the plane z = 2, and a "Floor" far away.
        Mesh &top = box.add_layer(0).mesh;
        top.add_polygon({top.add_point(-1, 0, 2), top.add_point(3, 0, 2), top.add_point(0, 5, 2)},
                        "Wall");
        top.add_polygon({top.add_point(-9, -9, -9), top.add_point(9, -9, -9), top.add_point(0, 9, 9)},
                        "Floor");
        Mesh &second = box.add_layer(1).mesh;
        second.add_polygon({second.add_point(0, -2, 2), second.add_point(1, 1, 2),
                            second.add_point(1, -1, 2)},
                           "Wall");
        install_render_services(host);
        install_instance_services(host);
        ASSERT_TRUE(plugin.load(ORMEL_PLUGIN_PATH)) << plugin.error();
        ASSERT_EQ(plugin.activate(host, "ShaderHandler", "Ormel_Dirt", 4, &records.handler),
                  AFUNC_OK);
    }

    LWInstance create(Surface *surface) {
        LWError error = nullptr;
        LWInstance inst = records.inst.create(records.inst.priv, to_id(surface), &error);
        EXPECT_EQ(error, nullptr);
        return inst;
    }

    XPanel *panel_for(LWInstance inst) {
        LWInterface iface{};
        iface.inst = inst;
        EXPECT_EQ(plugin.activate(host, "ShaderInterface", "Ormel_Dirt", 4, &iface), AFUNC_OK);
        return from_id(iface.panel);
    }

    VParm *param(XPanel *panel, const char *name) {
        return from_id(panel->read(name).vparm);
    }

    Host host;
    PluginFile plugin;
    ShaderServer records;
    Surface *wall = nullptr;
    Surface *floor = nullptr;
    const LWVParmFuncs &vp = vparm_funcs();
};

TEST_F(Instances, PanelEditsCopiedIntoAnotherInstanceReadBackThroughTheHost) {
    LWInstance a = create(wall);
    LWInstance b = create(floor);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    XPanel *pa = panel_for(a);
    XPanel *pb = panel_for(b);
    ASSERT_NE(pa, nullptr);
    ASSERT_NE(pb, nullptr);

    // Defaults as the panel shows them.
    EXPECT_EQ(pa->read("sample_theta").d[0], 1.0471975511965976);
    EXPECT_EQ(pa->read("sample_jitter").d[0], 0.3490658503988659);
    EXPECT_EQ(pa->read("sample_count").i, 6);
    EXPECT_EQ(pa->read("dirt_width").d[0], 0.05);
    EXPECT_EQ(pa->read("bump").d[0], 1.0);
    EXPECT_FALSE(pa->enabled(0x8009));
    EXPECT_TRUE(pa->enabled(0x800A));

    // Edit a: a plain setting, a value, an envelope on the amount and a texture on the
    // diffuse, as the user would in the panel and through its envelope and texture buttons.
    EXPECT_EQ(pa->write("sample_count", PanelValue::of_int(12)), LWXPRC_DFLT);
    EXPECT_EQ(pa->write("use_color", PanelValue::of_int(1)), LWXPRC_DFLT);
    EXPECT_EQ(pa->write("dirt_width", PanelValue::of_float(0.2)), LWXPRC_DFLT);
    VParmSystem &vparms = host.component<VParmSystem>();
    Envelope *amount = vparms.enable_envelope(param(pa, "dirt_amount"), 0);
    ASSERT_NE(amount, nullptr);
    amount->add_key(1.0, 0.25);
    Texture *diffuse = vparms.attach_texture(param(pa, "dirt_Kd"));
    ASSERT_NE(diffuse, nullptr);
    TextureLayer *layer = host.component<TextureSystem>().add_layer(diffuse, TLT_PROC);
    layer->procedure = Procedure::Constant;
    layer->value[0] = layer->value[1] = layer->value[2] = 0.75;

    VParm *own[4] = {param(pb, "dirt_width"), param(pb, "dirt_amount"), param(pb, "dirt_Kd"),
                     param(pb, "dirt_color")};
    EXPECT_EQ(records.inst.copy(b, a), nullptr);

    // b shows a's settings, held in b's own variant parameters.
    EXPECT_EQ(pb->read("sample_count").i, 12);
    EXPECT_EQ(pb->read("use_color").i, 1);
    EXPECT_TRUE(pb->enabled(0x8009));
    EXPECT_EQ(param(pb, "dirt_width"), own[0]);
    EXPECT_EQ(param(pb, "dirt_amount"), own[1]);
    EXPECT_EQ(param(pb, "dirt_Kd"), own[2]);
    EXPECT_EQ(param(pb, "dirt_color"), own[3]);
    EXPECT_NE(own[0], param(pa, "dirt_width"));

    double value[3];
    vp.getVal(to_id(own[0]), 0.0, nullptr, value);
    EXPECT_EQ(value[0], 0.2);
    vp.getVal(to_id(own[1]), 0.0, nullptr, value);
    EXPECT_EQ(value[0], 1.0);
    vp.getVal(to_id(own[1]), 1.0, nullptr, value);
    EXPECT_EQ(value[0], 0.25);
    EXPECT_NE(vp.getState(to_id(own[1])) & LWVPSF_ENV, 0);

    LWTextureID copied = vp.getTex(to_id(own[2]));
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, to_id(diffuse));
    ASSERT_EQ(from_id(copied)->layers.size(), 1u);
    EXPECT_EQ(from_id(copied)->layers[0]->value[0], 0.75);
    EXPECT_EQ(vp.getTex(to_id(param(pb, "dirt_Ks"))), nullptr);

    // b's parameters stay in b's group, under the floor's channel group.
    ChannelGroup *group_b = own[0]->group;
    ASSERT_NE(group_b, nullptr);
    EXPECT_EQ(group_b->name, "Ormel_Dirt");
    EXPECT_EQ(to_id(group_b->parent), floor->channel_group);
    EXPECT_NE(own[0]->group, param(pa, "dirt_width")->group);

    records.inst.destroy(a);
    records.inst.destroy(b);
}

TEST_F(Instances, BoundingBoxOfTheSurfaceThroughTheHostsEvent) {
    LWInstance a = create(wall);
    ASSERT_NE(a, nullptr);
    XPanel *pa = panel_for(a);
    double box[6];
    EXPECT_EQ(vparm_request_bounding_box(to_id(param(pa, "dirt_width")), box), 1);
    const double want[6] = {-1.0, 3.0, -2.0, 5.0, 2.0, 2.0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(box[i], want[i]) << i;
    records.inst.destroy(a);
}

TEST_F(Instances, ColourSubgroupsAreNamedPerInstance) {
    LWInstance a = create(wall);
    LWInstance b = create(wall);
    ASSERT_TRUE(a && b);
    VParm *ca = param(panel_for(a), "dirt_color");
    VParm *cb = param(panel_for(b), "dirt_color");
    ASSERT_TRUE(ca->group && cb->group);
    EXPECT_EQ(ca->group->name.rfind("dirt_color_", 0), 0u);
    EXPECT_EQ(ca->group->name.size(), 19u);
    EXPECT_NE(ca->group->name, cb->group->name);
    records.inst.destroy(a);
    records.inst.destroy(b);
}

TEST_F(Instances, RefusedWithoutVariantParameters) {
    host.withhold(LWVPARMFUNCS_GLOBAL);
    EXPECT_EQ(create(wall), nullptr);
}

}  // namespace
}  // namespace refhost
