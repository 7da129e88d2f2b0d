#include "shading/normal_cache.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

#include "module/globals.h"
#include "module/module_state.h"

namespace ormel {

ObjectAdjacency::~ObjectAdjacency() = default;

NormalCache::~NormalCache() {
    for (ObjectAdjacency *record : records) delete record;
}

// ---- The point table.

size_t ObjectAdjacency::slot_of(uintptr_t key) const {
    const uint64_t k = static_cast<uint64_t>(key);
    if (mixed_hash_) {
        const uint64_t h = k * 0x9E3779B97F4A7C15ull;
        return static_cast<size_t>(h ^ (h >> 32)) & mask_;
    }
    // Hosts hand out point IDs as addresses of point records allocated one after another
    // (or as consecutive numbers): dropping the alignment bits keeps neighbouring points in
    // neighbouring slots, so the scans, which meet points roughly in order, walk the table
    // instead of missing the cache on every corner. IDs that crowd together under this
    // hash switch the table to a mixing one (see insert).
    const uint64_t x = k >> 4;
    return static_cast<size_t>(x ^ (x >> 24)) & mask_;
}

uint32_t ObjectAdjacency::find(uintptr_t key) const {
    if (key == 0) return null_index_;
    if (slots_.empty()) return kNone;
    for (size_t i = slot_of(key);; i = (i + 1) & mask_) {
        const Slot &slot = slots_[i];
        if (slot.key == key) return slot.index;
        if (slot.key == 0) return kNone;
    }
}

void ObjectAdjacency::grow(size_t capacity, bool mix) {
    std::vector<Slot> old(capacity, Slot{0, 0});
    old.swap(slots_);
    mask_ = capacity - 1;
    mixed_hash_ = mix;
    probes_ = 0;
    for (const Slot &slot : old) {
        if (slot.key == 0) continue;
        size_t i = slot_of(slot.key);
        while (slots_[i].key != 0) i = (i + 1) & mask_;
        slots_[i] = slot;
    }
}

uint32_t ObjectAdjacency::insert(uintptr_t key) {
    const size_t points = start_.size();
    if (key == 0) {
        if (null_index_ == kNone) {
            if (points >= kNone) return kNone;
            start_.push_back(0);
            null_index_ = static_cast<uint32_t>(points);
        }
        return null_index_;
    }
    if (slots_.empty()) grow(1024, false);
    for (size_t i = slot_of(key);; i = (i + 1) & mask_) {
        Slot &slot = slots_[i];
        if (slot.key == key) return slot.index;
        if (slot.key != 0) {
            ++probes_;
            continue;
        }
        if (points >= kNone) return kNone;
        start_.push_back(0);
        slot = Slot{key, static_cast<uint32_t>(points)};
        const size_t keyed = points + 1 - (null_index_ != kNone);
        if (2 * keyed > slots_.size())
            grow(2 * slots_.size(), mixed_hash_);
        else if (!mixed_hash_ && probes_ > 4 * keyed + 1024)
            grow(slots_.size(), true);
        return static_cast<uint32_t>(points);
    }
}

PointPolygons ObjectAdjacency::polygons_of(LWPntID point) const {
    const uint32_t index = find(reinterpret_cast<uintptr_t>(point));
    if (index == kNone || index >= fill_.size()) return {};
    return {polys_.data() + start_[index], fill_[index]};
}

size_t ObjectAdjacency::memory_bytes() const {
    return slots_.capacity() * sizeof(Slot) + start_.capacity() * sizeof(size_t) +
           fill_.capacity() * sizeof(int32_t) + polys_.capacity() * sizeof(LWPolID);
}

// ---- The build.

// What the two polygon scans of a build share. Allocation failures are caught here: they
// must not unwind through the host's scan.
struct AdjacencyBuild {
    LWMeshInfo *mesh;
    ObjectAdjacency *record;
    bool failed;

    // First scan: count the corners at every point, numbering points as they are met.
    static size_t count_corners(void *data, LWPolID polygon) {
        AdjacencyBuild &b = *static_cast<AdjacencyBuild *>(data);
        if (b.failed) return 1;
        try {
            const int n = b.mesh->polSize(b.mesh, polygon);
            for (int i = 0; i < n; ++i) {
                const LWPntID point = b.mesh->polVertex(b.mesh, polygon, i);
                const uint32_t index = b.record->insert(reinterpret_cast<uintptr_t>(point));
                if (index == ObjectAdjacency::kNone) {
                    b.failed = true;
                    return 1;
                }
                ++b.record->start_[index];
            }
        } catch (const std::bad_alloc &) {
            b.failed = true;
            return 1;
        }
        return 0;
    }

    // Second scan: list the polygon at each of its points.
    static size_t list_corners(void *data, LWPolID polygon) {
        AdjacencyBuild &b = *static_cast<AdjacencyBuild *>(data);
        if (b.failed) return 1;
        ObjectAdjacency &r = *b.record;
        const int n = b.mesh->polSize(b.mesh, polygon);
        for (int i = 0; i < n; ++i) {
            const uint32_t index = r.find(reinterpret_cast<uintptr_t>(b.mesh->polVertex(b.mesh, polygon, i)));
            // A point the first scan did not see, or more corners than it counted, would mean
            // the mesh changed between the scans: such corners are left out rather than
            // overrun.
            if (index == ObjectAdjacency::kNone) continue;
            int32_t &fill = r.fill_[index];
            if (static_cast<size_t>(fill) < r.start_[index + 1] - r.start_[index] && fill < INT32_MAX)
                r.polys_[r.start_[index] + static_cast<size_t>(fill++)] = polygon;
        }
        return 0;
    }
};

bool ObjectAdjacency::build(LWMeshInfo *mesh) {
    AdjacencyBuild b{mesh, this, false};
    try {
        mesh->scanPolys(mesh, AdjacencyBuild::count_corners, &b);
        if (!b.failed) {
            // The counts become each list's start: a running sum, with the end appended.
            const size_t points = start_.size();
            size_t total = 0;
            for (size_t i = 0; i < points; ++i) {
                const size_t count = start_[i];
                start_[i] = total;
                total += count;
            }
            start_.push_back(total);
            fill_.assign(points, 0);
            polys_.assign(total, nullptr);
            mesh->scanPolys(mesh, AdjacencyBuild::list_corners, &b);
        }
    } catch (const std::bad_alloc &) {
        b.failed = true;
    }
    if (!b.failed) return true;
    slots_ = std::vector<Slot>();
    start_ = std::vector<size_t>();
    fill_ = std::vector<int32_t>();
    polys_ = std::vector<LWPolID>();
    return false;
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

ObjectAdjacency *find_record(LWItemID objID) {
    for (ObjectAdjacency *record : module_state.normal_cache.records)
        if (record && record->objID == objID) return record;
    return nullptr;
}

bool is_building(LWItemID objID) {
    for (LWItemID id : module_state.normal_cache.building)
        if (id == objID) return true;
    return false;
}

void remove_building(LWItemID objID) {
    std::vector<LWItemID> &building = module_state.normal_cache.building;
    for (size_t i = 0; i < building.size(); ++i) {
        if (building[i] == objID) {
            building.erase(building.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

// The records this thread found lately, valid while the cache's generation stays the one
// they were found in: a spot of an object met before finds its record without the lock.
struct ThreadRecords {
    static constexpr int kEntries = 4;
    uint32_t generation = 0;
    int next = 0;
    LWItemID objID[kEntries] = {};
    ObjectAdjacency *record[kEntries] = {};
};
thread_local ThreadRecords t_records;

ObjectAdjacency *thread_record(LWItemID objID, uint32_t generation) {
    ThreadRecords &t = t_records;
    if (t.generation != generation) return nullptr;
    for (int i = 0; i < ThreadRecords::kEntries; ++i)
        if (t.record[i] && t.objID[i] == objID) return t.record[i];
    return nullptr;
}

void keep_thread_record(ObjectAdjacency *record, uint32_t generation) {
    ThreadRecords &t = t_records;
    if (t.generation != generation) {
        t = ThreadRecords();
        t.generation = generation;
    }
    t.objID[t.next] = record->objID;
    t.record[t.next] = record;
    t.next = (t.next + 1) % ThreadRecords::kEntries;
}

// The object's record: found, waited for while another thread builds it, or built here.
// Null when memory runs out.
//
// The build runs with the lock released, so that spots of other objects, and of objects
// already built, never wait for it. That changes neither results nor host calls: the
// building thread makes the same two scans through its own mesh record as it did under the
// lock; an object is built by one thread at a time, as before, because it is marked as
// building under the lock and every other spot of it waits (on `built`) until the mark is
// gone; and a record becomes visible only when it is complete, appended under the lock as
// it was. A failed build leaves no record and the next spot of the object tries again, as
// before. Reset waits for builds in progress, so it never frees what a builder still fills.
ObjectAdjacency *object_record(LWMeshInfo *mesh, LWItemID objID, CriticalSection *lock) {
    NormalCache &cache = module_state.normal_cache;
    const uint32_t generation = cache.generation.load();
    if (ObjectAdjacency *record = thread_record(objID, generation)) return record;

    // Without `lock` the caller holds normal_cache_lock for the whole call.
    CriticalSection &cs = lock ? *lock : module_state.normal_cache_lock;
    if (lock) cs.enter();
    ObjectAdjacency *record = nullptr;
    for (;;) {
        record = find_record(objID);
        if (record || !is_building(objID)) break;
        cache.built.wait(cs);
    }
    if (record) {
        // The generation read before the lock is the current one: resets happen under it.
        const uint32_t now = cache.generation.load();
        if (lock) cs.leave();
        keep_thread_record(record, now);
        return record;
    }

    std::unique_ptr<ObjectAdjacency> made;
    bool marked = false;
    try {
        made.reset(new ObjectAdjacency(objID));
        cache.building.push_back(objID);
        marked = true;
    } catch (const std::bad_alloc &) {
    }
    if (!marked) {
        if (lock) cs.leave();
        return nullptr;
    }
    if (lock) cs.leave();
    bool built = made->build(mesh);
    if (lock) cs.enter();
    remove_building(objID);
    if (built) {
        try {
            cache.records.push_back(made.get());
        } catch (const std::bad_alloc &) {
            built = false;
        }
    }
    cache.built.wake_all();
    const uint32_t now = cache.generation.load();
    if (lock) cs.leave();
    if (!built) return nullptr;
    keep_thread_record(made.get(), now);
    return made.release();
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

bool corner_polygons(LWMeshInfo *mesh, const LWShaderAccess *access, CornerPolygons &out, CriticalSection *lock) {
    const ObjectAdjacency *record = object_record(mesh, access->objID, lock);
    if (!record) return false;
    for (int k = 0; k < 4; ++k) {
        const PointPolygons corner = record->polygons_of(access->verts[k]);
        out.polys[k] = corner.polys;
        out.fill[k] = corner.fill;
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
    if (!corner_polygons(mesh, access, corners, lock)) return false;
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
    NormalCache &cache = module_state.normal_cache;
    // A build in progress finishes first: its thread still fills the record.
    while (!cache.building.empty()) cache.built.wait(module_state.normal_cache_lock);
    for (ObjectAdjacency *record : cache.records) delete record;
    cache.records.clear();
    cache.generation.exchange(cache.generation.load() + 1);
}

}  // namespace ormel
