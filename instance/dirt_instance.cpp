#include "instance/dirt_instance.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "module/module_state.h"
#include "params/param_library.h"
#include "params/services.h"
#include "shading/normal_cache.h"

namespace ormel {

namespace {

constexpr const char *kPluginName = "Ormel_Dirt";
constexpr const char *kDescription = "Ormel's Dirt Shader version 0.44";
constexpr double kPi = 3.14159265358979323846;

// The eight parameters of an instance, in the order in which they are made, copied,
// forwarded the time and cleaned up.
struct ParamDecl {
    PluginDataParam *DirtInstance::*field;
    const char *name;
    int env_type;
    int tex_type;
    double initial;
};

constexpr ParamDecl kParams[] = {
    {&DirtInstance::dirt_width, "dirt_width", LWVP_DIST, LWVPDT_PERCENT, 0.05},
    {&DirtInstance::dirt_falloff, "dirt_falloff", LWVP_FLOAT, LWVPDT_NOTXTR, 0.5},
    {&DirtInstance::dirt_amount, "dirt_amount", LWVP_PERCENT, LWVPDT_PERCENT, 1.0},
    {&DirtInstance::dirt_color, "dirt_color", LWVP_COLOR, LWVPDT_COLOR, 0.5},
    {&DirtInstance::dirt_Kd, "dirt_diffuse", LWVP_PERCENT, LWVPDT_PERCENT, 0.5},
    {&DirtInstance::dirt_Ks, "dirt_specular", LWVP_PERCENT, LWVPDT_PERCENT, 0.0},
    {&DirtInstance::dirt_mirror, "dirt_mirror", LWVP_PERCENT, LWVPDT_PERCENT, 0.0},
    {&DirtInstance::dirt_bump, "dirt_bump", LWVP_PERCENT, LWVPDT_VECTOR, 1.0},
};

// Deletes whatever parameters the instance holds (each destroys its variant parameter)
// and then the record.
void free_instance(DirtInstance *inst) {
    for (const ParamDecl &decl : kParams) {
        delete (inst->*decl.field);
        inst->*decl.field = nullptr;
    }
    delete inst;
}

void set_defaults(DirtInstance *inst) {
    inst->sample_theta = kPi / 3.0;
    inst->sample_jitter = 20.0 * kPi / 180.0;
    inst->sample_count = 6;
    inst->sample_itr = 1;
    inst->sample_scale = 0.1;
}

void set_switch_defaults(DirtInstance *inst) {
    inst->use_color = 0;
    inst->use_Kd = 1;
    inst->use_Ks = 0;
    inst->use_mirror = 0;
    inst->use_bump = 0;
    inst->single_f = 0;
}

// Makes the eight parameters in order and gives each its initial value. Throws only
// when memory runs out; the caller then frees what was made.
void make_parameters(DirtInstance *inst, LWChanGroupID group) {
    for (const ParamDecl &decl : kParams) {
        inst->*decl.field = new PluginDataParam(decl.name, decl.env_type, decl.tex_type, group,
                                                kPluginName, inst->surface);
    }
    for (const ParamDecl &decl : kParams) {
        double value[3] = {decl.initial, decl.initial, decl.initial};
        param_services.vparm->setVal((inst->*decl.field)->vparm, value);
    }
}

void reset_normal_cache() {
    CriticalSectionGuard guard(module_state.normal_cache_lock);
    normal_cache_reset();
}

}  // namespace

namespace dirt {

LWInstance create(void *, void *context, LWError *) {
    // Every service the parameters will call through must be there before anything is
    // made: an instance is either complete or not made at all.
    if (!param_library_ready()) return nullptr;

    auto *inst = new (std::nothrow) DirtInstance{};
    if (!inst) return nullptr;
    inst->surface = static_cast<LWSurfaceID>(context);

    try {
        // The group is the host's; it stays even if the instance cannot be completed.
        LWChanGroupID group = create_instance_group(kPluginName, inst->surface);
        set_defaults(inst);
        make_parameters(inst, group);
        set_switch_defaults(inst);
    } catch (...) {
        free_instance(inst);
        return nullptr;
    }
    return inst;
}

void destroy(LWInstance instance) {
    auto *inst = static_cast<DirtInstance *>(instance);
    if (inst) free_instance(inst);
}

LWError copy(LWInstance to, LWInstance from) {
    auto *dst = static_cast<DirtInstance *>(to);
    auto *src = static_cast<DirtInstance *>(from);
    if (!dst || !src || dst == src) return nullptr;

    // The host copies values, envelopes and textures into the destination's own
    // variant parameters; the destination keeps its objects and its surface.
    for (const ParamDecl &decl : kParams) {
        param_services.vparm->copy((dst->*decl.field)->vparm, (src->*decl.field)->vparm);
    }
    dst->sample_theta = src->sample_theta;
    dst->sample_jitter = src->sample_jitter;
    dst->sample_count = src->sample_count;
    dst->sample_itr = src->sample_itr;
    dst->sample_scale = src->sample_scale;
    dst->use_color = src->use_color;
    dst->use_Kd = src->use_Kd;
    dst->use_Ks = src->use_Ks;
    dst->use_mirror = src->use_mirror;
    dst->use_bump = src->use_bump;
    dst->single_f = src->single_f;
    std::memcpy(dst->description, src->description, sizeof dst->description);
    return nullptr;
}

const char *descln(LWInstance instance) {
    auto *inst = static_cast<DirtInstance *>(instance);
    if (!inst) return kDescription;
    std::snprintf(inst->description, sizeof inst->description, "%s", kDescription);
    return inst->description;
}

LWError init(LWInstance, int) {
    reset_normal_cache();
    return nullptr;
}

void cleanup(LWInstance instance) {
    reset_normal_cache();
    auto *inst = static_cast<DirtInstance *>(instance);
    if (!inst) return;
    for (const ParamDecl &decl : kParams) (inst->*decl.field)->texture_cleanup();
}

LWError newTime(LWInstance instance, LWFrame frame, LWTime time) {
    // Module-wide: the last call of any instance sets the time every parameter is read at.
    render_time = time;
    auto *inst = static_cast<DirtInstance *>(instance);
    if (!inst) return nullptr;
    for (const ParamDecl &decl : kParams) (inst->*decl.field)->texture_new_time(time, frame);
    return nullptr;
}

const LWItemID *useItems(LWInstance) { return nullptr; }

void changeID(LWInstance, const LWItemID *) {}

unsigned int flags(LWInstance) {
    return LWSHF_NORMAL | LWSHF_COLOR | LWSHF_DIFFUSE | LWSHF_SPECULAR | LWSHF_MIRROR |
           LWSHF_RAYTRACE;
}

}  // namespace dirt
}  // namespace ormel
