#include "bake/vertex_bake.h"

#include <cstring>
#include <map>
#include <unordered_map>
#include <tuple>

#include "bake/bake_spot.h"
#include "refhost/spot_record.h"
#include "refhost/vec3d_math.h"

namespace bake {

using namespace refhost;
using namespace vmath;

namespace {

// A world normal in object space: by the transpose of the object-to-world matrix (the
// inverse transpose of world-to-object), unit length.
Vec3d object_normal(const ObjectGeometry &g, const Vec3d &n) {
    const double *m = g.oXfrm;
    const Vec3d o{m[0] * n.x + m[3] * n.y + m[6] * n.z, m[1] * n.x + m[4] * n.y + m[7] * n.z,
                  m[2] * n.x + m[5] * n.y + m[8] * n.z};
    return normalized(o);
}

// What makes two corners one vertex: the point, its texture coordinate and its normal, bit
// for bit.
using VertexKey = std::tuple<const Point *, float, float, double, double, double>;

}  // namespace

std::vector<BakedMesh> vertex_layout(const Item &object, const ObjectGeometry &g) {
    std::vector<BakedMesh> meshes;
    SpotRecord record;
    // The host numbers the polygons of all layers together; each polygon's number, once.
    std::unordered_map<const Polygon *, int> polygon_number;
    polygon_number.reserve(g.polygons.size());
    for (size_t i = 0; i < g.polygons.size(); ++i) polygon_number.emplace(g.polygons[i], static_cast<int>(i));
    for (const auto &layer : object.layers) {
        std::map<std::string, size_t> by_surface;  // index into meshes, for this layer
        std::map<std::pair<size_t, VertexKey>, unsigned> known;
        for (const auto &polygon : layer->mesh.polygons) {
            const size_t corners = polygon->vertices.size();
            const auto number = polygon_number.find(polygon.get());
            if (corners < 3 || number == polygon_number.end()) continue;
            const int p = number->second;
            auto found = by_surface.find(polygon->surface);
            if (found == by_surface.end()) {
                BakedMesh mesh;
                mesh.layer = layer->index;
                mesh.surface = polygon->surface;
                mesh.source = g.polygon_surface[p];
                if (mesh.source)
                    mesh.base_color = {mesh.source->values.color[0], mesh.source->values.color[1],
                                       mesh.source->values.color[2]};
                found = by_surface.emplace(polygon->surface, meshes.size()).first;
                meshes.push_back(std::move(mesh));
            }
            BakedMesh &mesh = meshes[found->second];
            const bool uvs = polygon->uvs.size() == corners;
            std::vector<unsigned> face;
            for (size_t k = 0; k < corners; ++k) {
                fill_bake_spot(g, p, corner_spot(static_cast<int>(k)), record.access);
                const Vec3d n = from(record.access.wNorm);
                const std::array<float, 2> uv = uvs ? polygon->uvs[k] : std::array<float, 2>{0.0f, 0.0f};
                const VertexKey key{polygon->vertices[k], uv[0], uv[1], n.x, n.y, n.z};
                auto inserted = known.emplace(std::make_pair(found->second, key),
                                              static_cast<unsigned>(mesh.vertices.size()));
                if (inserted.second) {
                    BakedVertex v;
                    v.polygon = p;
                    v.corner = static_cast<int>(k);
                    v.position = from(polygon->vertices[k]->base);
                    v.normal = object_normal(g, n);
                    v.has_uv = uvs;
                    v.uv = uv;
                    mesh.vertices.push_back(v);
                }
                face.push_back(inserted.first->second);
            }
            mesh.faces.push_back(std::move(face));
        }
    }
    return meshes;
}

long vertex_count(const std::vector<BakedMesh> &meshes) {
    long n = 0;
    for (const BakedMesh &m : meshes) n += static_cast<long>(m.vertices.size());
    return n;
}

render::PoolStats bake_vertices(const render::RayCaster &caster, const ObjectGeometry &g, std::vector<BakedMesh> &meshes,
                        int threads, const std::function<void(double)> &progress) {
    std::vector<BakedVertex *> all;
    for (BakedMesh &m : meshes)
        for (BakedVertex &v : m.vertices) all.push_back(&v);
    return render::run_pool(
        caster, static_cast<long>(all.size()), threads,
        [&](long i) {
            BakedVertex &v = *all[static_cast<size_t>(i)];
            v.value = shade_bake_spot(caster, g, v.polygon, corner_spot(v.corner));
        },
        progress);
}

}  // namespace bake
