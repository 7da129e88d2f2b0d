// Yardsticks for the shader's cost per spot, run on spots a render shaded:
//
// - the bit-exact floor: the arithmetic of one spot's samples that results identical to
//   the shader's need whatever the code around them (two noise values, the sines and
//   cosines of each sample direction, its normalisation, the dirt distance of its hit),
//   in a tight loop over the distances the rays returned;
// - a peer: the ambient-occlusion shader a user would otherwise write, with Embree called
//   directly (a cosine-weighted cone of as many rays, nearest hits, no host in between).
#ifndef ORMEL_BENCH_SPOT_FIGURES_H
#define ORMEL_BENCH_SPOT_FIGURES_H

#include <embree3/rtcore.h>

#include <vector>

#include "host/lwsdk.h"
#include "instance/dirt_instance.h"
#include "refhost/scene.h"

namespace bench {

// The sampled spot's sample arithmetic with the given distance for every ray (the nearest
// dirt distance comes back so that nothing is optimised away).
double floor_spot(const ormel::DirtInstance &inst, const LWShaderAccess &spot, double distance);

// A plain ambient-occlusion shader on its own Embree scene of the scene's objects at the
// current time.
class PeerOcclusion {
public:
    explicit PeerOcclusion(const refhost::Scene &scene);
    ~PeerOcclusion();
    PeerOcclusion(const PeerOcclusion &) = delete;
    PeerOcclusion &operator=(const PeerOcclusion &) = delete;

    // The occlusion at the spot from `rays` rays in a cone of half-angle `cone` about its
    // normal, hits counting within `width`.
    double shade(const LWShaderAccess &spot, int rays, double cone, double width) const;

private:
    RTCDevice device_ = nullptr;
    RTCScene scene_ = nullptr;
    double epsilon_ = 1e-5;
};

}  // namespace bench

#endif
