#include "params/services.h"

#include "module/globals.h"

namespace ormel {

ParamServices param_services;
HostServices host_services;

namespace {

template <class T>
T *lookup(const char *name) {
    GlobalFunc *global = shader_globals.global;
    return global ? static_cast<T *>(global(name, GFUSE_TRANSIENT)) : nullptr;
}

}  // namespace

void acquire_param_services() {
    ParamServices &s = param_services;
    if (s.vparm || s.envelope || s.texture) return;
    s.vparm = lookup<LWVParmFuncs>(LWVPARMFUNCS_GLOBAL);
    s.envelope = lookup<LWEnvelopeFuncs>(LWENVELOPEFUNCS_GLOBAL);
    s.texture = lookup<LWTextureFuncs>(LWTEXTUREFUNCS_GLOBAL);
}

void acquire_host_services() {
    HostServices &s = host_services;
    if (s.item_info || s.light_info || s.object_info || s.texture || s.image_list || s.vparm ||
        s.envelope || s.surface || s.channel_info || s.scene_objects)
        return;
    s.item_info = lookup<LWItemInfo>(LWITEMINFO_GLOBAL);
    s.light_info = lookup<LWLightInfo>(LWLIGHTINFO_GLOBAL);
    s.object_info = lookup<LWObjectInfo>(LWOBJECTINFO_GLOBAL);
    s.texture = lookup<LWTextureFuncs>(LWTEXTUREFUNCS_GLOBAL);
    s.image_list = lookup<LWImageList>(LWIMAGELIST_GLOBAL);
    s.vparm = lookup<LWVParmFuncs>(LWVPARMFUNCS_GLOBAL);
    s.envelope = lookup<LWEnvelopeFuncs>(LWENVELOPEFUNCS_GLOBAL);
    s.surface = lookup<LWSurfaceFuncs>(LWSURFACEFUNCS_GLOBAL);
    s.channel_info = lookup<LWChannelInfo>(LWCHANNELINFO_GLOBAL);
    s.scene_objects = lookup<LWObjectFuncs>(LWOBJECTFUNCS_GLOBAL);
}

void reset_param_library_services() {
    param_services = ParamServices();
    host_services = HostServices();
}

}  // namespace ormel
