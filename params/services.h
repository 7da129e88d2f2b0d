// The host services the parameter library reaches, in two tables filled on first use.
#ifndef ORMEL_PARAMS_SERVICES_H
#define ORMEL_PARAMS_SERVICES_H

#include "host/lwsdk.h"

namespace ormel {

// Filled by acquire_param_services (from the PluginDataParam constructor).
struct ParamServices {
    LWVParmFuncs *vparm = nullptr;
    LWEnvelopeFuncs *envelope = nullptr;
    LWTextureFuncs *texture = nullptr;
};

// Filled by acquire_host_services.
struct HostServices {
    LWItemInfo *item_info = nullptr;
    LWLightInfo *light_info = nullptr;
    LWObjectInfo *object_info = nullptr;
    LWTextureFuncs *texture = nullptr;
    LWImageList *image_list = nullptr;
    LWVParmFuncs *vparm = nullptr;
    LWEnvelopeFuncs *envelope = nullptr;
    LWSurfaceFuncs *surface = nullptr;
    LWChannelInfo *channel_info = nullptr;
    LWObjectFuncs *scene_objects = nullptr;
};

extern ParamServices param_services;
extern HostServices host_services;

// Each looks its table up once: while every handle of the table is still null, through
// the lookup function the shader activation stored, with use mode 0.
void acquire_param_services();
void acquire_host_services();

// Forgets both tables (for tests that change hosts).
void reset_param_library_services();

}  // namespace ormel

#endif
