// Host service handles bound by the shader activation.
#ifndef ORMEL_MODULE_GLOBALS_H
#define ORMEL_MODULE_GLOBALS_H

#include "host/lwsdk.h"

namespace ormel {

// Written by every shader activation, read by the render threads without a lock:
// activation never runs while spots are being shaded.
struct ShaderGlobals {
    GlobalFunc *global = nullptr;
    LWItemInfo *item_info = nullptr;
    LWLightInfo *light_info = nullptr;
    LWObjectInfo *object_info = nullptr;
    LWSceneInfo *scene_info = nullptr;
    LWGlobalPool *render_memory = nullptr;
    LWImageList *image_list = nullptr;
    LWSurfaceFuncs *surface_funcs = nullptr;
    LWBackdropInfo *backdrop_info = nullptr;
};

extern ShaderGlobals shader_globals;

// Keeps the lookup function and asks for the eight services, in a fixed order, each
// with use mode 0; results are stored as they come, null included.
void acquire_shader_globals(GlobalFunc *global);

// True when all eight service handles are non-null.
bool globals_present();

}  // namespace ormel

#endif
