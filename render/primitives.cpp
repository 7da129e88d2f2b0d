#include "render/primitives.h"

#include <cmath>
#include <vector>

#include "refhost/vec3d_math.h"

namespace render {

using vmath::add;

namespace {

Point *point(Mesh &mesh, const Vec3d &p) {
    return mesh.add_point(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
}

}  // namespace

// LightWave's polygons are clockwise seen from the front in a left-handed system; with
// vertex order v0, v1, v2 the facet normal is (v1 - v0) x (v2 - v0) taken right-handed,
// which is what the shader and the caster compute. Quads here are ordered so that this
// normal points out of the solid.
void add_quad(Mesh &mesh, const Vec3d &a, const Vec3d &u, const Vec3d &v, const std::string &surface) {
    Point *p0 = point(mesh, a);
    Point *p1 = point(mesh, add(a, u));
    Point *p2 = point(mesh, add(add(a, u), v));
    Point *p3 = point(mesh, add(a, v));
    mesh.add_polygon({p0, p1, p2, p3}, surface);
}

void add_box(Mesh &mesh, const Vec3d &lo, const Vec3d &hi, const std::string &surface) {
    // Eight shared corners, so that smoothing sees the box as one connected solid.
    Point *c[8];
    for (int i = 0; i < 8; ++i) {
        c[i] = point(mesh, {(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z});
    }
    // Faces: -x, +x, -y, +y, -z, +z; each ordered so (v1-v0) x (v3-v0) points outwards.
    const int faces[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                             {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
    for (const auto &f : faces) mesh.add_polygon({c[f[0]], c[f[1]], c[f[2]], c[f[3]]}, surface);
}

void add_floor(Mesh &mesh, double half_size, double height, int cells, const std::string &surface) {
    const size_t n = cells < 1 ? 1 : static_cast<size_t>(cells);
    const size_t row = n + 1;
    std::vector<Point *> grid(row * row);
    const double step = 2.0 * half_size / static_cast<double>(n);
    for (size_t j = 0; j <= n; ++j)
        for (size_t i = 0; i <= n; ++i)
            grid[j * row + i] = point(mesh, {-half_size + static_cast<double>(i) * step, height,
                                             -half_size + static_cast<double>(j) * step});
    for (size_t j = 0; j < n; ++j) {
        for (size_t i = 0; i < n; ++i) {
            Point *a = grid[j * row + i], *b = grid[j * row + i + 1];
            Point *c = grid[(j + 1) * row + i + 1], *d = grid[(j + 1) * row + i];
            // (d - a) x (b - a) points up: order a, d, c, b.
            mesh.add_polygon({a, d, c, b}, surface);
        }
    }
}

void add_sphere(Mesh &mesh, const Vec3d &center, double radius, int rings, int segments,
                const std::string &surface) {
    // Fewer rings or segments make no closed surface (and no ring to hang the caps on).
    if (rings < 2 || segments < 3) return;
    const double pi = 3.14159265358979323846;
    Point *top = point(mesh, {center.x, center.y + radius, center.z});
    Point *bottom = point(mesh, {center.x, center.y - radius, center.z});
    std::vector<std::vector<Point *>> ring_points;
    for (int r = 1; r < rings; ++r) {
        const double theta = pi * r / rings;
        std::vector<Point *> ring;
        for (int s = 0; s < segments; ++s) {
            const double phi = 2.0 * pi * s / segments;
            ring.push_back(point(mesh, {center.x + radius * std::sin(theta) * std::cos(phi),
                                        center.y + radius * std::cos(theta),
                                        center.z + radius * std::sin(theta) * std::sin(phi)}));
        }
        ring_points.push_back(ring);
    }
    for (int s = 0; s < segments; ++s) {
        const int t = (s + 1) % segments;
        mesh.add_polygon({top, ring_points.front()[t], ring_points.front()[s]}, surface);
        for (size_t r = 0; r + 1 < ring_points.size(); ++r) {
            mesh.add_polygon({ring_points[r][s], ring_points[r][t], ring_points[r + 1][t], ring_points[r + 1][s]},
                             surface);
        }
        mesh.add_polygon({bottom, ring_points.back()[s], ring_points.back()[t]}, surface);
    }
}

void add_stairs(Mesh &mesh, const Vec3d &origin, int steps, double width, double rise, double run,
                const std::string &surface) {
    for (int i = 0; i < steps; ++i) {
        // Each step is a box from the floor up to its tread, so the stairs are a closed solid.
        const Vec3d lo{origin.x, origin.y, origin.z + i * run};
        const Vec3d hi{origin.x + width, origin.y + (i + 1) * rise, origin.z + (i + 1) * run};
        add_box(mesh, lo, hi, surface);
    }
}

}  // namespace render
