// The instance services serving the built plug-in: its instance, panel, textures and
// saved data, as a host drives them.
#include <gtest/gtest.h>

#include "refhost/block_io.h"
#include "refhost/host.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/services.h"
#include "refhost/textures.h"
#include "refhost/vparm.h"
#include "refhost/xpanel.h"

namespace refhost {
namespace {

class InstanceServices : public ::testing::Test {
protected:
    void SetUp() override {
        install_render_services(host);
        install_instance_services(host);
        ASSERT_TRUE(plugin.load(ORMEL_PLUGIN_PATH)) << plugin.error();
        handler.inst = &inst;
        handler.item = &item;
        handler.rend = &rend;
        ASSERT_EQ(plugin.activate(host, LWSHADER_HCLASS, "Ormel_Dirt", LWSHADER_VERSION, &handler), AFUNC_OK);
    }

    LWInstance create() {
        LWError err = nullptr;
        LWInstance i = inst.create(inst.priv, to_id(surface), &err);
        EXPECT_NE(i, nullptr);
        made.push_back(i);
        return i;
    }
    XPanel &panel_of(LWInstance i) {
        LWInterface iface{};
        iface.inst = i;
        EXPECT_EQ(plugin.activate(host, LWSHADER_ICLASS, "Ormel_Dirt", LWSHADER_VERSION, &iface), AFUNC_OK);
        return *from_id(iface.panel);
    }
    void TearDown() override {
        for (LWInstance i : made) inst.destroy(i);
    }

    Host host;
    Item &object = host.scene().add_object("Box", "box.lwo");
    Surface *surface = &host.scene().add_surface(object, "Wall");
    PluginFile plugin;
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWRenderFuncs rend{};
    LWShaderHandler handler{};
    std::vector<LWInstance> made;
};

TEST_F(InstanceServices, PanelShowsTheInstanceInTabs) {
    XPanel &p = panel_of(create());
    const std::vector<PanelTab> tabs = p.tabs();
    ASSERT_EQ(tabs.size(), 3u);
    EXPECT_EQ(tabs[0].label, "Surface");
    EXPECT_EQ(tabs[1].label, "Affect");
    EXPECT_EQ(tabs[2].label, "Sampling");
    EXPECT_EQ(tabs[2].controls.size(), 6u);
    // Of the five dirt values only "Diffuse:" starts enabled; its switch turns it off.
    for (unsigned int cid : tabs[0].controls) EXPECT_EQ(p.enabled(cid), cid == 0x800A) << std::hex << cid;
    EXPECT_EQ(p.write("use_Kd", PanelValue::of_int(0)), LWXPRC_DFLT);
    EXPECT_FALSE(p.enabled(0x800A));
    EXPECT_DOUBLE_EQ(p.read("dirt_width").d[0], 0.05);
}

TEST_F(InstanceServices, TexturedSettingRoundTripsThroughSceneData) {
    LWInstance a = create();
    XPanel &p = panel_of(a);
    p.write("dirt_width", PanelValue::of_float(0.25));
    VParm *width = from_id(p.read("dirt_width").vparm);
    Texture *t = host.component<VParmSystem>().attach_texture(width);
    ASSERT_NE(t, nullptr);
    // The plug-in answered the new texture by giving it its instance group; the texture
    // lives in the plug-in's context with its gradient inputs.
    EXPECT_NE(t->env_group, nullptr);
    EXPECT_EQ(t->env_group, width->group);
    ASSERT_NE(t->context, nullptr);
    EXPECT_EQ(t->context->inputs.size(), 36u);
    TextureSystem &tex = host.component<TextureSystem>();
    tex.add_layer(t, TLT_PROC)->set_opacity(0.5);
    Image &img = host.scene().add_image("Wood.png", "Wood.png");
    tex.add_layer(t, TLT_IMAGE)->image = &img;

    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        BlockWriter w(mode);
        ASSERT_EQ(inst.save(a, w.state()), nullptr);
        LWInstance b = create();
        BlockReader r(mode, w.bytes());
        ASSERT_EQ(inst.load(b, r.state()), nullptr);
        const PanelValue loaded = panel_of(b).read("dirt_width");
        EXPECT_EQ(loaded.d[0], 0.25);
        const Texture *back = from_id(loaded.vparm)->texture;
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->layers.size(), 2u);
        EXPECT_EQ(back->layers[0]->opacity_at(0.0), 0.5);
        EXPECT_EQ(back->layers[1]->image, &img);
        EXPECT_EQ(back->env_group, from_id(loaded.vparm)->group);
    }
}

}  // namespace
}  // namespace refhost
