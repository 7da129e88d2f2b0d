#include "refhost/shading_spot.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "refhost/mesh_access.h"
#include "refhost/object_info.h"
#include "refhost/vec3d_math.h"

namespace refhost {

using namespace vmath;

namespace {

const Surface *surface_named(const Item &object, const std::string &name) {
    for (const Surface *s : object.surfaces)
        if (s->name == name) return s;
    return nullptr;
}

// The facet normal from corners 0, 1 and the last, as plug-ins compute it; the corners by
// point number.
Vec3d facet_normal(const std::vector<Vec3d> &world, const int *corner, size_t n) {
    if (n < 3) return {};
    const Vec3d p0 = world[static_cast<size_t>(corner[0])];
    return normalized(cross(sub(world[static_cast<size_t>(corner[1])], p0), sub(world[static_cast<size_t>(corner[n - 1])], p0)));
}

void fill_transforms(const Scene &scene, const Item &object, double time, ObjectGeometry &g) {
    const Scene::Placement w = scene.item_placement(object, time);
    const Vec3d axis[3] = {w.right, w.up, w.forward};
    const Vec3d s = object.motion.scale.at(time);
    const double scale[3] = {s.x, s.y, s.z};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const double axis_c_r = r == 0 ? axis[c].x : (r == 1 ? axis[c].y : axis[c].z);
            const double axis_r_c = c == 0 ? axis[r].x : (c == 1 ? axis[r].y : axis[r].z);
            g.oXfrm[3 * r + c] = axis_c_r * scale[c];
            // A zero scale flattens the object; its inverse is left at zero rather than infinite.
            g.wXfrm[3 * r + c] = scale[r] != 0.0 ? axis_r_c / scale[r] : 0.0;
        }
    }
}

// The corners a spot lists and their weights (see fill_shading_spot).
struct Corners {
    int index[4] = {-1, -1, -1, -1};
    double weight[4] = {0, 0, 0, 0};
};

Corners spot_corners(size_t n, const PolygonSpot &spot) {
    Corners c;
    const double w0 = 1.0 - spot.u - spot.v;
    if (n == 4) {
        c.index[0] = 0, c.index[1] = 1, c.index[2] = 2, c.index[3] = 3;
        c.weight[0] = w0;
        if (spot.triangle == 0) {
            c.weight[1] = spot.u, c.weight[2] = spot.v;
        } else {
            c.weight[2] = spot.u, c.weight[3] = spot.v;
        }
        return c;
    }
    c.index[0] = 0, c.index[1] = spot.triangle + 1, c.index[2] = spot.triangle + 2;
    c.weight[0] = w0, c.weight[1] = spot.u, c.weight[2] = spot.v;
    return c;
}

// A corner's normal: the facet normals of the polygons of the same surface around the
// point whose angle to the spot's own facet is within the smoothing angle.
Vec3d corner_normal(const ObjectGeometry &g, int polygon_number, int point_number, double smoothing_angle) {
    const Vec3d own = g.facet_normal[polygon_number];
    if (!(smoothing_angle > 0.0)) return own;
    const double limit = std::cos(smoothing_angle);
    const Surface *surface = g.polygon_surface[polygon_number];
    Vec3d sum{};
    const int *list = g.point_polygon_list.data();
    const size_t point = static_cast<size_t>(point_number);
    for (int i = g.point_polygon_start[point], end = g.point_polygon_start[point + 1]; i < end; ++i) {
        const int q = list[i];
        if (g.polygon_surface[q] != surface) continue;
        const Vec3d n = g.facet_normal[q];
        if (dot(own, n) >= limit) sum = add(sum, n);
    }
    const Vec3d n = normalized(sum);
    return length(n) > 0.0 ? n : own;
}

// An object-space normal in the world: by the transpose of the world-to-object matrix
// (the inverse transpose of the object's), unit length.
Vec3d world_normal(const ObjectGeometry &g, const std::array<float, 3> &n) {
    Vec3d w;
    double *out[3] = {&w.x, &w.y, &w.z};
    for (int c = 0; c < 3; ++c)
        *out[c] = g.wXfrm[c] * static_cast<double>(n[0]) + g.wXfrm[3 + c] * static_cast<double>(n[1]) +
                  g.wXfrm[6 + c] * static_cast<double>(n[2]);
    return normalized(w);
}

void fill_surface_values(const Surface *surface, LWShaderAccess &out) {
    const SurfaceValues values = surface ? surface->values : SurfaceValues{};
    for (int k = 0; k < 3; ++k) out.color[k] = values.color[k];
    out.luminous = 0.0;
    out.diffuse = values.diffuse;
    out.specular = values.specular;
    out.mirror = values.reflection;
    out.transparency = 0.0;
    out.eta = 1.0;
    out.roughness = 1.0 - values.glossiness;
    out.translucency = 0.0;
    out.colorHL = 0.0;
    out.colorFL = 0.0;
    out.addTransparency = 0.0;
    out.difSharpness = 0.0;
}

}  // namespace

std::shared_ptr<const ObjectGeometry> build_object_geometry(const Scene &scene, const Item &object, double time) {
    auto g = std::make_shared<ObjectGeometry>();
    g->object = &object;
    g->time = time;
    // The object's transform, worked out once for all its points (each point's position is
    // what deformed_world_position gives), and the arrays sized once for a large mesh.
    const ObjectTransform placement = object_transform(scene, object, time);
    const std::vector<const Mesh *> meshes = object_meshes(object);
    size_t points = 0, polygons = 0;
    for (const Mesh *mesh : meshes) {
        points += mesh->points.size();
        polygons += mesh->polygons.size();
    }
    g->point_numbers = PointNumbers(points);
    g->world.reserve(points);
    g->polygons.reserve(polygons);
    g->polygon_surface.reserve(polygons);
    bool added = false;
    for (const Mesh *mesh : meshes) {
        for (const auto &point : mesh->points) {
            g->point_numbers.insert(point.get(), added);
            if (added) g->world.push_back(placement.apply(*point));
        }
    }
    // Every corner's point number, polygon after polygon; polygons may use points of another
    // layer, which are numbered and placed as they are met.
    std::vector<int> &corner_points = g->corner_points;
    std::vector<int> count(g->world.size(), 0);
    for (const Mesh *mesh : meshes) {
        for (const auto &polygon : mesh->polygons) {
            g->polygons.push_back(polygon.get());
            g->polygon_surface.push_back(surface_named(object, polygon->surface));
            for (const Point *p : polygon->vertices) {
                const int n = g->point_numbers.insert(p, added);
                if (added) {
                    g->world.push_back(placement.apply(*p));
                    count.push_back(0);
                }
                ++count[static_cast<size_t>(n)];
                corner_points.push_back(n);
            }
        }
    }
    // Each point's polygons end to end, in polygon-number order.
    g->point_polygon_start.resize(g->world.size() + 1);
    int total = 0;
    for (size_t n = 0; n < count.size(); ++n) {
        g->point_polygon_start[n] = total;
        total += count[n];
        count[n] = g->point_polygon_start[n];  // now where the point's next polygon goes
    }
    g->point_polygon_start.back() = total;
    g->point_polygon_list.resize(static_cast<size_t>(total));
    g->facet_normal.reserve(g->polygons.size());
    g->corner_start.reserve(g->polygons.size() + 1);
    size_t corner = 0;
    for (size_t number = 0; number < g->polygons.size(); ++number) {
        const size_t corners = g->polygons[number]->vertices.size();
        const int *c = corner_points.data() + corner;
        for (size_t k = 0; k < corners; ++k) g->point_polygon_list[static_cast<size_t>(count[c[k]]++)] = static_cast<int>(number);
        g->facet_normal.push_back(facet_normal(g->world, c, corners));
        g->corner_start.push_back(corner);
        corner += corners;
    }
    g->corner_start.push_back(corner);
    fill_transforms(scene, object, time, *g);
    return g;
}

void fill_shading_spot(const ObjectGeometry &g, int polygon_number, const PolygonSpot &spot, const SpotRay &ray,
                       LWShaderAccess &out) {
    // The whole of the host's record, as a host writes it.
    std::memset(&out, 0, kSpotRecordSize);
    const Polygon &polygon = *g.polygons[polygon_number];
    const Surface *surface = g.polygon_surface[polygon_number];
    const Corners corners = spot_corners(polygon.vertices.size(), spot);
    const int *numbers = g.corners(static_cast<size_t>(polygon_number));

    // Corners, weights and the two positions of the spot.
    Vec3d world{}, base{};
    for (int k = 0; k < 4; ++k) {
        if (corners.index[k] < 0) continue;
        const Point *p = polygon.vertices[corners.index[k]];
        const Vec3d w = g.world[static_cast<size_t>(numbers[corners.index[k]])];
        out.verts[k] = to_id(p);
        out.weights[k] = static_cast<float>(corners.weight[k]);
        out.vertsWPos[k][0] = static_cast<float>(w.x);
        out.vertsWPos[k][1] = static_cast<float>(w.y);
        out.vertsWPos[k][2] = static_cast<float>(w.z);
        world = add(world, mul(corners.weight[k], w));
        base = add(base, mul(corners.weight[k], from(p->base)));
    }
    store(base, out.oPos);
    store(world, out.wPos);

    // Normals: geometric, then smoothed by the corner weights.
    const Vec3d facet = g.facet_normal[polygon_number];
    store(facet, out.gNorm);
    const double angle = surface ? surface->values.smoothing_angle : 0.0;
    const bool given = polygon.normals.size() == polygon.vertices.size();
    Vec3d smooth{};
    for (int k = 0; k < 4; ++k) {
        if (corners.index[k] < 0 || corners.weight[k] == 0.0) continue;
        const Vec3d n = given ? world_normal(g, polygon.normals[corners.index[k]])
                              : corner_normal(g, polygon_number, numbers[corners.index[k]], angle);
        smooth = add(smooth, mul(corners.weight[k], n));
    }
    smooth = normalized(smooth);
    if (!(length(smooth) > 0.0)) smooth = facet;
    store(smooth, out.wNorm0);
    store(smooth, out.wNorm);
    out.bumpHeight = 0.0;

    // The ray that reached the spot.
    out.sx = ray.sx;
    out.sy = ray.sy;
    store(ray.source, out.raySource);
    out.rayLength = ray.length;
    out.spotSize = ray.length * ray.spot_angle;
    out.cosine = -dot(ray.direction, smooth);
    out.flags = ray.flags;
    out.bounces = ray.bounces;
    out.sourceID = ray.source_id;

    std::memcpy(out.oXfrm, g.oXfrm, sizeof out.oXfrm);
    std::memcpy(out.wXfrm, g.wXfrm, sizeof out.wXfrm);
    out.objID = to_id(g.object);
    out.polNum = polygon_number;
    out.polygon = to_id(&polygon);

    fill_surface_values(surface, out);
}

bool make_shading_spot(const Scene &scene, const Item &object, const Polygon &polygon, const PolygonSpot &spot,
                       SpotRecord &out) {
    const auto g = build_object_geometry(scene, object, scene.current_time);
    const auto found = std::find(g->polygons.begin(), g->polygons.end(), &polygon);
    if (found == g->polygons.end()) return false;
    const int number = static_cast<int>(found - g->polygons.begin());
    const int corners = static_cast<int>(polygon.vertices.size());
    if (corners < 3 || spot.triangle < 0 || spot.triangle > corners - 3) return false;

    // Seen head-on from one unit above the spot.
    SpotRecord probe;
    SpotRay ray;
    ray.length = 1.0;
    fill_shading_spot(*g, number, spot, ray, probe.access);
    const Vec3d n = from(probe.access.wNorm0);
    ray.source = add(from(probe.access.wPos), n);
    ray.direction = neg(n);
    fill_shading_spot(*g, number, spot, ray, out.access);
    return true;
}

}  // namespace refhost
