// Built-in geometry: boxes, floors, spheres and stairs as polygon meshes.
#ifndef RENDER_PRIMITIVES_H
#define RENDER_PRIMITIVES_H

#include <string>

#include "refhost/scene.h"
#include "render/host_names.h"

namespace render {

// Each adds polygons with the given surface name to the mesh, in object space.

// An axis-aligned box from lo to hi, faces pointing outwards, as quads.
void add_box(Mesh &mesh, const Vec3d &lo, const Vec3d &hi, const std::string &surface);
// A quad grid in the plane y = height, facing up, cells x cells.
void add_floor(Mesh &mesh, double half_size, double height, int cells, const std::string &surface);
// A latitude-longitude sphere of quads (triangles at the poles).
void add_sphere(Mesh &mesh, const Vec3d &center, double radius, int rings, int segments,
                const std::string &surface);
// Closed stairs rising along +z from z0, each step `rise` high and `run` deep, width along x.
void add_stairs(Mesh &mesh, const Vec3d &origin, int steps, double width, double rise, double run,
                const std::string &surface);
// A quad from corner a spanning edges u and v; its facet normal points along u x v.
void add_quad(Mesh &mesh, const Vec3d &a, const Vec3d &u, const Vec3d &v, const std::string &surface);

}  // namespace render

#endif
