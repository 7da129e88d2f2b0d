// Shading spots: the LWShaderAccess record of a point on a polygon, as the renderer hands it
// to a surface's shaders, and the per-object world geometry it is built from.
#ifndef REFHOST_SHADING_SPOT_H
#define REFHOST_SHADING_SPOT_H

#include <memory>
#include <stdexcept>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/point_numbers.h"
#include "refhost/scene.h"
#include "refhost/spot_record.h"

namespace refhost {

// One object's polygons in world space at one time. Built once per time and shared
// read-only by the render threads. Points are numbered (the object's meshes' points in
// their order, then corners from other layers as met), their positions and polygon lists
// held in flat arrays by number.
struct ObjectGeometry {
    const Item *object = nullptr;
    double time = 0.0;
    // Polygons in polygon-number order: layers by index, then each layer's polygons.
    std::vector<const Polygon *> polygons;
    std::vector<const Surface *> polygon_surface;  // by polygon number; null when untagged
    std::vector<Vec3d> facet_normal;  // by polygon number: unit, world; zero below 3 corners
    PointNumbers point_numbers;
    std::vector<Vec3d> world;  // deformed world positions, by point number
    // The polygons of point n, in polygon-number order: point_polygon_list from
    // point_polygon_start[n] to point_polygon_start[n + 1].
    std::vector<int> point_polygon_start;
    std::vector<int> point_polygon_list;
    // Every polygon's corners as point numbers, polygon after polygon; polygon n's begin at
    // corner_start[n] (corner_start has one entry more than there are polygons).
    std::vector<int> corner_points;
    std::vector<size_t> corner_start;
    double oXfrm[9] = {};  // object to world, row-major (columns are the scaled item axes)
    double wXfrm[9] = {};  // world to object

    // The point numbers of polygon n's corners, in the polygon's order.
    const int *corners(size_t n) const { return corner_points.data() + corner_start[n]; }

    // The position of one of the object's points (every polygon corner is one).
    Vec3d position(const Point *p) const {
        const int n = point_numbers.find(p);
        if (n < 0) throw std::out_of_range("not a point of the object");
        return world[static_cast<size_t>(n)];
    }
};

std::shared_ptr<const ObjectGeometry> build_object_geometry(const Scene &scene, const Item &object,
                                                            double time);

// Where a spot lies on a polygon: on fan triangle `triangle` (corners 0, triangle + 1 and
// triangle + 2) at barycentric (u, v), the spot being (1 − u − v) p0 + u p1 + v p2 of that
// triangle's corners.
struct PolygonSpot {
    int triangle = 0;
    double u = 0.0, v = 0.0;
};

// The ray that reached a spot.
struct SpotRay {
    Vec3d source;
    Vec3d direction;  // unit
    double length = 0.0;
    int flags = 0;
    int bounces = 0;
    LWItemID source_id = nullptr;
    int sx = 0, sy = 0;
    double spot_angle = 1e-3;  // radians the spot spans as seen from the source
};

// Fills every field of `out` for the spot, which begins a record of kSpotRecordSize bytes
// (the members this host does not set are zero):
// - oPos is the spot on the undeformed object; wPos the spot in the world (Σ weight × corner);
// - gNorm the polygon's facet normal; wNorm0 and wNorm the normal smoothed over the corners'
//   neighbouring polygons of the same surface within its smoothing angle (the facet normal
//   for an angle of 0), or, for a polygon with a normal at each corner, those normals
//   turned into the world and mixed by the corner weights;
// - verts, weights and vertsWPos the polygon's corners with the spot's weights: triangles
//   and quads list their corners (a quad's unused corner weighs 0), larger polygons the
//   three corners of the fan triangle; weights sum to 1;
// - colour, diffuse, specular, mirror and the rest from the surface's base values;
// - the ray fields from `ray` and the transforms from the object.
// The four ray functions are left null: they are the caster's to install.
void fill_shading_spot(const ObjectGeometry &geometry, int polygon_number, const PolygonSpot &spot,
                       const SpotRay &ray, LWShaderAccess &out);

// A spot chosen by hand: polygon `polygon` of `object` at the scene's current time, seen
// along its normal from one unit away.
bool make_shading_spot(const Scene &scene, const Item &object, const Polygon &polygon,
                       const PolygonSpot &spot, SpotRecord &out);

}  // namespace refhost

#endif
