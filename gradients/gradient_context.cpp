#include "gradients/gradient_context.h"

#include "gradients/input_eval.h"
#include "gradients/input_time.h"
#include "module/globals.h"
#include "module/module_state.h"

namespace ormel {

namespace {

constexpr double kHalfPi = 1.5707963267948966;

// Kinds of item the user may pick for an input.
constexpr int kNoItem = -1;
constexpr int kObject = 0;
constexpr int kLight = 1;
constexpr int kCamera = 2;
constexpr int kWeightMap = 4;

constexpr LWTxtrParamDesc row(const char *name, double start, double end, int type, int flags,
                              int itemType) {
    return LWTxtrParamDesc{const_cast<char *>(name), start, end, type, flags, itemType,
                           nullptr, nullptr};
}

const LWTxtrParamFuncs kInputCallbacks = {evaluate_input, input_time_create, input_time_free};

LWTextureFuncs *lookup_texture_funcs() {
    GlobalFunc *global = shader_globals.global;
    if (!global) return nullptr;
    return static_cast<LWTextureFuncs *>(global(LWTEXTUREFUNCS_GLOBAL, GFUSE_TRANSIENT));
}

}  // namespace

//                    name                              start    end     type            flags item
const LWTxtrParamDesc GradientInputTable[kGradientInputCount + 1] = {
    row("Bump",                           0.0,     1.0,     LWIPT_FLOAT,    0x4, kNoItem),
    row("Slope",                          0.0,     1.0,     LWIPT_FLOAT,    0xC, kNoItem),
    row("Incidence Angle",                0.0,     kHalfPi, LWIPT_ANGLE,    0xC, kNoItem),
    row("Light Incidence",                0.0,     kHalfPi, LWIPT_ANGLE,    0xC, kLight),
    row("Distance to Camera",             0.0,     10.0,    LWIPT_DISTANCE, 0x4, kCamera),
    row("Distance to Object",             0.0,     10.0,    LWIPT_DISTANCE, 0x4, kObject),
    row("X Distance to Object",           0.0,     10.0,    LWIPT_DISTANCE, 0x4, kObject),
    row("Y Distance to Object",           0.0,     10.0,    LWIPT_DISTANCE, 0x4, kObject),
    row("Z Distance to Object",           0.0,     10.0,    LWIPT_DISTANCE, 0x4, kObject),
    row("Weight Map",                     -1.0,    1.0,     LWIPT_PERCENT,  0x4, kWeightMap),
    row("Surface Thickness",              0.0,     1.0,     LWIPT_DISTANCE, 0x4, kNoItem),
    row("Object X Axis",                  -kHalfPi, kHalfPi, LWIPT_ANGLE,    0xC, kObject),
    row("Object Y Axis",                  -kHalfPi, kHalfPi, LWIPT_ANGLE,    0xC, kObject),
    row("Object Z Axis",                  -kHalfPi, kHalfPi, LWIPT_ANGLE,    0xC, kObject),
    row("World X Axis",                   -kHalfPi, kHalfPi, LWIPT_ANGLE,    0xC, kNoItem),
    row("World Y Axis",                   -kHalfPi, kHalfPi, LWIPT_ANGLE,    0xC, kNoItem),
    row("World Z Axis",                   -kHalfPi, kHalfPi, LWIPT_ANGLE,    0xC, kNoItem),
    row("XY Distance to Object",          0.0,     10.0,    LWIPT_DISTANCE, 0x4, kObject),
    row("YZ Distance to Object",          0.0,     10.0,    LWIPT_DISTANCE, 0x4, kObject),
    row("ZX Distance to Object",          0.0,     10.0,    LWIPT_DISTANCE, 0x4, kObject),
    row("Light Specular Incidence",       0.0,     1.0,     LWIPT_FLOAT,    0xC, kLight),
    row("Light Phong Incidence",          0.0,     1.0,     LWIPT_FLOAT,    0xC, kLight),
    row("Gradient Ambient",               0.0,     1.0,     LWIPT_FLOAT,    0x4, kNoItem),
    row("Gradient Diffuse",               0.0,     1.0,     LWIPT_FLOAT,    0x4, kNoItem),
    row("Gradient Specular",              0.0,     1.0,     LWIPT_FLOAT,    0x4, kNoItem),
    row("Gradient Phong",                 0.0,     1.0,     LWIPT_FLOAT,    0x4, kNoItem),
    row("Ambient Occlusion (Preview)",    0.0,     1.0,     LWIPT_FLOAT,    0xC, kNoItem),
    row("Ambient Occlusion (Low)",        0.0,     1.0,     LWIPT_FLOAT,    0xC, kNoItem),
    row("Ambient Occlusion (Medium)",     0.0,     1.0,     LWIPT_FLOAT,    0xC, kNoItem),
    row("Ambient Occlusion (High)",       0.0,     1.0,     LWIPT_FLOAT,    0xC, kNoItem),
    row("Ambient Occlusion (Very High)",  0.0,     1.0,     LWIPT_FLOAT,    0xC, kNoItem),
    row("Half Occlusion (Preview)",       0.0,     1.0,     LWIPT_FLOAT,    0xC, kNoItem),
    row("Half Occlusion (Low)",           0.0,     1.0,     LWIPT_FLOAT,    0xC, kNoItem),
    row("Half Occlusion (Medium)",        0.0,     1.0,     LWIPT_FLOAT,    0xC, kNoItem),
    row("Half Occlusion (High)",          0.0,     1.0,     LWIPT_FLOAT,    0xC, kNoItem),
    row("Half Occlusion (Very High)",     0.0,     1.0,     LWIPT_FLOAT,    0xC, kNoItem),
    row(nullptr,                          0.0,     0.0,     0,              0,   0),
};

GradientContextHolder::~GradientContextHolder() { gradient_context_destroy(); }

void gradient_context_create() {
    LWTextureFuncs *texture_funcs = lookup_texture_funcs();
    if (!texture_funcs) return;
    LWTxtrContextID &context = module_state.gradient_context.id;
    context = texture_funcs->contextCreate(kInputCallbacks);
    // The host numbers the inputs by the order in which they are added, from 1.
    for (const LWTxtrParamDesc *desc = GradientInputTable; desc->name; ++desc) {
        texture_funcs->contextAddParam(context, *desc);
    }
}

void gradient_context_destroy() {
    const LWTxtrContextID context = module_state.gradient_context.id;
    if (!context) return;
    LWTextureFuncs *texture_funcs = lookup_texture_funcs();
    if (!texture_funcs) return;
    texture_funcs->contextDestroy(context);
}

}  // namespace ormel
