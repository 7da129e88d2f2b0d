// The per-object point-to-polygon cache behind the smoothed normal.
#ifndef ORMEL_SHADING_NORMAL_CACHE_H
#define ORMEL_SHADING_NORMAL_CACHE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/platform.h"
#include "common/vec.h"
#include "host/lwsdk.h"

namespace ormel {

// The polygons that use one point, in the order the host's polygon scan met them; a
// polygon that uses the point twice is listed twice.
struct PointPolygons {
    const LWPolID *polys = nullptr;
    int fill = 0;
};

// The adjacency of one object, built once per render the first time it is shaded, and
// read-only from then on.
//
// Memory is flat: the polygon lists of all points lie end to end in one array, each
// point's list found through its index in `start_`, and a point's index through an
// open-addressing hash table keyed by its ID. The build makes two scans of the polygons
// through the host's mesh record, as it always has: one counting the corners at every
// point, one filling the lists.
class ObjectAdjacency {
public:
    explicit ObjectAdjacency(LWItemID id) : objID(id) {}
    virtual ~ObjectAdjacency();
    ObjectAdjacency(const ObjectAdjacency &) = delete;
    ObjectAdjacency &operator=(const ObjectAdjacency &) = delete;

    // Scans the mesh's polygons twice; false when memory runs out (the record is then
    // empty). May throw nothing.
    bool build(LWMeshInfo *mesh);

    // The polygons at a point; an empty list for a point the build did not meet.
    PointPolygons polygons_of(LWPntID point) const;

    // How many points the build met.
    size_t point_count() const { return fill_.size(); }
    // Bytes held by the lists, the index and the table.
    size_t memory_bytes() const;

    LWItemID objID;

private:
    struct Slot {
        uintptr_t key;   // the point ID; 0 marks an empty slot
        uint32_t index;  // the point's index
    };
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    uint32_t find(uintptr_t key) const;
    // The point's index, a new one when the point is new; kNone when there are too many
    // points. May throw std::bad_alloc.
    uint32_t insert(uintptr_t key);
    void grow(size_t capacity, bool mix);
    size_t slot_of(uintptr_t key) const;

    friend struct AdjacencyBuild;

    std::vector<Slot> slots_;       // a power of two in size, at most half full
    size_t mask_ = 0;
    bool mixed_hash_ = false;       // see slot_of
    size_t probes_ = 0;             // slots stepped over by insertions, for that choice
    uint32_t null_index_ = kNone;   // a null point ID has no slot
    std::vector<size_t> start_;     // the first list entry of each point, and the end
    std::vector<int32_t> fill_;     // how many entries of each point's list are filled
    std::vector<LWPolID> polys_;    // every point's list, end to end
};

// The module-wide list of adjacencies, changed under normal_cache_lock.
class NormalCache {
public:
    NormalCache() = default;
    virtual ~NormalCache();
    NormalCache(const NormalCache &) = delete;
    NormalCache &operator=(const NormalCache &) = delete;

    // Built records, searched front to back.
    std::vector<ObjectAdjacency *> records;
    // Objects whose records are being built outside the lock, and the condition their
    // other spots wait on.
    std::vector<LWItemID> building;
    ConditionVariable built;
    // Changed by every reset: render threads keep the records they found, per thread, as
    // long as it stays the same.
    AtomicWord generation{0};
};

// Normal of a polygon from its vertices 0, 1 and n-1; zero for fewer than three vertices.
Vec3 facet_normal(LWMeshInfo *mesh, LWPolID polygon, bool deformed);

// Smoothed normal of the spot; false (N untouched) when it has no polygon or no mesh.
// The caller holds normal_cache_lock.
bool smoothed_normal(const LWShaderAccess *access, double angle, bool deformed, Vec3 &N);

// The same, taking `lock` only to find or add the object's record. An object's first spot
// builds the record with the lock released; other spots of that object wait for it, and
// spots of other objects go on. Records are read-only once built and only render init and
// cleanup remove them, so the polygon lists are read without the lock.
bool smoothed_normal(const LWShaderAccess *access, double angle, bool deformed, Vec3 &N, CriticalSection &lock);

// The polygons at the spot's four corners, from the object's adjacency (built on first
// use); false when memory runs out. `lock` is normal_cache_lock, or null when the caller
// holds it.
struct CornerPolygons {
    const LWPolID *polys[4];
    int fill[4];
};
bool corner_polygons(LWMeshInfo *mesh, const LWShaderAccess *access, CornerPolygons &out,
                     CriticalSection *lock = nullptr);

// Destroys every cached adjacency; the caller holds normal_cache_lock.
void normal_cache_reset();

}  // namespace ormel

#endif
