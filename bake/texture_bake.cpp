#include "bake/texture_bake.h"

#include <algorithm>
#include <cmath>

#include "bake/bake_spot.h"

namespace bake {

using namespace refhost;

namespace {

// A point strictly inside a triangle by this much of its barycentric weights counts as
// overlapping another triangle that owns it; points on shared edges do not.
constexpr double kInsideMargin = 1e-6;

struct TexelTriangle {
    double x[3], y[3];  // texel space: x = u N, y = (1 − v) N
    double area;        // twice the signed area
};

TexelTriangle to_texels(const UvTriangle &t, int size) {
    TexelTriangle r;
    for (int k = 0; k < 3; ++k) {
        r.x[k] = static_cast<double>(t.uv[k][0]) * size;
        r.y[k] = (1.0 - static_cast<double>(t.uv[k][1])) * size;
    }
    r.area = (r.x[1] - r.x[0]) * (r.y[2] - r.y[0]) - (r.x[2] - r.x[0]) * (r.y[1] - r.y[0]);
    return r;
}

// Barycentric weights of (px, py) for corners 1 and 2; corner 0 has 1 − b1 − b2.
void weights(const TexelTriangle &t, double px, double py, double &b1, double &b2) {
    b1 = ((px - t.x[0]) * (t.y[2] - t.y[0]) - (t.x[2] - t.x[0]) * (py - t.y[0])) / t.area;
    b2 = ((t.x[1] - t.x[0]) * (py - t.y[0]) - (px - t.x[0]) * (t.y[1] - t.y[0])) / t.area;
}

// Sample s of `samples` within a texel: the centres of the first cells of a square grid.
void sample_offset(int s, int samples, double &dx, double &dy) {
    const int grid = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(samples))));
    dx = ((s % grid) + 0.5) / grid;
    dy = ((s / grid) + 0.5) / grid;
}

}  // namespace

std::vector<UvTriangle> uv_triangles(const ObjectGeometry &g) {
    std::vector<UvTriangle> out;
    for (size_t p = 0; p < g.polygons.size(); ++p) {
        const Polygon &polygon = *g.polygons[p];
        const size_t n = polygon.vertices.size();
        if (n < 3 || polygon.uvs.size() != n) continue;
        for (size_t k = 0; k + 2 < n; ++k) {
            UvTriangle t;
            t.polygon = static_cast<int>(p);
            t.triangle = static_cast<int>(k);
            t.uv = {polygon.uvs[0], polygon.uvs[k + 1], polygon.uvs[k + 2]};
            out.push_back(t);
        }
    }
    return out;
}

long triangles_outside_unit_square(const std::vector<UvTriangle> &triangles) {
    long n = 0;
    for (const UvTriangle &t : triangles) {
        bool outside = false;
        for (const auto &uv : t.uv)
            outside = outside || !(uv[0] >= 0.0f && uv[0] <= 1.0f && uv[1] >= 0.0f && uv[1] <= 1.0f);
        n += outside;
    }
    return n;
}

double texture_bake_bytes(int size, int samples) {
    const double texels = static_cast<double>(size) * size;
    // Owners per sample point, the values, the states, and the image written from them.
    return texels * (4.0 * samples + sizeof(Vec3d) + 1.0 + 3.0 * sizeof(float));
}

render::PoolStats bake_texture(const render::RayCaster &caster, const ObjectGeometry &g,
                       const std::vector<UvTriangle> &triangles, int size, int samples, int padding, int threads,
                       const std::function<void(double)> &progress, TextureBake &out) {
    const size_t texels = static_cast<size_t>(size) * static_cast<size_t>(size);
    out.size = size;
    out.value.assign(texels, Vec3d{});
    out.state.assign(texels, Texel::Empty);
    out.overlapping_points = 0;

    // Which triangle owns each sample point: the first that covers it.
    std::vector<int32_t> owner(texels * static_cast<size_t>(samples), -1);
    std::vector<TexelTriangle> shapes;
    shapes.reserve(triangles.size());
    for (size_t i = 0; i < triangles.size(); ++i) {
        const TexelTriangle t = to_texels(triangles[i], size);
        shapes.push_back(t);
        if (!(std::fabs(t.area) > 0.0) || !std::isfinite(t.area)) continue;  // no texel inside
        const double lo_x = std::min({t.x[0], t.x[1], t.x[2]}), hi_x = std::max({t.x[0], t.x[1], t.x[2]});
        const double lo_y = std::min({t.y[0], t.y[1], t.y[2]}), hi_y = std::max({t.y[0], t.y[1], t.y[2]});
        // Texel rows and columns the triangle may touch, clamped in doubles before they
        // become whole numbers: UVs may be anything a file holds.
        const double last = size - 1.0;
        if (hi_x < 0.0 || hi_y < 0.0 || lo_x > size || lo_y > size) continue;
        const int x0 = static_cast<int>(std::clamp(std::floor(lo_x), 0.0, last));
        const int x1 = static_cast<int>(std::clamp(std::floor(hi_x), 0.0, last));
        const int y0 = static_cast<int>(std::clamp(std::floor(lo_y), 0.0, last));
        const int y1 = static_cast<int>(std::clamp(std::floor(hi_y), 0.0, last));
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                for (int s = 0; s < samples; ++s) {
                    double dx, dy, b1, b2;
                    sample_offset(s, samples, dx, dy);
                    weights(t, x + dx, y + dy, b1, b2);
                    const double b0 = 1.0 - b1 - b2;
                    if (b0 < 0.0 || b1 < 0.0 || b2 < 0.0) continue;
                    int32_t &slot = owner[(static_cast<size_t>(y) * size + x) * samples + s];
                    if (slot < 0)
                        slot = static_cast<int32_t>(i);
                    else if (std::min({b0, b1, b2}) > kInsideMargin)
                        ++out.overlapping_points;
                }
            }
        }
    }

    // Each texel's points, shaded and averaged, on every core.
    const render::PoolStats stats = render::run_pool(
        caster, static_cast<long>(texels), threads,
        [&](long i) {
            const size_t texel = static_cast<size_t>(i);
            const int x = static_cast<int>(texel % size), y = static_cast<int>(texel / size);
            Vec3d sum;
            int count = 0;
            for (int s = 0; s < samples; ++s) {
                const int32_t o = owner[texel * samples + s];
                if (o < 0) continue;
                double dx, dy, b1, b2;
                sample_offset(s, samples, dx, dy);
                weights(shapes[o], x + dx, y + dy, b1, b2);
                PolygonSpot spot;
                spot.triangle = triangles[o].triangle;
                spot.u = b1;
                spot.v = b2;
                const Vec3d c = shade_bake_spot(caster, g, triangles[o].polygon, spot);
                sum.x += c.x, sum.y += c.y, sum.z += c.z;
                ++count;
            }
            if (count == 0) return;
            out.value[texel] = {sum.x / count, sum.y / count, sum.z / count};
            out.state[texel] = Texel::Island;
        },
        progress);
    pad_texture(out, padding);
    return stats;
}

void pad_texture(TextureBake &bake, int padding) {
    const int n = bake.size;
    std::vector<Texel> before;
    for (int round = 0; round < padding; ++round) {
        before = bake.state;
        bool grew = false;
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                const size_t at = static_cast<size_t>(y) * n + x;
                if (before[at] != Texel::Empty) continue;
                Vec3d sum;
                int count = 0;
                for (int ny = std::max(0, y - 1); ny <= std::min(n - 1, y + 1); ++ny) {
                    for (int nx = std::max(0, x - 1); nx <= std::min(n - 1, x + 1); ++nx) {
                        const size_t from = static_cast<size_t>(ny) * n + nx;
                        if (before[from] == Texel::Empty) continue;
                        const Vec3d &v = bake.value[from];
                        sum.x += v.x, sum.y += v.y, sum.z += v.z;
                        ++count;
                    }
                }
                if (count == 0) continue;
                bake.value[at] = {sum.x / count, sum.y / count, sum.z / count};
                bake.state[at] = Texel::Padding;
                grew = true;
            }
        }
        if (!grew) break;
    }
}

}  // namespace bake
