// One baked spot: a point on a polygon, made into a spot record by the reference host as
// for a render (position, smoothed normal, polygon, object, transforms, oPos) and shaded by
// the surface's shaders with the caster's host rays, unlit. With the mask's shader copies
// bound (see render/mask.h) its colour is the dirt weight; with the surfaces' own shaders
// it is the shaded colour.
//
// The spot is seen head-on from one unit along its polygon's facet normal, as a render spot
// seen straight on would be: the shader's dirt does not depend on where the ray came from.
#ifndef BAKE_BAKE_SPOT_H
#define BAKE_BAKE_SPOT_H

#include "refhost/shading_spot.h"
#include "render/ray_caster.h"

namespace bake {

using refhost::ObjectGeometry;
using refhost::PolygonSpot;
using refhost::Vec3d;

// The spot where a polygon's corner lies: weight 1 on that corner.
PolygonSpot corner_spot(int corner);

// Fills the spot record of a point on a polygon (no shader runs).
void fill_bake_spot(const ObjectGeometry &geometry, int polygon, const PolygonSpot &spot, LWShaderAccess &out);

// The spot's colour after its surface's shaders ran on this thread. Finite: a shader's
// non-finite colour reads as 0.
Vec3d shade_bake_spot(const render::RayCaster &caster, const ObjectGeometry &geometry, int polygon,
                      const PolygonSpot &spot);

}  // namespace bake

#endif
