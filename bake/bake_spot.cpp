#include "bake/bake_spot.h"

#include <cmath>

#include "refhost/spot_record.h"
#include "refhost/vec3d_math.h"

namespace bake {

using namespace refhost;
using namespace vmath;

PolygonSpot corner_spot(int corner) {
    // Corner 0 is every fan triangle's first; corner k > 0 is triangle k − 1's second
    // corner (u = 1), and the last corner triangle n − 3's third.
    PolygonSpot spot;
    if (corner == 1) {
        spot.u = 1.0;
    } else if (corner >= 2) {
        spot.triangle = corner - 2;
        spot.v = 1.0;
    }
    return spot;
}

void fill_bake_spot(const ObjectGeometry &g, int polygon, const PolygonSpot &spot, LWShaderAccess &out) {
    // The ray comes along the polygon's facet normal, which needs no spot record of its
    // own: the record is filled once.
    const Vec3d n = g.facet_normal[polygon];
    const double w0 = 1.0 - spot.u - spot.v;
    const int *corner = g.corners(static_cast<size_t>(polygon));
    const Vec3d a = g.world[static_cast<size_t>(corner[0])], b = g.world[static_cast<size_t>(corner[spot.triangle + 1])],
                c = g.world[static_cast<size_t>(corner[spot.triangle + 2])];
    const Vec3d at = add(add(mul(w0, a), mul(spot.u, b)), mul(spot.v, c));
    SpotRay ray;
    ray.length = 1.0;
    ray.source = add(at, n);
    ray.direction = neg(n);
    fill_shading_spot(g, polygon, spot, ray, out);
}

Vec3d shade_bake_spot(const render::RayCaster &caster, const ObjectGeometry &g, int polygon,
                      const PolygonSpot &spot) {
    SpotRecord record;
    fill_bake_spot(g, polygon, spot, record.access);
    render::RayCaster::install_ray_functions(record.access);
    caster.run_shaders(g.polygon_surface[polygon], record.access);
    auto finite = [](double v) { return std::isfinite(v) ? v : 0.0; };
    const double *c = record.access.color;
    return {finite(c[0]), finite(c[1]), finite(c[2])};
}

}  // namespace bake
