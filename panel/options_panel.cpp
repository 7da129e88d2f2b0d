#include "panel/options_panel.h"

#include <cstdint>
#include <cstring>

namespace ormel {

LWXPanelFuncs *xpanel_funcs = nullptr;

namespace {

// Control and value IDs.
enum : unsigned int {
    kWidth = 0x8001,
    kFalloff = 0x8002,
    kTheta = 0x8003,
    kJitter = 0x8004,
    kCount = 0x8005,
    kIterations = 0x8006,
    kScale = 0x8007,
    kAmount = 0x8008,
    kColor = 0x8009,
    kDiffuse = 0x800A,
    kSpecular = 0x800B,
    kMirror = 0x800C,
    kBump = 0x800D,
    kUseColor = 0x800E,
    kUseDiffuse = 0x800F,
    kUseSpecular = 0x8010,
    kUseMirror = 0x8011,
    kUseBump = 0x8012,
    kSingle = 0x8013,
    kTabs = 0x8014,
    kSurfaceTab = 0x8015,
    kAffectTab = 0x8016,
    kSamplingTab = 0x8017,
};

// A zero argument word (not a terminator).
constexpr uintptr_t kZero = 0;

// One hint word from a number or a text.
LWXPanelHint word(uintptr_t value) { return reinterpret_cast<LWXPanelHint>(value); }
LWXPanelHint word(const char *text) { return const_cast<char *>(text); }

// The variant parameter behind a parameter control, or null for any other ID.
PluginDataParam *parameter_of(DirtInstance *inst, unsigned int id) {
    switch (id) {
    case kWidth: return inst->dirt_width;
    case kFalloff: return inst->dirt_falloff;
    case kAmount: return inst->dirt_amount;
    case kColor: return inst->dirt_color;
    case kDiffuse: return inst->dirt_Kd;
    case kSpecular: return inst->dirt_Ks;
    case kMirror: return inst->dirt_mirror;
    case kBump: return inst->dirt_bump;
    default: return nullptr;
    }
}

double *double_of(DirtInstance *inst, unsigned int id) {
    switch (id) {
    case kTheta: return &inst->sample_theta;
    case kJitter: return &inst->sample_jitter;
    case kScale: return &inst->sample_scale;
    default: return nullptr;
    }
}

int *int_of(DirtInstance *inst, unsigned int id) {
    switch (id) {
    case kCount: return &inst->sample_count;
    case kIterations: return &inst->sample_itr;
    case kSingle: return &inst->single_f;
    case kUseColor: return &inst->use_color;
    case kUseDiffuse: return &inst->use_Kd;
    case kUseSpecular: return &inst->use_Ks;
    case kUseMirror: return &inst->use_mirror;
    case kUseBump: return &inst->use_bump;
    default: return nullptr;
    }
}

bool is_parameter_id(unsigned int id) {
    return id == kWidth || id == kFalloff || id == kAmount || id == kColor || id == kDiffuse ||
           id == kSpecular || id == kMirror || id == kBump;
}

}  // namespace

LWXPanelControl options_controls[] = {
    {kWidth, "Dirt width [m]:", "float-env"},
    {kFalloff, "Dirt falloff sharpness:", "float-env"},
    {kAmount, "Effect amount:", "percent-env"},
    {kTheta, "Sampling angle:", "angle"},
    {kJitter, "Jitter angle range:", "angle"},
    {kCount, "Single sampling count:", "integer"},
    {kIterations, "Sampling iteration:", "integer"},
    {kScale, "Sampling scale [m]:", "float"},
    {kSingle, "Scan only self-object", "iBoolean"},
    {kUseColor, "color", "iBoolean"},
    {kUseDiffuse, "diffuse", "iBoolean"},
    {kUseSpecular, "specularity", "iBoolean"},
    {kUseMirror, "reflection", "iBoolean"},
    {kColor, "Color:", "color-env"},
    {kDiffuse, "Diffuse:", "percent-env"},
    {kSpecular, "Specularity:", "percent-env"},
    {kMirror, "Reflection:", "percent-env"},
    {kUseBump, "bump", "iBoolean"},
    {kBump, "Bump:", "percent-env"},
    {0, nullptr, nullptr},
};

LWXPanelDataDesc options_values[] = {
    {kWidth, "dirt_width", "float-env"},
    {kFalloff, "dirt_falloff", "float-env"},
    {kAmount, "dirt_amount", "percent-env"},
    {kTheta, "sample_theta", "angle"},
    {kJitter, "sample_jitter", "angle"},
    {kCount, "sample_count", "integer"},
    {kIterations, "sample_itr", "integer"},
    {kScale, "sample_scale", "float"},
    {kSingle, "single_f", "integer"},
    {kUseColor, "use_color", "integer"},
    {kUseDiffuse, "use_Kd", "integer"},
    {kUseSpecular, "use_Ks", "integer"},
    {kUseMirror, "use_mirror", "integer"},
    {kColor, "dirt_color", "color-env"},
    {kDiffuse, "dirt_Kd", "percent-env"},
    {kSpecular, "dirt_Ks", "percent-env"},
    {kMirror, "dirt_mirror", "percent-env"},
    {kUseBump, "use_bump", "integer"},
    // The panel calls the bump value "bump", unlike saved scenes.
    {kBump, "bump", "percent-env"},
    {0, nullptr, nullptr},
};

// Group 1 (width, falloff, amount) stands above the tabs; the tab "Surface" holds the five
// dirt values, each enabled by its switch in the tab "Affect"; the tab "Sampling" holds
// the sampling settings and the self-object switch.
LWXPanelHint options_hints[] = {
    word(XPTAG_LABEL), word(kZero), word("Ormel's Dirt Shader version 0.44 Options"), XPTAG_END,
    word(XPTAG_GROUP), word(1), word(kWidth), word(kFalloff), word(kAmount), XPTAG_END,
    word(XPTAG_GROUP), word(2), word(kTheta), word(kJitter), word(kCount), word(kIterations),
        word(kScale), word(kSingle), XPTAG_END,
    word(XPTAG_GROUP), word(3), word(kUseColor), word(kUseDiffuse), word(kUseSpecular),
        word(kUseMirror), word(kUseBump), XPTAG_END,
    word(XPTAG_GROUP), word(4), word(kColor), word(kDiffuse), word(kSpecular), word(kMirror),
        word(kBump), XPTAG_END,
    word(XPTAG_ENABLE), word(kUseColor), word(kZero), word(kZero), word(kZero), word(kColor), XPTAG_END,
    word(XPTAG_ENABLE), word(kUseDiffuse), word(kZero), word(kZero), word(kZero), word(kDiffuse), XPTAG_END,
    word(XPTAG_ENABLE), word(kUseSpecular), word(kZero), word(kZero), word(kZero), word(kSpecular), XPTAG_END,
    word(XPTAG_ENABLE), word(kUseMirror), word(kZero), word(kZero), word(kZero), word(kMirror), XPTAG_END,
    word(XPTAG_ENABLE), word(kUseBump), word(kZero), word(kZero), word(kZero), word(kBump), XPTAG_END,
    word(XPTAG_GROUP), word(kSurfaceTab), word(4), XPTAG_END,
    word(XPTAG_GROUP), word(kAffectTab), word(3), XPTAG_END,
    word(XPTAG_GROUP), word(kSamplingTab), word(2), XPTAG_END,
    word(XPTAG_LABEL), word(kSurfaceTab), word("Surface"), XPTAG_END,
    word(XPTAG_LABEL), word(kAffectTab), word("Affect"), XPTAG_END,
    word(XPTAG_LABEL), word(kSamplingTab), word("Sampling"), XPTAG_END,
    word(XPTAG_TABS), word(kTabs), word(kSurfaceTab), word(kAffectTab), word(kSamplingTab), XPTAG_END,
    XPTAG_END,
};

LWXPanelID create_options_panel(DirtInstance *instance) {
    LWXPanelFuncs *xpanel = xpanel_funcs;
    if (!xpanel || !instance) return nullptr;
    LWXPanelID panel = xpanel->create(LWXP_VIEW, options_controls);
    if (!panel) return nullptr;
    xpanel->hint(panel, 0, options_hints);
    xpanel->describe(panel, options_values, options_get, options_set);
    // The callbacks receive the instance itself and edit it live.
    xpanel->viewInst(panel, instance);
    xpanel->setData(panel, 0, instance);
    return panel;
}

void *options_get(void *instance, unsigned int id) {
    auto *inst = static_cast<DirtInstance *>(instance);
    if (!inst) return nullptr;
    if (PluginDataParam *param = parameter_of(inst, id)) return param->vparm;
    if (double *value = double_of(inst, id)) return value;
    return int_of(inst, id);
}

int options_set(void *instance, unsigned int id, void *value) {
    auto *inst = static_cast<DirtInstance *>(instance);
    if (!inst) return LWXPRC_NONE;
    // The host has already changed a parameter's variant parameter itself.
    if (is_parameter_id(id)) return LWXPRC_DFLT;
    double *d = double_of(inst, id);
    int *i = int_of(inst, id);
    if (!d && !i) return LWXPRC_NONE;
    // No value is tested or clamped; a missing value changes nothing.
    if (value) {
        if (d) std::memcpy(d, value, sizeof *d);
        if (i) std::memcpy(i, value, sizeof *i);
    }
    return LWXPRC_DFLT;
}

}  // namespace ormel
