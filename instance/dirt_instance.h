// The shader instance record and its host callbacks.
#ifndef ORMEL_INSTANCE_DIRT_INSTANCE_H
#define ORMEL_INSTANCE_DIRT_INSTANCE_H

#include "host/lwsdk.h"
#include "params/plugin_data_param.h"

namespace ormel {

// One per surface that carries the shader. The parameters are owned.
struct DirtInstance {
    PluginDataParam *dirt_width;
    PluginDataParam *dirt_falloff;
    double sample_theta;
    double sample_jitter;
    int sample_count;
    int sample_itr;
    double sample_scale;
    PluginDataParam *dirt_amount;
    PluginDataParam *dirt_color;
    PluginDataParam *dirt_Kd;
    PluginDataParam *dirt_Ks;
    PluginDataParam *dirt_mirror;
    PluginDataParam *dirt_bump;
    int use_color;
    int use_Kd;
    int use_Ks;
    int use_mirror;
    int use_bump;
    int single_f;
    char description[128];
    LWSurfaceID surface;
};

namespace dirt {

LWInstance create(void *priv, void *context, LWError *error);
void destroy(LWInstance inst);
LWError copy(LWInstance to, LWInstance from);
LWError load(LWInstance inst, const LWLoadState *load);
LWError save(LWInstance inst, const LWSaveState *save);
const char *descln(LWInstance inst);
LWError init(LWInstance inst, int mode);
void cleanup(LWInstance inst);
LWError newTime(LWInstance inst, LWFrame frame, LWTime time);
const LWItemID *useItems(LWInstance inst);
void changeID(LWInstance inst, const LWItemID *ids);
unsigned int flags(LWInstance inst);

}  // namespace dirt

}  // namespace ormel

#endif
