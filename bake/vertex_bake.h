// Vertex bakes: the dirt at every vertex of an object.
//
// The object's polygons are laid out as the exported file will hold them: one mesh for each
// layer and surface, and in it one vertex for each point, texture coordinate and smoothed
// normal met at a polygon's corner (so a hard edge, a UV seam or a change of surface splits
// a point, as a renderer shading the file would need). A vertex's value is the spot at that
// corner of the first polygon that uses it, shaded as a render spot there: on a smooth
// surface every polygon around the point gives that same spot.
#ifndef BAKE_VERTEX_BAKE_H
#define BAKE_VERTEX_BAKE_H

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "render/work_pool.h"
#include "bake/bake_spot.h"

namespace bake {

struct BakedVertex {
    int polygon = -1;  // polygon number in the object's geometry whose corner this is
    int corner = 0;
    Vec3d position;    // object space, as the file gave it
    Vec3d normal;      // object space, unit: the smoothed normal the spot is shaded with
    bool has_uv = false;
    std::array<float, 2> uv{};
    Vec3d value;       // the baked colour (the weight in all three for weight bakes)
};

struct BakedMesh {
    int layer = 0;
    std::string surface;
    const refhost::Surface *source = nullptr;  // null for polygons of no known surface
    Vec3d base_color{0.8, 0.8, 0.8};
    std::vector<BakedVertex> vertices;
    std::vector<std::vector<unsigned>> faces;  // vertex indices, the polygon's corner order
};

// The object's meshes and vertices, with no value yet.
std::vector<BakedMesh> vertex_layout(const refhost::Item &object, const ObjectGeometry &geometry);

long vertex_count(const std::vector<BakedMesh> &meshes);

// Shades every vertex's spot (see bake/bake_spot.h) on the pool's threads.
render::PoolStats bake_vertices(const render::RayCaster &caster, const ObjectGeometry &geometry,
                        std::vector<BakedMesh> &meshes, int threads, const std::function<void(double)> &progress);

}  // namespace bake

#endif
