// The dirt distance of a hit and the blend of the dirt settings into a shaded spot.
#ifndef ORMEL_SHADING_DIRT_BLEND_H
#define ORMEL_SHADING_DIRT_BLEND_H

#include "common/vec.h"
#include "host/lwsdk.h"
#include "instance/dirt_instance.h"

namespace ormel {

// The length of the offset H - O taken through the spot's world transform (row by row).
double dirt_distance(const Vec3 &H, const Vec3 &O, const LWShaderAccess *access);

// Pulls the channels the instance's switches choose towards its dirt values with the weight
// (1 - ratio^falloff) * amount, when ratio < 1. A blend that would write a value that is not
// finite leaves the spot as it was.
void dirt_blend(LWShaderAccess *access, const DirtInstance *inst, double ratio, double falloff);

}  // namespace ormel

#endif
