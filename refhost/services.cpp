#include "refhost/services.h"

#include "refhost/envelopes.h"
#include "refhost/host.h"
#include "refhost/image_list.h"
#include "refhost/scene_objects.h"
#include "refhost/surface_funcs.h"
#include "refhost/textures.h"
#include "refhost/vparm.h"
#include "refhost/xpanel.h"

namespace refhost {

namespace {

// Service tables are handed out as non-const pointers; plug-ins only read them.
template <class T>
void *table(const T &t) {
    return const_cast<T *>(&t);
}

}  // namespace

void install_instance_services(Host &host) {
    // The systems exist before the first call reaches them.
    host.component<EnvelopeSystem>();
    host.component<TextureSystem>();
    host.component<VParmSystem>();
    host.component<XPanelSystem>();
    host.component<SurfaceLists>();
    host.provide(LWVPARMFUNCS_GLOBAL, table(vparm_funcs()));
    host.provide(LWENVELOPEFUNCS_GLOBAL, table(envelope_funcs()));
    host.provide(LWCHANNELINFO_GLOBAL, table(channel_info_funcs()));
    host.provide(LWTEXTUREFUNCS_GLOBAL, table(texture_funcs()));
    host.provide(LWSURFACEFUNCS_GLOBAL, table(surface_funcs()));
    host.provide(LWOBJECTFUNCS_GLOBAL, table(scene_objects_funcs()));
    host.provide(LWIMAGELIST_GLOBAL, table(image_list_funcs()));
    host.provide(LWXPANELFUNCS_GLOBAL, table(xpanel_funcs()));
}

}  // namespace refhost
