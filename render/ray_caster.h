// Ray casting over the scene's meshes, built on Embree.
//
// Every object's polygons are cut into fans of triangles (polygons of fewer than three
// corners cannot be hit) at their deformed world positions at the scene's current time; the
// acceleration structure is brought up to date on the first ray after that time changes.
// It has two levels: each object has an Embree scene of its own, its vertices at world
// positions, placed in a top scene as an instance with the identity transform (a ray meets
// the same float vertices as in one scene of every object, and hits come back in world
// space). Objects whose placement did not change keep their triangles and scene; an object
// that moved gets its points' new positions in a scene of its own: a new one for its first
// two moves, then the scene of the placement before the last one, refitted, once no
// structure traces it any more (each moving object keeps two scenes). The top scene over the
// instances is built anew, which costs little; when nothing moved the whole structure stays. `invalidate` (meshes changed)
// rebuilds all. Traversal is watertight (RTC_SCENE_FLAG_ROBUST): triangles that share an edge
// share its float vertices, so a ray aimed exactly at the edge hits one of them; which one
// depends on the order the structure meets them in. Both sides of a polygon are hit.
//
// Self-hits: a ray that starts on a surface must not hit that surface again through
// rounding. The caster rejects every hit on a triangle whose plane passes within the
// self-hit tolerance of the ray's origin (an intersection filter, in double precision):
// a ray that starts on a plane can meet it only at distance 0, or run inside it, so such
// hits are always spurious. That covers the polygon the spot lies on and its coplanar
// neighbours, and at an edge or corner the polygons meeting there. The tolerance is
// 1e-6 times the scene's scale (the largest coordinate of any vertex or of the origin,
// at least 1): well above float rounding of the vertices, far below any feature a dirt
// width would measure. Surfaces nearer than that to the origin are not seen.
//
// Distances are refined in double precision on the hit triangle's plane, so a hit point
// `pos + distance × dir` lies on the surface to double accuracy and can start the next ray.
//
// The host's ray functions (LWShaderAccess rayCast, rayShade, rayTrace, illuminate) carry no
// context: they use the calling thread's current caster, which the renderer sets on each
// render thread with `RayCaster::Scope` (or `set_current`). Without one they report a miss.
#ifndef RENDER_RAY_CASTER_H
#define RENDER_RAY_CASTER_H

#include <embree3/rtcore.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "host/lwsdk.h"
#include "refhost/mesh_access.h"
#include "refhost/scene.h"
#include "refhost/shading_spot.h"
#include "render/host_names.h"

namespace render {

// What the render threads did, counted per thread (no shared counters on the hot path).
struct RenderCounters {
    long spots_shaded = 0;  // hits the host shaded itself (not from inside a shader)
    long plugin_rays = 0;   // rays shaders cast through the host's ray functions
};

class RayCaster {
public:
    explicit RayCaster(const Scene &scene);
    ~RayCaster();
    RayCaster(const RayCaster &) = delete;
    RayCaster &operator=(const RayCaster &) = delete;

    // Meshes changed without a change of time: rebuild before the next ray.
    void invalidate();

    struct Hit {
        double distance = -1.0;
        // Valid while the thread's structure stays, which it does until the thread's next
        // ray from outside any shader: no reference is counted per hit.
        const ObjectGeometry *geometry = nullptr;
        int polygon = -1;  // polygon number within the object
        PolygonSpot spot;
        Vec3d position;
    };
    // The nearest hit along dir (normalised here) within max_distance; false when none.
    bool intersect(const Vec3d &pos, const Vec3d &dir, double max_distance, Hit &hit) const;
    // Distance to the nearest hit, or -1.0.
    double cast(const Vec3d &pos, const Vec3d &dir) const;
    // Embree's rtcIntersect1 alone on the current structure, with the self-hit filter the
    // caster's rays use and nothing else: `unit_dir` is taken as it is, the distance is
    // Embree's float one (-1.0 on a miss). What a ray costs without the host around it,
    // for benchmarks.
    double embree_intersect(const Vec3d &pos, const Vec3d &unit_dir) const;
    // As cast; on a hit also fills `access` with the hit spot and runs its surface's shaders
    // on it, on this thread. On a miss `access` is left as it was. `access` begins a record
    // of kSpotRecordSize bytes, all of which a hit writes, as a host does.
    double shade(const Vec3d &pos, const Vec3d &dir, LWShaderAccess *access) const;
    // The colour seen along a ray: the hit surface after its shaders, lit by the scene's
    // lights (with shadows) and ambient light, plus its reflection, to a bounded depth; the
    // backdrop colour on a miss. Returns the hit distance or -1.0.
    double trace(const Vec3d &pos, const Vec3d &dir, double color[3]) const;
    // The light arriving at pos from one light: 1 with dir (from the light towards pos,
    // unit) and colour written when it reaches pos; 0 when it is shadowed, outside a spot
    // light's cone, or not a light (colour then zero).
    int illuminate(LWItemID light, const Vec3d &pos, double dir[3], double color[3]) const;
    // Runs a surface's shaders on a spot, tracking the depth and the shading object for rays
    // cast from inside them. Beyond `max_shade_depth` nested shadings no shader runs.
    void run_shaders(const Surface *surface, LWShaderAccess &access) const;

    // Builds the structure for the scene's current time now, on this thread. False, with
    // Embree's reason, when that failed (out of memory, say): rays would then miss.
    bool ready(std::string *error) const;

    double self_hit_tolerance() const;
    size_t triangle_count() const;
    // Bytes Embree holds for this caster now (its device's allocations less its frees),
    // for benchmarks.
    long long embree_bytes() const { return embree_bytes_.load(); }

    int max_shade_depth = 8;
    int max_trace_depth = 4;

    // The caster the host ray functions use on the calling thread.
    static void set_current(const RayCaster *caster);
    static const RayCaster *current();
    class Scope {
    public:
        explicit Scope(const RayCaster &caster);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        const RayCaster *previous_;
    };

    // The host ray functions, and a helper that puts all four into an access record.
    static double ray_cast(const LWDVector pos, const LWDVector dir);
    static double ray_shade(const LWDVector pos, const LWDVector dir, LWShaderAccess *access);
    static double ray_trace(const LWDVector pos, const LWDVector dir, LWDVector color);
    static int ray_illuminate(LWItemID light, const LWDVector pos, LWDVector dir, LWDVector color);
    static void install_ray_functions(LWShaderAccess &access);

    // The calling thread's counts so far; subtract two readings to count a stretch of work.
    static RenderCounters thread_counters();

    struct ObjectTriangles;

private:
    struct Bvh;
    struct RayHit;
    struct Topology;
    struct ObjectScene;
    bool nearest(const Vec3d &pos, const Vec3d &dir, double max_distance, RayHit &out) const;
    std::shared_ptr<const Bvh> snapshot() const;
    // The structure for this thread's rays: a per-thread copy of the snapshot, renewed when
    // the caster is invalidated or rebuilt, so that rays take no lock and touch no shared
    // reference count.
    const Bvh &current_bvh() const;
    // A structure for the scene's current time. Objects whose placement is the same as in
    // `previous` keep their triangles and Embree geometry; when none changed, the previous
    // traversal structure is shared.
    std::shared_ptr<const Bvh> build(const Bvh *previous) const;
    // An object's triangles at a placement; `before`, its triangles at another placement of
    // the same meshes, lends its triangulation and Embree scene (see the header).
    std::shared_ptr<const ObjectTriangles> build_object(const Item &object, double time,
                                                        const ObjectTransform &placement,
                                                        const ObjectTriangles *before) const;
    static std::shared_ptr<const Topology> make_topology(const ObjectGeometry &geometry);

    const Scene &scene_;
    RTCDevice device_ = nullptr;
    mutable std::mutex mutex_;  // guards bvh_ and dirty_; never held while tracing or shading
    mutable std::shared_ptr<const Bvh> bvh_;
    mutable bool dirty_ = true;
    mutable std::atomic<unsigned long long> generation_{0};  // bumped by every change of bvh_
    const unsigned long long id_;  // unique per caster, so per-thread copies never mix casters
    std::atomic<long long> embree_bytes_{0};
};

}  // namespace render

#endif
