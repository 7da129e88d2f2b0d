// The dirt distance of a hit and the blend of the dirt settings into a shaded spot.
#ifndef ORMEL_SHADING_DIRT_BLEND_H
#define ORMEL_SHADING_DIRT_BLEND_H

#include "common/vec.h"
#include "host/lwsdk.h"
#include "instance/dirt_instance.h"

namespace ormel {

// The length of the offset H - O taken through the spot's world transform (row by row).
// Inline: the sample loop measures every hit with it.
inline double dirt_distance(const Vec3 &H, const Vec3 &O, const LWShaderAccess *access) {
    const Vec3 E = H - O;
    const double *m = access->wXfrm;
    const Vec3 F(m[0] * E.x + m[1] * E.y + m[2] * E.z, m[3] * E.x + m[4] * E.y + m[5] * E.z,
                 m[6] * E.x + m[7] * E.y + m[8] * E.z);
    return vec_length(F);
}

// Pulls the channels the instance's switches choose towards its dirt values with the weight
// (1 - ratio^falloff) * amount, when ratio < 1. A blend that would write a value that is not
// finite leaves the spot as it was.
void dirt_blend(LWShaderAccess *access, const DirtInstance *inst, double ratio, double falloff);

}  // namespace ormel

#endif
