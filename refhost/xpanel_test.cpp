// The panel service working a plug-in's view panel through its callbacks.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "refhost/host.h"
#include "refhost/services.h"
#include "refhost/xpanel.h"

namespace refhost {
namespace {

struct Settings {
    LWVParmID width = nullptr;
    double angle = 1.0;
    int count = 4;
    int use_a = 0, use_b = 1;
    LWVParmID a = nullptr, b = nullptr;
    std::vector<unsigned int> sets;
};

void *get_value(void *inst, unsigned int vid) {
    auto *s = static_cast<Settings *>(inst);
    switch (vid) {
    case 1: return s->width;
    case 2: return &s->angle;
    case 3: return &s->count;
    case 4: return &s->use_a;
    case 5: return &s->use_b;
    case 6: return s->a;
    case 7: return s->b;
    default: return nullptr;
    }
}

int set_value(void *inst, unsigned int vid, void *value) {
    auto *s = static_cast<Settings *>(inst);
    s->sets.push_back(vid);
    switch (vid) {
    case 2: s->angle = *static_cast<double *>(value); return LWXPRC_DFLT;
    case 3: s->count = *static_cast<int *>(value); return LWXPRC_DFLT;
    case 4: s->use_a = *static_cast<int *>(value); return LWXPRC_DFLT;
    case 5: s->use_b = *static_cast<int *>(value); return LWXPRC_DFLT;
    case 1:
    case 6:
    case 7: return LWXPRC_DFLT;
    default: return LWXPRC_NONE;
    }
}

LWXPanelHint H(uintptr_t w) { return reinterpret_cast<LWXPanelHint>(w); }
LWXPanelHint T(const char *text) { return reinterpret_cast<LWXPanelHint>(const_cast<char *>(text)); }

class Panels : public ::testing::Test {
protected:
    Panels() {
        s.width = vp.create(LWVP_DIST, LWVPDT_PERCENT);
        s.a = vp.create(LWVP_COLOR, LWVPDT_COLOR);
        s.b = vp.create(LWVP_PERCENT, LWVPDT_PERCENT);
        double w = 0.05;
        vp.setVal(s.width, &w);
    }
    ~Panels() override {
        for (LWVParmID p : {s.width, s.a, s.b}) vp.destroy(p);
    }

    // Builds the panel as a plug-in does: create, hint, describe, viewInst, setData.
    LWXPanelID build() {
        LWXPanelControl controls[] = {
            {1, "Width:", "float-env"}, {2, "Angle:", "angle"},     {3, "Count:", "integer"},
            {4, "a", "iBoolean"},       {5, "b", "iBoolean"},       {6, "A:", "color-env"},
            {7, "B:", "percent-env"},   {0, nullptr, nullptr},
        };
        LWXPanelDataDesc data[] = {
            {1, "width", "float-env"}, {2, "angle", "angle"},       {3, "count", "integer"},
            {4, "use_a", "integer"},   {5, "use_b", "integer"},     {6, "a", "color-env"},
            {7, "b", "percent-env"},   {0, nullptr, nullptr},
        };
        LWXPanelHint hints[] = {
            H(XPTAG_LABEL), H(0u), T("Title"), H(0u),
            H(XPTAG_GROUP), H(10u), H(2u), H(3u), H(0u),
            H(XPTAG_GROUP), H(11u), H(4u), H(5u), H(0u),
            H(XPTAG_GROUP), H(12u), H(6u), H(7u), H(0u),
            H(XPTAG_ENABLE), H(4u), H(0u), H(0u), H(0u), H(6u), H(0u),
            H(XPTAG_ENABLE), H(5u), H(0u), H(0u), H(0u), H(7u), H(0u),
            H(XPTAG_GROUP), H(20u), H(12u), H(0u),
            H(XPTAG_GROUP), H(21u), H(11u), H(10u), H(0u),
            H(XPTAG_LABEL), H(20u), T("Surface"), H(0u),
            H(XPTAG_LABEL), H(21u), T("Other"), H(0u),
            H(XPTAG_TABS), H(30u), H(20u), H(21u), H(0u),
            H(0u),
        };
        LWXPanelID panel = xp.create(LWXP_VIEW, controls);
        xp.hint(panel, 0, hints);
        xp.describe(panel, data, get_value, set_value);
        xp.viewInst(panel, &s);
        xp.setData(panel, 0, &s);
        controls[0].label = "changed";  // the host keeps its own copies
        return panel;
    }

    Host host;
    const bool installed = (install_instance_services(host), true);
    const LWXPanelFuncs &xp = *static_cast<LWXPanelFuncs *>(host.lookup(LWXPANELFUNCS_GLOBAL, 0));
    const LWVParmFuncs &vp = *static_cast<LWVParmFuncs *>(host.lookup(LWVPARMFUNCS_GLOBAL, 0));
    Settings s;
};

TEST_F(Panels, RecordsTheBuildCallsAndKeepsTheTables) {
    EXPECT_GE(xp.version, 1);
    LWXPanelID id = build();
    const XPanel &p = *from_id(id);
    std::vector<std::string> calls;
    for (const XPanelCall &c : host.component<XPanelSystem>().calls()) calls.push_back(c.what);
    EXPECT_EQ(calls, (std::vector<std::string>{"create", "hint", "describe", "viewInst", "setData"}));
    EXPECT_EQ(host.component<XPanelSystem>().last_panel(), &p);
    ASSERT_EQ(p.controls.size(), 7u);
    EXPECT_EQ(p.controls[0].label, "Width:");
    EXPECT_EQ(p.values[6].datatype, "percent-env");
    EXPECT_EQ(p.title, "Title");
    EXPECT_TRUE(p.unknown_tags.empty());
    EXPECT_EQ(p.inst, &s);
    EXPECT_EQ(xp.getData(id, 0), &s);
}

TEST_F(Panels, ReadsAndWritesThroughThePluginsCallbacks) {
    XPanel &p = *from_id(build());
    EXPECT_EQ(p.read("angle").d[0], 1.0);
    EXPECT_EQ(p.read(3u).i, 4);
    const PanelValue width = p.read("width");
    EXPECT_EQ(width.kind, PanelValue::Kind::VParm);
    EXPECT_EQ(width.vparm, s.width);
    EXPECT_EQ(width.d[0], 0.05);

    EXPECT_EQ(p.write("count", PanelValue::of_int(-2)), LWXPRC_DFLT);
    EXPECT_EQ(s.count, -2);
    EXPECT_EQ(p.write("angle", PanelValue::of_float(0.5)), LWXPRC_DFLT);
    EXPECT_EQ(s.angle, 0.5);
    // An enveloped control's value goes into the variant parameter, then the plug-in hears.
    EXPECT_EQ(p.write("a", PanelValue::of_vector(0.1, 0.2, 0.3)), LWXPRC_DFLT);
    double a[3];
    vp.getVal(s.a, 0.0, nullptr, a);
    EXPECT_EQ(a[2], 0.3);
    EXPECT_EQ(s.sets, (std::vector<unsigned int>{3, 2, 6}));
    EXPECT_EQ(p.write("nothing", PanelValue::of_int(1)), -1);
    EXPECT_EQ(p.read(99u).kind, PanelValue::Kind::None);
}

TEST_F(Panels, EnvelopeAndTextureButtonsActOnTheVariantParameter) {
    XPanel &p = *from_id(build());
    Envelope *env = p.press_envelope_button(6, 2);
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(vp.getState(s.a), LWVPSF_ENV);
    Texture *tex = p.press_texture_button(7);
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(vp.getTex(s.b), to_id(tex));
    EXPECT_EQ(s.sets, (std::vector<unsigned int>{6, 7}));
    EXPECT_EQ(p.press_texture_button(3), nullptr);  // not a variant parameter
    EXPECT_EQ(p.press_envelope_button(6, 3), nullptr);
}

TEST_F(Panels, SwitchesEnableControlsAndGroupsNestIntoTabs) {
    XPanel &p = *from_id(build());
    EXPECT_FALSE(p.enabled(6));
    EXPECT_TRUE(p.enabled(7));
    EXPECT_TRUE(p.enabled(2));  // under no switch
    p.write("use_a", PanelValue::of_int(1));
    p.write("use_b", PanelValue::of_int(0));
    EXPECT_TRUE(p.enabled(6));
    EXPECT_FALSE(p.enabled(7));

    const std::vector<PanelTab> tabs = p.tabs();
    ASSERT_EQ(tabs.size(), 2u);
    EXPECT_EQ(tabs[0].label, "Surface");
    EXPECT_EQ(tabs[0].controls, (std::vector<unsigned int>{6, 7}));
    EXPECT_EQ(tabs[1].label, "Other");
    EXPECT_EQ(tabs[1].controls, (std::vector<unsigned int>{4, 5, 2, 3}));
}

TEST_F(Panels, UnknownHintTagStopsReading) {
    LWXPanelControl controls[] = {{1, "x", "integer"}, {0, nullptr, nullptr}};
    LWXPanelHint hints[] = {H(0x3D999999u), H(1u), H(XPTAG_GROUP), H(5u), H(1u), H(0u), H(0u)};
    LWXPanelID id = xp.create(LWXP_VIEW, controls);
    xp.hint(id, 0, hints);
    EXPECT_EQ(from_id(id)->unknown_tags, (std::vector<unsigned int>{0x3D999999u}));
    EXPECT_TRUE(from_id(id)->groups.empty());
    EXPECT_EQ(xp.create(99, controls), nullptr);
}

}  // namespace
}  // namespace refhost
