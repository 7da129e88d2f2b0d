#include "refhost/mesh_access.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

namespace refhost {

namespace {

struct MeshAccess {
    LWMeshInfo info;  // first: the record's address is the handle
    const Scene *scene;
    const Item *object;
    std::vector<const Mesh *> meshes;
    const std::string *selected_map = nullptr;
    // The object's transform at `transform_time`, worked out on the first deformed position
    // asked for, so that each point costs a few multiplications.
    bool has_transform = false;
    double transform_time = 0.0;
    ObjectTransform transform;
};

// Destroyed records are kept for the next record this thread makes: plug-ins ask for a
// record per shaded spot, and the host should not allocate for each.
struct RecordCache {
    std::vector<MeshAccess *> free;
    ~RecordCache() {
        for (MeshAccess *m : free) delete m;
    }
};
thread_local RecordCache t_records;
constexpr size_t kKeptRecords = 8;

MeshAccess *self(LWMeshInfoID id) { return reinterpret_cast<MeshAccess *>(id); }

// The per-thread counts behind mesh_access_stats, listed while their thread lives and
// added to `ended` when it ends.
struct ThreadCounts;
struct CountRegistry {
    std::mutex mutex;
    std::vector<const ThreadCounts *> live;
    MeshAccessStats ended;
};
CountRegistry &count_registry() {
    static CountRegistry *registry = new CountRegistry;  // outlives every thread's counts
    return *registry;
}
// Only the owning thread writes its counts: a plain load and store, no locked instruction.
void bump(std::atomic<long> &count) { count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }
struct ThreadCounts {
    std::atomic<long> created{0};
    std::atomic<long> destroyed{0};
    ThreadCounts() {
        CountRegistry &r = count_registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.live.push_back(this);
    }
    ~ThreadCounts() {
        CountRegistry &r = count_registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.ended.created += created.load(std::memory_order_relaxed);
        r.ended.destroyed += destroyed.load(std::memory_order_relaxed);
        for (size_t i = 0; i < r.live.size(); ++i) {
            if (r.live[i] == this) {
                r.live.erase(r.live.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
    }
};
thread_local ThreadCounts t_counts;

void destroy(LWMeshInfoID id) {
    MeshAccess *m = self(id);
    bump(t_counts.destroyed);
    if (t_records.free.size() < kKeptRecords) {
        try {
            t_records.free.push_back(m);
            return;
        } catch (...) {
        }
    }
    delete m;
}

int num_points(LWMeshInfoID id) {
    size_t n = 0;
    for (const Mesh *m : self(id)->meshes) n += m->points.size();
    return static_cast<int>(n);
}

int num_polygons(LWMeshInfoID id) {
    size_t n = 0;
    for (const Mesh *m : self(id)->meshes) n += m->polygons.size();
    return static_cast<int>(n);
}

size_t scan_points(LWMeshInfoID id, LWPntScanFunc *func, void *data) {
    for (const Mesh *m : self(id)->meshes)
        for (const auto &p : m->points)
            if (size_t r = func(data, to_id(p.get()))) return r;
    return 0;
}

size_t scan_polys(LWMeshInfoID id, LWPolScanFunc *func, void *data) {
    for (const Mesh *m : self(id)->meshes)
        for (const auto &p : m->polygons)
            if (size_t r = func(data, to_id(p.get()))) return r;
    return 0;
}

void pnt_base_pos(LWMeshInfoID, LWPntID pnt, LWFVector pos) {
    const Point *p = from_id(pnt);
    std::memcpy(pos, p->base, sizeof(float) * 3);
}

void pnt_other_pos(LWMeshInfoID id, LWPntID pnt, LWFVector pos) {
    MeshAccess *m = self(id);
    const Point *p = from_id(pnt);
    if (!m->object) {
        for (int i = 0; i < 3; ++i) pos[i] = p->base[i] + p->deform[i];
        return;
    }
    const double time = m->scene->current_time;
    if (!m->has_transform || m->transform_time != time) {
        m->transform = object_transform(*m->scene, *m->object, time);
        m->transform_time = time;
        m->has_transform = true;
    }
    const Vec3d w = m->transform.apply(*p);
    pos[0] = static_cast<float>(w.x);
    pos[1] = static_cast<float>(w.y);
    pos[2] = static_cast<float>(w.z);
}

void *pnt_v_lookup(LWMeshInfoID id, LWID type, const char *name) {
    if (type != LWVMAP_WGHT || !name) return nullptr;
    MeshAccess *m = self(id);
    for (const Mesh *mesh : m->meshes) {
        if (mesh->weight_maps.count(name))
            return const_cast<Scene *>(m->scene)->weight_map_handle(name);
    }
    return nullptr;
}

int pnt_v_select(LWMeshInfoID id, void *vmap) {
    MeshAccess *m = self(id);
    m->selected_map = vmap ? &Scene::weight_map_name(vmap) : nullptr;
    return m->selected_map ? 1 : 0;
}

int pnt_v_get(LWMeshInfoID id, LWPntID pnt, float *values) {
    MeshAccess *m = self(id);
    if (!m->selected_map) return 0;
    const Point *p = from_id(pnt);
    for (const Mesh *mesh : m->meshes) {
        auto map = mesh->weight_maps.find(*m->selected_map);
        if (map == mesh->weight_maps.end()) continue;
        auto value = map->second.find(p);
        if (value != map->second.end()) {
            values[0] = value->second;
            return 1;
        }
    }
    return 0;
}

LWID pol_type(LWMeshInfoID, LWPolID) { return LWPOLTYPE_FACE; }

int pol_size(LWMeshInfoID, LWPolID pol) { return static_cast<int>(from_id(pol)->vertices.size()); }

LWPntID pol_vertex(LWMeshInfoID, LWPolID pol, int index) {
    const Polygon *p = from_id(pol);
    if (index < 0 || static_cast<size_t>(index) >= p->vertices.size()) return nullptr;
    return to_id(p->vertices[index]);
}

const char *pol_tag(LWMeshInfoID, LWPolID pol, LWID tag) {
    const Polygon *p = from_id(pol);
    if (tag == LWPTAG_SURF) return p->surface.c_str();
    if (tag == LWPTAG_PART) return p->part.empty() ? nullptr : p->part.c_str();
    return nullptr;
}

}  // namespace

MeshAccessStats mesh_access_stats() {
    CountRegistry &r = count_registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    MeshAccessStats sum = r.ended;
    for (const ThreadCounts *t : r.live) {
        sum.created += t->created.load(std::memory_order_relaxed);
        sum.destroyed += t->destroyed.load(std::memory_order_relaxed);
    }
    return sum;
}

LWMeshInfo *make_mesh_access(const Scene &scene, const Item *object, std::vector<const Mesh *> meshes) {
    LWMeshInfo *info = new_mesh_access(scene, object);
    self(info)->meshes = std::move(meshes);
    return info;
}

LWMeshInfo *new_mesh_access(const Scene &scene, const Item *object) {
    MeshAccess *m;
    if (!t_records.free.empty()) {
        m = t_records.free.back();
        t_records.free.pop_back();
        std::vector<const Mesh *> kept = std::move(m->meshes);
        kept.clear();
        *m = MeshAccess{};
        m->meshes = std::move(kept);
    } else {
        m = new MeshAccess{};
    }
    m->scene = &scene;
    m->object = object;
    LWMeshInfo &info = m->info;
    info.priv = m;
    info.destroy = destroy;
    info.numPoints = num_points;
    info.numPolygons = num_polygons;
    info.scanPoints = scan_points;
    info.scanPolys = scan_polys;
    info.pntBasePos = pnt_base_pos;
    info.pntOtherPos = pnt_other_pos;
    info.pntVLookup = pnt_v_lookup;
    info.pntVSelect = pnt_v_select;
    info.pntVGet = pnt_v_get;
    info.polType = pol_type;
    info.polSize = pol_size;
    info.polVertex = pol_vertex;
    info.polTag = pol_tag;
    bump(t_counts.created);
    return &m->info;
}

const std::vector<const Mesh *> &mesh_access_meshes(LWMeshInfo *info) { return self(info)->meshes; }

std::vector<const Mesh *> &mesh_access_meshes_to_fill(LWMeshInfo *info) { return self(info)->meshes; }

ObjectTransform object_transform(const Scene &scene, const Item &object, double time) {
    ObjectTransform t;
    t.s = object.motion.scale.at(time);
    const Scene::Placement w = scene.item_placement(object, time);
    t.r = w.right;
    t.u = w.up;
    t.f = w.forward;
    t.p = w.position;
    return t;
}

Vec3d ObjectTransform::apply(const Point &point) const {
    const Vec3d local{static_cast<double>(point.base[0]) + static_cast<double>(point.deform[0]),
                      static_cast<double>(point.base[1]) + static_cast<double>(point.deform[1]),
                      static_cast<double>(point.base[2]) + static_cast<double>(point.deform[2])};
    const Vec3d scaled{local.x * s.x, local.y * s.y, local.z * s.z};
    return {p.x + scaled.x * r.x + scaled.y * u.x + scaled.z * f.x,
            p.y + scaled.x * r.y + scaled.y * u.y + scaled.z * f.y,
            p.z + scaled.x * r.z + scaled.y * u.z + scaled.z * f.z};
}

Vec3d deformed_world_position(const Scene &scene, const Item &object, const Point &point, double time) {
    return object_transform(scene, object, time).apply(point);
}

}  // namespace refhost
