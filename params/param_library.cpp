#include "params/param_library.h"

#include "gradients/gradient_context.h"
#include "module/module_state.h"
#include "params/services.h"

namespace ormel {

LWTxtrContextID shared_texture_context() {
    acquire_host_services();
    // Made once for the module; while the texture service is missing the holder stays
    // null and the next request tries again.
    if (!module_state.gradient_context.id) gradient_context_create();
    return module_state.gradient_context.id;
}

LWChanGroupID create_instance_group(const char *name, LWSurfaceID surface) {
    acquire_host_services();
    const HostServices &s = host_services;
    if (!s.envelope) return nullptr;
    LWChanGroupID parent = nullptr;
    if (surface && s.surface) parent = s.surface->chanGrp(surface);
    return s.envelope->createGroup(parent, name);
}

bool param_library_ready() {
    acquire_host_services();
    acquire_param_services();
    const HostServices &h = host_services;
    const ParamServices &p = param_services;
    return p.vparm && p.envelope && h.vparm && h.envelope && h.surface && h.image_list &&
           h.channel_info && h.scene_objects;
}

}  // namespace ormel
