// The per-object point-to-polygon cache behind the smoothed normal.
#ifndef ORMEL_SHADING_NORMAL_CACHE_H
#define ORMEL_SHADING_NORMAL_CACHE_H

#include <cstdint>
#include <map>
#include <vector>

#include "common/platform.h"
#include "common/vec.h"
#include "host/lwsdk.h"

namespace ormel {

// The polygons that use one point: `count` corners, `fill` of them listed in `polys`.
struct PointPolygons {
    int count = 0;
    LWPolID *polys = nullptr;
    int fill = 0;
};

// Orders point IDs by their value as an unsigned number.
struct PointIdLess {
    bool operator()(LWPntID a, LWPntID b) const {
        return reinterpret_cast<uintptr_t>(a) < reinterpret_cast<uintptr_t>(b);
    }
};

// The adjacency of one object, built once per render the first time it is shaded.
class ObjectAdjacency {
public:
    explicit ObjectAdjacency(LWItemID id) : objID(id) {}
    virtual ~ObjectAdjacency();
    ObjectAdjacency(const ObjectAdjacency &) = delete;
    ObjectAdjacency &operator=(const ObjectAdjacency &) = delete;

    std::map<LWPntID, PointPolygons, PointIdLess> points;
    LWItemID objID;
};

// The module-wide list of adjacencies; every access happens under normal_cache_lock.
class NormalCache {
public:
    NormalCache() = default;
    virtual ~NormalCache();
    NormalCache(const NormalCache &) = delete;
    NormalCache &operator=(const NormalCache &) = delete;

    std::vector<ObjectAdjacency *> records;
};

// Normal of a polygon from its vertices 0, 1 and n-1; zero for fewer than three vertices.
Vec3 facet_normal(LWMeshInfo *mesh, LWPolID polygon, bool deformed);

// Smoothed normal of the spot; false (N untouched) when it has no polygon or no mesh.
// The caller holds normal_cache_lock.
bool smoothed_normal(const LWShaderAccess *access, double angle, bool deformed, Vec3 &N);

// The same, taking `lock` only while it reads or changes the cache: the facet normals, read
// from the mesh record, are worked out after it is released. The polygon lists a lookup
// returns are never changed while spots are shaded (only render init and cleanup empty
// the cache), so they may be read without the lock.
bool smoothed_normal(const LWShaderAccess *access, double angle, bool deformed, Vec3 &N, CriticalSection &lock);

// The polygons at the spot's four corners, from the object's adjacency (built on first
// use); false when memory runs out. The caller holds normal_cache_lock.
struct CornerPolygons {
    const LWPolID *polys[4];
    int fill[4];
};
bool corner_polygons(LWMeshInfo *mesh, const LWShaderAccess *access, CornerPolygons &out);

// Destroys every cached adjacency; the caller holds normal_cache_lock.
void normal_cache_reset();

}  // namespace ormel

#endif
