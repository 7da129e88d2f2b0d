// One animated, optionally textured numeric setting held in a host variant parameter.
#ifndef ORMEL_PARAMS_PLUGIN_DATA_PARAM_H
#define ORMEL_PARAMS_PLUGIN_DATA_PARAM_H

#include <cstddef>

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

// The event callback every parameter registers with its variant parameter; the user data
// is the parameter. Answers the bounding-box request (2) and the envelope-group request
// (7); always returns 1.
int param_event(LWVParmID parm, void *user_data, int event_code, void *event_data);

// A bounding box: x min, x max, y min, y max, z min, z max.
constexpr int kBoxSize = 6;

// Fills box with the extent of every polygon of the surface in the scene's object layers.
// False (and the box -0.5 to 0.5 on every axis) when no polygon of the surface is found.
bool surface_bounding_box(LWSurfaceID surface, double box[kBoxSize]);

// True when the object file of that name lists the surface among its surfaces.
bool object_uses_surface(const char *object_file, LWSurfaceID surface);

// What a polygon scan of surface_bounding_box carries from polygon to polygon.
struct PolygonScanData {
    const char *surface_name;
    LWMeshInfo *mesh;
    double *box;
};

// Widens the scan's box by the base positions of the polygon's vertices when the
// polygon carries the scanned surface; returns 0 so that the scan goes on.
size_t grow_box_by_polygon(void *scan_data, LWPolID polygon);

}  // namespace ormel

#endif
