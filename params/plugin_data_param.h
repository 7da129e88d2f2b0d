// One animated, optionally textured numeric setting held in a host variant parameter.
#ifndef ORMEL_PARAMS_PLUGIN_DATA_PARAM_H
#define ORMEL_PARAMS_PLUGIN_DATA_PARAM_H

#include "host/lwsdk.h"

namespace ormel {

class PluginDataParam {
public:
    PluginDataParam(const char *name, int env_type, int tex_type, LWChanGroupID group,
                    const char *plugin_name, LWSurfaceID surface);
    virtual ~PluginDataParam();
    PluginDataParam(const PluginDataParam &) = delete;
    PluginDataParam &operator=(const PluginDataParam &) = delete;

    // Forward the render time and the end of rendering to the parameter's texture.
    void texture_new_time(double time, int frame);
    void texture_cleanup();

    // Write and read the parameter's "Vparam" block.
    void save(const LWSaveState *save) const;
    void load(const LWLoadState *load);

    int env_type;
    int tex_type;
    LWChanGroupID group;
    LWSurfaceID surface;
    LWVParmID vparm;
};

}  // namespace ormel

#endif
