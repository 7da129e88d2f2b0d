// Ambient and half occlusion at a spot: the share of a stratified set of rays over the
// hemisphere about the normal that meet geometry.
#ifndef ORMEL_GRADIENTS_OCCLUSION_H
#define ORMEL_GRADIENTS_OCCLUSION_H

#include <cstdint>

#include "common/platform.h"
#include "common/vec.h"
#include "host/lwsdk.h"

namespace ormel {

// Casts rings × sectors rays from p about the normal n through the spot's ray caster and
// returns the fraction that hit something, in [0, 1]. With half non-zero every direction
// below the world's horizontal plane counts as blocked without a ray. 0 without a caster.
double occlusion_fraction(const LWMicropol *spot, Vec3 p, Vec3 n, int32_t rings,
                          int32_t sectors, int half);

// The next draw of the module-wide generator, in [0, 1).
double occlusion_random();

// The generator's state: 1 at load, never reseeded, shared by every spot, input and thread.
extern AtomicWord occlusion_random_state;

}  // namespace ormel

#endif
