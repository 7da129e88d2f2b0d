// The host's spot record, filled from a shaded spot, for reading parameters at it.
#ifndef ORMEL_PARAMS_MICROPOL_H
#define ORMEL_PARAMS_MICROPOL_H

#include "common/vec.h"
#include "host/lwsdk.h"
#include "params/plugin_data_param.h"

namespace ormel {

// Lets the host initialise mp, then copies the spot's fields into it with the given surface
// and the dominant axes of its normal in object and world space. Allocates nothing.
void fill_micropol(LWMicropol *mp, const LWShaderAccess *access, LWSurfaceID surface);

// The undeformed normal of a polygon from its vertices 0, 1 and the last: the cross product
// of the two normalised edges, not normalised again. False (out untouched) for a null
// polygon or one with fewer than three vertices.
bool polygon_base_normal(LWMeshInfo *mesh, LWPolID polygon, double out[3]);

// The index of the axis most aligned with normal (by absolute dot product); ties go to the
// lower index.
int dominant_axis(const Vec3 &normal, const Vec3 axes[3]);

// The three ways of reading a parameter at the render time into out (three doubles; a
// scalar's value is out[0]). The host's results other than out are not used.
// The value at a spot: envelopes and texture as the host combines them.
void param_value_at(const PluginDataParam *param, LWMicropol *mp, double out[3]);
// The animated value alone, without a spot: no texture is applied.
void param_value(const PluginDataParam *param, double out[3]);
// The texture alone at a spot; without a texture out keeps what the caller preset.
void param_texture(const PluginDataParam *param, LWMicropol *mp, double out[3]);

}  // namespace ormel

#endif
