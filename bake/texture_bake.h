// Texture bakes: the dirt in an object's first UV set.
//
// The texture is N x N texels over UV 0..1, u to the right and v up (row 0 is v = 1). Each
// texel holds the average of the spots at its sample points that fall inside a polygon's
// UV triangle: `samples` points on a regular grid over the texel (its centre for one), the
// first triangle met owning a point that several cover. Each point is taken back to the
// polygon by its barycentric weights in UV space and shaded as a render spot there (see
// bake/bake_spot.h). Texels no point of which falls on the UV islands are then filled by
// growing the islands `padding` texels: each round gives every empty texel next to a
// filled one (of its eight neighbours) the mean of those neighbours, so that filtering
// across an island's edge does not bleed in the background.
#ifndef BAKE_TEXTURE_BAKE_H
#define BAKE_TEXTURE_BAKE_H

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "render/work_pool.h"
#include "bake/bake_spot.h"

namespace bake {

// One fan triangle of a polygon in texture space.
struct UvTriangle {
    int polygon = -1;   // polygon number in the object's geometry
    int triangle = 0;   // fan triangle: corners 0, triangle + 1, triangle + 2
    std::array<std::array<float, 2>, 3> uv{};
};

// Every fan triangle of the object's polygons that carry texture coordinates; empty when
// none does.
std::vector<UvTriangle> uv_triangles(const ObjectGeometry &geometry);

// How many triangles have a corner outside UV 0..1, where the texture does not reach.
long triangles_outside_unit_square(const std::vector<UvTriangle> &triangles);

enum class Texel : unsigned char { Empty = 0, Island = 1, Padding = 2 };

struct TextureBake {
    int size = 0;
    std::vector<Vec3d> value;   // size * size, row by row from v = 1 down
    std::vector<Texel> state;
    long overlapping_points = 0;  // sample points inside more than one triangle
};

// The memory a bake of this size and sample count takes, bytes.
double texture_bake_bytes(int size, int samples);

// Bakes the triangles' spots (island texels), then pads. `progress` as for run_pool.
render::PoolStats bake_texture(const render::RayCaster &caster, const ObjectGeometry &geometry,
                       const std::vector<UvTriangle> &triangles, int size, int samples, int padding, int threads,
                       const std::function<void(double)> &progress, TextureBake &out);

// Grows the island texels `padding` rounds into the empty ones (part of bake_texture).
void pad_texture(TextureBake &bake, int padding);

}  // namespace bake

#endif
