#include "module/activation.h"

#include "instance/dirt_instance.h"
#include "module/globals.h"
#include "panel/options_panel.h"
#include "shading/evaluate.h"

namespace ormel {

int shader_activate(int version, GlobalFunc *global, void *local, void *) {
    if (version != LWSHADER_VERSION) return AFUNC_BADVERSION;
    auto *handler = static_cast<LWShaderHandler *>(local);

    // The record's private-data field stays as the host gave it.
    handler->inst->create = dirt::create;
    handler->inst->destroy = dirt::destroy;
    handler->inst->load = dirt::load;
    handler->inst->save = dirt::save;
    handler->inst->copy = dirt::copy;
    handler->inst->descln = dirt::descln;

    // A host may hand over no item-functions record at all.
    if (handler->item) {
        handler->item->useItems = dirt::useItems;
        handler->item->changeID = dirt::changeID;
    }

    handler->rend->init = dirt::init;
    handler->rend->cleanup = dirt::cleanup;
    handler->rend->newTime = dirt::newTime;

    handler->evaluate = dirt::evaluate;
    handler->flags = dirt::flags;

    // Whether every service came back is judged per spot, not here.
    acquire_shader_globals(global);
    return AFUNC_OK;
}

int interface_activate(int version, GlobalFunc *global, void *local, void *) {
    if (version != LWSHADER_VERSION) return AFUNC_BADVERSION;
    auto *iface = static_cast<LWInterface *>(local);
    auto *instance = static_cast<DirtInstance *>(iface->inst);

    xpanel_funcs = static_cast<LWXPanelFuncs *>(global(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
    iface->panel = create_options_panel(instance);
    iface->options = nullptr;
    iface->command = nullptr;
    return AFUNC_OK;
}

}  // namespace ormel
