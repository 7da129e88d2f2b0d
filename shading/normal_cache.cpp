#include "shading/normal_cache.h"

#include <cmath>
#include <memory>
#include <new>

#include "module/globals.h"
#include "module/module_state.h"

namespace ormel {

ObjectAdjacency::~ObjectAdjacency() {
    for (auto &entry : points) delete[] entry.second.polys;
}

NormalCache::~NormalCache() {
    for (ObjectAdjacency *record : records) delete record;
}

namespace {

Vec3 point_position(LWMeshInfo *mesh, LWPntID point, bool deformed) {
    float f[3] = {0.0f, 0.0f, 0.0f};
    if (deformed)
        mesh->pntOtherPos(mesh, point, f);
    else
        mesh->pntBasePos(mesh, point, f);
    return Vec3(static_cast<double>(f[0]), static_cast<double>(f[1]), static_cast<double>(f[2]));
}

// What the two polygon scans of an adjacency build share. Allocation failures are caught
// here: they must not unwind through the host's scan.
struct BuildScan {
    LWMeshInfo *mesh;
    ObjectAdjacency *record;
    bool failed;
};

// First scan: count the corners at every point, adding points as they are met.
size_t count_corners(void *data, LWPolID polygon) {
    BuildScan &scan = *static_cast<BuildScan *>(data);
    if (scan.failed) return 1;
    try {
        const int n = scan.mesh->polSize(scan.mesh, polygon);
        for (int i = 0; i < n; ++i) {
            LWPntID point = scan.mesh->polVertex(scan.mesh, polygon, i);
            ++scan.record->points[point].count;
        }
    } catch (const std::bad_alloc &) {
        scan.failed = true;
        return 1;
    }
    return 0;
}

// Second scan: list the polygon at each of its points; a point used twice lists it twice.
size_t list_corners(void *data, LWPolID polygon) {
    BuildScan &scan = *static_cast<BuildScan *>(data);
    if (scan.failed) return 1;
    const int n = scan.mesh->polSize(scan.mesh, polygon);
    for (int i = 0; i < n; ++i) {
        auto found = scan.record->points.find(scan.mesh->polVertex(scan.mesh, polygon, i));
        // A point the first scan did not see, or more corners than it counted, would mean the
        // mesh changed between the scans: such corners are left out rather than overrun.
        if (found == scan.record->points.end()) continue;
        PointPolygons &entry = found->second;
        if (entry.fill < entry.count) entry.polys[entry.fill++] = polygon;
    }
    return 0;
}

// Builds the adjacency of the mesh's object and appends it to the cache; null when memory
// runs out, with the cache as it was.
ObjectAdjacency *build_adjacency(LWMeshInfo *mesh, LWItemID objID) {
    NormalCache &cache = module_state.normal_cache;
    try {
        std::unique_ptr<ObjectAdjacency> record(new ObjectAdjacency(objID));
        BuildScan scan{mesh, record.get(), false};
        mesh->scanPolys(mesh, count_corners, &scan);
        if (scan.failed) return nullptr;
        for (auto &entry : record->points) {
            PointPolygons &pp = entry.second;
            delete[] pp.polys;
            pp.polys = nullptr;
            pp.fill = 0;
            if (pp.count > 0) pp.polys = new LWPolID[pp.count];
        }
        mesh->scanPolys(mesh, list_corners, &scan);
        cache.records.push_back(record.get());
        return record.release();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

ObjectAdjacency *find_adjacency(LWItemID objID) {
    for (ObjectAdjacency *record : module_state.normal_cache.records)
        if (record && record->objID == objID) return record;
    return nullptr;
}

// The mesh record functions the smoothing reads; a record without them cannot be used.
bool mesh_usable(const LWMeshInfo *mesh, bool deformed) {
    return mesh->scanPolys && mesh->polSize && mesh->polVertex &&
           (deformed ? mesh->pntOtherPos != nullptr : mesh->pntBasePos != nullptr);
}

// Releases the mesh record when the function returns.
struct MeshRelease {
    LWMeshInfo *mesh;
    ~MeshRelease() {
        if (mesh->destroy) mesh->destroy(mesh);
    }
};

}  // namespace

Vec3 facet_normal(LWMeshInfo *mesh, LWPolID polygon, bool deformed) {
    const int n = mesh->polSize(mesh, polygon);
    if (n < 3) return Vec3();
    const Vec3 p0 = point_position(mesh, mesh->polVertex(mesh, polygon, 0), deformed);
    const Vec3 p1 = point_position(mesh, mesh->polVertex(mesh, polygon, 1), deformed);
    const Vec3 pl = point_position(mesh, mesh->polVertex(mesh, polygon, n - 1), deformed);
    Vec3 c = vec_cross(p1 - p0, pl - p0);
    return vec_normalize(c);
}

bool corner_polygons(LWMeshInfo *mesh, const LWShaderAccess *access, CornerPolygons &out) {
    ObjectAdjacency *record = find_adjacency(access->objID);
    if (!record) record = build_adjacency(mesh, access->objID);
    if (!record) return false;
    for (int k = 0; k < 4; ++k) {
        auto found = record->points.find(access->verts[k]);
        if (found == record->points.end()) {
            // A point the build did not see (an empty corner included) gets an empty entry,
            // so the next spot that meets it finds it without allocating.
            try {
                found = record->points.emplace(access->verts[k], PointPolygons()).first;
            } catch (const std::bad_alloc &) {
                return false;
            }
        }
        out.polys[k] = found->second.polys;
        out.fill[k] = found->second.fill;
    }
    return true;
}

namespace {

// Each corner's normal is the spot's own facet normal plus every neighbour within the
// smoothing angle of it; the corners are mixed by the spot's weights.
void mix_corner_normals(LWMeshInfo *mesh, const LWShaderAccess *access, double angle, bool deformed,
                        const CornerPolygons &corners, Vec3 &N) {
    const double limit = std::cos(angle);
    const Vec3 pn = facet_normal(mesh, access->polygon, deformed);
    Vec3 acc;
    for (int k = 0; k < 4; ++k) {
        Vec3 a = pn;
        for (int i = 0; i < corners.fill[k]; ++i) {
            LWPolID P = corners.polys[k][i];
            if (P == access->polygon) continue;
            const Vec3 b = facet_normal(mesh, P, deformed);
            if (!(limit >= vec_dot(pn, b))) a = a + b;
        }
        Vec3 unit;
        vec_normalize(a, unit);
        acc = acc + static_cast<double>(access->weights[k]) * unit;
    }
    vec_normalize(acc, N);
}

bool smooth(const LWShaderAccess *access, double angle, bool deformed, Vec3 &N, CriticalSection *lock) {
    if (!access->polygon) return false;
    LWObjectInfo *object_info = shader_globals.object_info;
    if (!object_info || !object_info->meshInfo) return false;
    LWMeshInfo *mesh = object_info->meshInfo(access->objID, 1);
    if (!mesh) return false;
    MeshRelease release{mesh};
    if (!mesh_usable(mesh, deformed)) return false;

    CornerPolygons corners;
    if (lock) {
        CriticalSectionGuard guard(*lock);
        if (!corner_polygons(mesh, access, corners)) return false;
    } else if (!corner_polygons(mesh, access, corners)) {
        return false;
    }
    mix_corner_normals(mesh, access, angle, deformed, corners, N);
    return true;
}

}  // namespace

bool smoothed_normal(const LWShaderAccess *access, double angle, bool deformed, Vec3 &N) {
    return smooth(access, angle, deformed, N, nullptr);
}

bool smoothed_normal(const LWShaderAccess *access, double angle, bool deformed, Vec3 &N, CriticalSection &lock) {
    return smooth(access, angle, deformed, N, &lock);
}

void normal_cache_reset() {
    std::vector<ObjectAdjacency *> &records = module_state.normal_cache.records;
    for (ObjectAdjacency *record : records) delete record;
    records.clear();
}

}  // namespace ormel
