#include "refhost/shading_spot.h"

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

// The facet normal from corners 0, 1 and the last, as plug-ins compute it.
Vec3d facet_normal(const ObjectGeometry &g, const Polygon &polygon) {
    const size_t n = polygon.vertices.size();
    if (n < 3) return {};
    const Vec3d p0 = g.position(polygon.vertices[0]);
    return normalized(cross(sub(g.position(polygon.vertices[1]), p0), sub(g.position(polygon.vertices[n - 1]), p0)));
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
Vec3d corner_normal(const ObjectGeometry &g, int polygon_number, const Point *point, double smoothing_angle) {
    const Vec3d own = g.facet_normal[polygon_number];
    if (!(smoothing_angle > 0.0)) return own;
    const double limit = std::cos(smoothing_angle);
    const Surface *surface = g.polygon_surface[polygon_number];
    Vec3d sum{};
    auto found = g.point_polygons.find(point);
    if (found == g.point_polygons.end()) return own;
    for (int q : found->second) {
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
    // what deformed_world_position gives), and the tables sized once for a large mesh.
    const ObjectTransform placement = object_transform(scene, object, time);
    const std::vector<const Mesh *> meshes = object_meshes(object);
    size_t points = 0, polygons = 0;
    for (const Mesh *mesh : meshes) {
        points += mesh->points.size();
        polygons += mesh->polygons.size();
    }
    g->world.reserve(points);
    g->point_polygons.reserve(points);
    g->polygon_number.reserve(polygons);
    g->polygons.reserve(polygons);
    g->polygon_surface.reserve(polygons);
    for (const Mesh *mesh : meshes) {
        for (const auto &point : mesh->points) g->world.emplace(point.get(), placement.apply(*point));
        for (const auto &polygon : mesh->polygons) {
            const int number = static_cast<int>(g->polygons.size());
            g->polygons.push_back(polygon.get());
            g->polygon_number.emplace(polygon.get(), number);
            g->polygon_surface.push_back(surface_named(object, polygon->surface));
            for (const Point *p : polygon->vertices) g->point_polygons[p].push_back(number);
        }
    }
    // Polygons may use points of another layer: make sure every corner has a position.
    for (const Polygon *polygon : g->polygons)
        for (const Point *p : polygon->vertices)
            if (!g->world.count(p)) g->world.emplace(p, placement.apply(*p));
    g->facet_normal.reserve(g->polygons.size());
    for (const Polygon *polygon : g->polygons) g->facet_normal.push_back(facet_normal(*g, *polygon));
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

    // Corners, weights and the two positions of the spot.
    Vec3d world{}, base{};
    for (int k = 0; k < 4; ++k) {
        if (corners.index[k] < 0) continue;
        const Point *p = polygon.vertices[corners.index[k]];
        const Vec3d w = g.position(p);
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
                              : corner_normal(g, polygon_number, polygon.vertices[corners.index[k]], angle);
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
    auto found = g->polygon_number.find(&polygon);
    if (found == g->polygon_number.end()) return false;
    const int corners = static_cast<int>(polygon.vertices.size());
    if (corners < 3 || spot.triangle < 0 || spot.triangle > corners - 3) return false;

    // Seen head-on from one unit above the spot.
    SpotRecord probe;
    SpotRay ray;
    ray.length = 1.0;
    fill_shading_spot(*g, found->second, spot, ray, probe.access);
    const Vec3d n = from(probe.access.wNorm0);
    ray.source = add(from(probe.access.wPos), n);
    ray.direction = neg(n);
    fill_shading_spot(*g, found->second, spot, ray, out.access);
    return true;
}

}  // namespace refhost
