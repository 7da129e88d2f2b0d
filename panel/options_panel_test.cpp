// The options panel against a fake panel service: tables, hints and the view callbacks.
#include "panel/options_panel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <set>

#include "module/activation.h"
#include "tests/support/fake_param_host.h"

namespace ormel {
namespace {

using fake::ParamHost;

uintptr_t num(LWXPanelHint w) { return reinterpret_cast<uintptr_t>(w); }
const char *text(LWXPanelHint w) { return static_cast<const char *>(w); }

struct Row {
    unsigned int id;
    const char *label, *ctrl, *name, *type;
};

const Row kRows[] = {
    {0x8001, "Dirt width [m]:", "float-env", "dirt_width", "float-env"},
    {0x8002, "Dirt falloff sharpness:", "float-env", "dirt_falloff", "float-env"},
    {0x8008, "Effect amount:", "percent-env", "dirt_amount", "percent-env"},
    {0x8003, "Sampling angle:", "angle", "sample_theta", "angle"},
    {0x8004, "Jitter angle range:", "angle", "sample_jitter", "angle"},
    {0x8005, "Single sampling count:", "integer", "sample_count", "integer"},
    {0x8006, "Sampling iteration:", "integer", "sample_itr", "integer"},
    {0x8007, "Sampling scale [m]:", "float", "sample_scale", "float"},
    {0x8013, "Scan only self-object", "iBoolean", "single_f", "integer"},
    {0x800E, "color", "iBoolean", "use_color", "integer"},
    {0x800F, "diffuse", "iBoolean", "use_Kd", "integer"},
    {0x8010, "specularity", "iBoolean", "use_Ks", "integer"},
    {0x8011, "reflection", "iBoolean", "use_mirror", "integer"},
    {0x8009, "Color:", "color-env", "dirt_color", "color-env"},
    {0x800A, "Diffuse:", "percent-env", "dirt_Kd", "percent-env"},
    {0x800B, "Specularity:", "percent-env", "dirt_Ks", "percent-env"},
    {0x800C, "Reflection:", "percent-env", "dirt_mirror", "percent-env"},
    {0x8012, "bump", "iBoolean", "use_bump", "integer"},
    {0x800D, "Bump:", "percent-env", "bump", "percent-env"},
};

DirtInstance *make() { return static_cast<DirtInstance *>(dirt::create(nullptr, nullptr, nullptr)); }

TEST(OptionsPanel, HandsTheTablesAndTheInstanceToThePanelService) {
    ParamHost host;
    xpanel_funcs = &host.xpanel_funcs;
    DirtInstance *inst = make();
    ASSERT_NE(inst, nullptr);
    host.log.clear();
    LWXPanelID id = create_options_panel(inst);
    ASSERT_NE(id, nullptr);
    const std::vector<std::string> calls = {"xpanel.create", "xpanel.hint", "xpanel.describe",
                                            "xpanel.viewInst", "xpanel.setData"};
    EXPECT_EQ(host.log, calls);

    const fake::Panel *panel = ParamHost::panel(id);
    EXPECT_EQ(panel->type, LWXP_VIEW);
    EXPECT_EQ(panel->hint_id, 0u);
    EXPECT_EQ(panel->get, options_get);
    EXPECT_EQ(panel->set, options_set);
    EXPECT_EQ(panel->view_inst, inst);
    EXPECT_EQ(panel->data, inst);
    EXPECT_EQ(panel->data_id, 0u);

    const size_t rows = sizeof kRows / sizeof kRows[0];
    for (size_t i = 0; i < rows; ++i) {
        const LWXPanelControl &c = panel->controls[i];
        const LWXPanelDataDesc &v = panel->values[i];
        EXPECT_EQ(c.cid, kRows[i].id) << i;
        EXPECT_STREQ(c.label, kRows[i].label) << i;
        EXPECT_STREQ(c.ctrlclass, kRows[i].ctrl) << i;
        EXPECT_EQ(v.vid, kRows[i].id) << i;
        EXPECT_STREQ(v.name, kRows[i].name) << i;
        EXPECT_STREQ(v.datatype, kRows[i].type) << i;
    }
    EXPECT_EQ(panel->controls[rows].cid, 0u);
    EXPECT_EQ(panel->controls[rows].label, nullptr);
    EXPECT_EQ(panel->controls[rows].ctrlclass, nullptr);
    EXPECT_EQ(panel->values[rows].vid, 0u);
    EXPECT_EQ(panel->values[rows].name, nullptr);
    EXPECT_EQ(panel->values[rows].datatype, nullptr);
    dirt::destroy(inst);
}

TEST(OptionsPanel, HintWords) {
    // Texts are compared by content; every other word by value.
    struct Word {
        uintptr_t value;
        const char *text;
    };
    auto n = [](uintptr_t v) { return Word{v, nullptr}; };
    auto t = [&](const char *s) { return Word{0, s}; };
    const std::vector<Word> want = {
        n(0x3D000B03), n(0), t("Ormel's Dirt Shader version 0.44 Options"), n(0),
        n(0x3D01FE81), n(1), n(0x8001), n(0x8002), n(0x8008), n(0),
        n(0x3D01FE81), n(2), n(0x8003), n(0x8004), n(0x8005), n(0x8006), n(0x8007), n(0x8013), n(0),
        n(0x3D01FE81), n(3), n(0x800E), n(0x800F), n(0x8010), n(0x8011), n(0x8012), n(0),
        n(0x3D01FE81), n(4), n(0x8009), n(0x800A), n(0x800B), n(0x800C), n(0x800D), n(0),
        n(0x3D01F984), n(0x800E), n(0), n(0), n(0), n(0x8009), n(0),
        n(0x3D01F984), n(0x800F), n(0), n(0), n(0), n(0x800A), n(0),
        n(0x3D01F984), n(0x8010), n(0), n(0), n(0), n(0x800B), n(0),
        n(0x3D01F984), n(0x8011), n(0), n(0), n(0), n(0x800C), n(0),
        n(0x3D01F984), n(0x8012), n(0), n(0), n(0), n(0x800D), n(0),
        n(0x3D01FE81), n(0x8015), n(4), n(0),
        n(0x3D01FE81), n(0x8016), n(3), n(0),
        n(0x3D01FE81), n(0x8017), n(2), n(0),
        n(0x3D000B03), n(0x8015), t("Surface"), n(0),
        n(0x3D000B03), n(0x8016), t("Affect"), n(0),
        n(0x3D000B03), n(0x8017), t("Sampling"), n(0),
        n(0x3D020A81), n(0x8014), n(0x8015), n(0x8016), n(0x8017), n(0),
        n(0),
    };
    for (size_t i = 0; i < want.size(); ++i) {
        if (want[i].text)
            EXPECT_STREQ(text(options_hints[i]), want[i].text) << "word " << i;
        else
            EXPECT_EQ(num(options_hints[i]), want[i].value) << "word " << i;
    }
}

// Reads the enable hints as a panel service would: a control listed after a switch is
// enabled only while the switch's value is non-zero.
std::set<unsigned int> enabled_dirt_values(DirtInstance *inst) {
    std::map<unsigned int, unsigned int> enabler;  // control -> switch
    const LWXPanelHint *w = options_hints;
    while (num(*w) != 0) {
        const uintptr_t tag = num(*w++);
        if (tag == XPTAG_ENABLE) {
            const auto sw = static_cast<unsigned int>(num(*w++));
            w += 3;
            while (num(*w) != 0) enabler[static_cast<unsigned int>(num(*w++))] = sw;
            ++w;
        } else if (tag == XPTAG_LABEL) {
            w += 3;
        } else {
            ++w;  // group or tabs: the ID, then a list
            while (num(*w) != 0) ++w;
            ++w;
        }
    }
    std::set<unsigned int> enabled;
    for (unsigned int id : {0x8009u, 0x800Au, 0x800Bu, 0x800Cu, 0x800Du}) {
        auto found = enabler.find(id);
        if (found == enabler.end()) continue;
        if (*static_cast<int *>(options_get(inst, found->second)) != 0) enabled.insert(id);
    }
    return enabled;
}

TEST(OptionsPanel, OnlyDiffuseOfTheDirtValuesIsEnabledOnANewInstance) {
    ParamHost host;
    DirtInstance *inst = make();
    ASSERT_NE(inst, nullptr);
    EXPECT_EQ(enabled_dirt_values(inst), (std::set<unsigned int>{0x800A}));
    inst->use_color = 1;
    inst->use_bump = 5;
    inst->use_Kd = 0;
    EXPECT_EQ(enabled_dirt_values(inst), (std::set<unsigned int>{0x8009, 0x800D}));
    dirt::destroy(inst);
}

TEST(OptionsPanel, GetAnswersEveryKnownIdAndNullOtherwise) {
    ParamHost host;
    DirtInstance *inst = make();
    ASSERT_NE(inst, nullptr);
    const std::map<unsigned int, void *> want = {
        {0x8001, inst->dirt_width->vparm},   {0x8002, inst->dirt_falloff->vparm},
        {0x8008, inst->dirt_amount->vparm},  {0x8009, inst->dirt_color->vparm},
        {0x800A, inst->dirt_Kd->vparm},      {0x800B, inst->dirt_Ks->vparm},
        {0x800C, inst->dirt_mirror->vparm},  {0x800D, inst->dirt_bump->vparm},
        {0x8003, &inst->sample_theta},       {0x8004, &inst->sample_jitter},
        {0x8007, &inst->sample_scale},       {0x8005, &inst->sample_count},
        {0x8006, &inst->sample_itr},         {0x8013, &inst->single_f},
        {0x800E, &inst->use_color},          {0x800F, &inst->use_Kd},
        {0x8010, &inst->use_Ks},             {0x8011, &inst->use_mirror},
        {0x8012, &inst->use_bump},
    };
    for (const auto &entry : want) EXPECT_EQ(options_get(inst, entry.first), entry.second) << std::hex << entry.first;
    for (unsigned int id : {0u, 0x8000u, 0x8014u, 0x8015u, 0x8016u, 0x8017u, 0x8018u, 0xFFFFFFFFu})
        EXPECT_EQ(options_get(inst, id), nullptr) << std::hex << id;

    // The defaults read through the panel.
    EXPECT_EQ(*static_cast<double *>(options_get(inst, 0x8003)), 1.0471975511965976);
    EXPECT_EQ(*static_cast<double *>(options_get(inst, 0x8004)), 0.3490658503988659);
    EXPECT_EQ(*static_cast<int *>(options_get(inst, 0x800F)), 1);
    EXPECT_EQ(*static_cast<int *>(options_get(inst, 0x8005)), 6);
    dirt::destroy(inst);
}

TEST(OptionsPanel, SetStoresPlainValuesAsGivenAndNothingElse) {
    ParamHost host;
    DirtInstance *inst = make();
    ASSERT_NE(inst, nullptr);

    // Doubles and ints, including values no control would offer.
    const std::map<unsigned int, double DirtInstance::*> doubles = {
        {0x8003, &DirtInstance::sample_theta},
        {0x8004, &DirtInstance::sample_jitter},
        {0x8007, &DirtInstance::sample_scale}};
    const std::map<unsigned int, int DirtInstance::*> ints = {
        {0x8005, &DirtInstance::sample_count}, {0x8006, &DirtInstance::sample_itr},
        {0x8013, &DirtInstance::single_f},     {0x800E, &DirtInstance::use_color},
        {0x800F, &DirtInstance::use_Kd},       {0x8010, &DirtInstance::use_Ks},
        {0x8011, &DirtInstance::use_mirror},   {0x8012, &DirtInstance::use_bump}};
    double d = -7.5;
    for (const auto &e : doubles) {
        EXPECT_EQ(options_set(inst, e.first, &d), 1);
        EXPECT_EQ(inst->*e.second, -7.5);
    }
    int zero = 0, negative = -3;
    for (const auto &e : ints) {
        EXPECT_EQ(options_set(inst, e.first, &zero), 1);
        EXPECT_EQ(inst->*e.second, 0);
        EXPECT_EQ(options_set(inst, e.first, &negative), 1);
        EXPECT_EQ(inst->*e.second, -3);
    }

    // Parameter IDs and unknown IDs change nothing; only the answer differs.
    DirtInstance before;
    std::memcpy(&before, inst, sizeof before);
    double junk[3] = {9, 9, 9};
    for (unsigned int id : {0x8001u, 0x8002u, 0x8008u, 0x8009u, 0x800Au, 0x800Bu, 0x800Cu, 0x800Du})
        EXPECT_EQ(options_set(inst, id, junk), 1) << std::hex << id;
    for (unsigned int id : {0u, 0x8014u, 0x8015u, 0x8018u})
        EXPECT_EQ(options_set(inst, id, junk), 0) << std::hex << id;
    EXPECT_EQ(std::memcmp(&before, inst, sizeof before), 0);
    for (const PluginDataParam *p : {inst->dirt_color, inst->dirt_width})
        EXPECT_NE(ParamHost::vparm(p->vparm)->value[0], 9.0);
    dirt::destroy(inst);
}

TEST(OptionsPanel, NoPanelWithoutServiceOrWhenTheServiceRefuses) {
    ParamHost host;
    DirtInstance *inst = make();
    ASSERT_NE(inst, nullptr);
    xpanel_funcs = nullptr;
    EXPECT_EQ(create_options_panel(inst), nullptr);

    xpanel_funcs = &host.xpanel_funcs;
    host.panel_refuses = true;
    host.log.clear();
    EXPECT_EQ(create_options_panel(inst), nullptr);
    EXPECT_EQ(host.log, std::vector<std::string>{"xpanel.create"});
    dirt::destroy(inst);
}

TEST(OptionsPanel, InterfaceActivationWithoutPanelServiceSucceedsWithNullPanel) {
    ParamHost host;
    DirtInstance *inst = make();
    ASSERT_NE(inst, nullptr);
    host.host.withhold(LWXPANELFUNCS_GLOBAL);
    LWInterface iface{};
    iface.inst = inst;
    iface.panel = reinterpret_cast<LWXPanelID>(&host);
    EXPECT_EQ(interface_activate(4, host.host.global_func(), &iface, nullptr), AFUNC_OK);
    EXPECT_EQ(iface.panel, nullptr);

    host.host.restore(LWXPANELFUNCS_GLOBAL);
    EXPECT_EQ(interface_activate(4, host.host.global_func(), &iface, nullptr), AFUNC_OK);
    ASSERT_NE(iface.panel, nullptr);
    EXPECT_EQ(ParamHost::panel(iface.panel)->view_inst, inst);
    dirt::destroy(inst);
}

}  // namespace
}  // namespace ormel
