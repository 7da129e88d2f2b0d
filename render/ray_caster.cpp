#include "render/ray_caster.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "refhost/item_info.h"
#include "refhost/vec3d_math.h"

namespace render {

using namespace vmath;

namespace {

constexpr double kSelfHitScale = 1e-6;

thread_local const RayCaster *t_current = nullptr;
thread_local int t_shade_depth = 0;             // nested shader runs on this thread
thread_local LWItemID t_shading_object = nullptr;  // the object whose spot is being shaded
thread_local int t_trace_depth = 0;
thread_local RenderCounters t_counters;

bool finite(const Vec3d &v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Rays start within this distance of the origin: beyond it single precision has nothing
// to say about where they go.
constexpr double kMaxRayOrigin = 1e30;

// Shading keeps every value within ±kShadeLimit. A shader may write any finite value, and
// products of such values would overflow to infinities and their sums to NaN, which an
// image can only show as black. Ordinary values lie far inside, where this changes nothing.
constexpr double kShadeLimit = 1e30;
double bounded(double v) { return v > kShadeLimit ? kShadeLimit : v < -kShadeLimit ? -kShadeLimit : v == v ? v : 0.0; }
Vec3d bounded(const Vec3d &v) { return {bounded(v.x), bounded(v.y), bounded(v.z)}; }

// One triangle of a polygon's fan, with its corners and plane in double precision.
struct Triangle {
    int polygon;
    int fan;  // corners 0, fan + 1, fan + 2
    Vec3d a, b, c;
    Vec3d normal;  // unit; zero when degenerate
    double offset;  // normal · a
};

}  // namespace

// An object's polygons cut into fan triangles over its points, numbered as the object's
// geometry numbers them (every point of the object is a vertex, used or not): what stays
// while only the points move. Shared by every placement of the object until the meshes change.
struct RayCaster::Topology {
    size_t points = 0, corners = 0;  // of the geometry it was made from
    std::vector<unsigned> indices;  // three point numbers per triangle
    std::vector<int> polygon, fan;  // per triangle: its polygon number and fan triangle
};

// An object's own Embree scene of one triangle geometry, its vertices at world positions,
// instanced in the top scene with the identity transform: a ray meets the same float
// vertices through the instance as it would in one scene of every object. A refittable
// scene can take new positions of the same points and refit its hierarchy.
struct RayCaster::ObjectScene {
    RTCScene scene = nullptr;
    RTCGeometry geometry = nullptr;
    bool refittable = false;
    std::string error;  // Embree's, when its last build or refit failed

    ObjectScene() = default;
    ObjectScene(const ObjectScene &) = delete;
    ObjectScene &operator=(const ObjectScene &) = delete;
    ~ObjectScene() {
        if (geometry) rtcReleaseGeometry(geometry);
        if (scene) rtcReleaseScene(scene);
    }
};

// One object's triangles at one placement, with its Embree scene. Frames in which the
// object's placement stays the same share it.
struct RayCaster::ObjectTriangles {
    std::shared_ptr<const ObjectGeometry> geometry;
    std::shared_ptr<const Topology> topology;
    std::vector<Triangle> triangles;      // by Embree primitive ID
    std::shared_ptr<ObjectScene> embree;  // committed; null when there are no triangles
    // The scene of the placement before, kept to be refitted at the next move once no
    // structure traces it any more.
    std::shared_ptr<ObjectScene> spare;
    double scale = 1.0;                   // largest vertex coordinate, at least 1
    const Item *object = nullptr;
    ObjectTransform placement;            // the transform its world positions were made with

    ObjectTriangles() = default;
    ObjectTriangles(const ObjectTriangles &) = delete;
    ObjectTriangles &operator=(const ObjectTriangles &) = delete;
};

namespace {

// The intersection context: Embree's, followed by what the self-hit filter needs.
struct CastContext {
    RTCIntersectContext base;
    Vec3d origin;
    double tolerance;
};

// Embree's single ray from pos along dir (unit) up to tfar, with no hit yet.
inline RTCRayHit embree_ray(const Vec3d &pos, const Vec3d &dir, float tfar) {
    RTCRayHit rh{};
    rh.ray.org_x = static_cast<float>(pos.x);
    rh.ray.org_y = static_cast<float>(pos.y);
    rh.ray.org_z = static_cast<float>(pos.z);
    rh.ray.dir_x = static_cast<float>(dir.x);
    rh.ray.dir_y = static_cast<float>(dir.y);
    rh.ray.dir_z = static_cast<float>(dir.z);
    rh.ray.tnear = 0.0f;
    rh.ray.tfar = tfar;
    rh.ray.mask = ~0u;
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    return rh;
}

// Rejects hits on triangles whose plane holds the ray's origin (see the header).
void self_hit_filter(const RTCFilterFunctionNArguments *args) {
    const auto *context = reinterpret_cast<const CastContext *>(args->context);
    const auto *object = static_cast<const RayCaster::ObjectTriangles *>(args->geometryUserPtr);
    for (unsigned int i = 0; i < args->N; ++i) {
        if (args->valid[i] != -1) continue;
        const Triangle &t = object->triangles[RTCHitN_primID(args->hit, args->N, i)];
        if (std::fabs(dot(t.normal, context->origin) - t.offset) <= context->tolerance) args->valid[i] = 0;
    }
}

// Glossiness 0 to 1 as a Blinn-Phong exponent from 4 to 4096.
double gloss_exponent(double glossiness) {
    const double g = std::clamp(glossiness, 0.0, 1.0);
    return std::pow(2.0, 2.0 + 10.0 * g);
}

// A shader may change only the fields its flags declare; the host takes the others back.
void keep_declared_changes(unsigned int flags, const LWShaderAccess &before, LWShaderAccess &after) {
    auto keep = [&](unsigned int bit, auto &field, const auto &old) {
        if (!(flags & bit)) field = old;
    };
    if (!(flags & LWSHF_NORMAL)) {
        std::copy(before.wNorm, before.wNorm + 3, after.wNorm);
        after.bumpHeight = before.bumpHeight;
    }
    if (!(flags & LWSHF_COLOR)) std::copy(before.color, before.color + 3, after.color);
    keep(LWSHF_LUMINOUS, after.luminous, before.luminous);
    keep(LWSHF_DIFFUSE, after.diffuse, before.diffuse);
    keep(LWSHF_SPECULAR, after.specular, before.specular);
    keep(LWSHF_MIRROR, after.mirror, before.mirror);
    keep(LWSHF_TRANSP, after.transparency, before.transparency);
    keep(LWSHF_ETA, after.eta, before.eta);
    keep(LWSHF_ROUGH, after.roughness, before.roughness);
    keep(LWSHF_TRANSLUCENT, after.translucency, before.translucency);
}

// Barycentric (u, v) of p in the triangle, so that p = (1 − u − v) a + u b + v c.
bool barycentric(const Triangle &t, const Vec3d &p, double &u, double &v) {
    const Vec3d e0 = sub(t.b, t.a), e1 = sub(t.c, t.a), e2 = sub(p, t.a);
    const double d00 = dot(e0, e0), d01 = dot(e0, e1), d11 = dot(e1, e1);
    const double d20 = dot(e2, e0), d21 = dot(e2, e1);
    const double denom = d00 * d11 - d01 * d01;
    if (!(denom != 0.0)) return false;
    u = (d11 * d20 - d01 * d21) / denom;
    v = (d00 * d21 - d01 * d20) / denom;
    return true;
}

const char *embree_error_text(RTCError error) {
    switch (error) {
    case RTC_ERROR_OUT_OF_MEMORY: return "out of memory";
    case RTC_ERROR_INVALID_ARGUMENT: return "invalid argument";
    case RTC_ERROR_INVALID_OPERATION: return "invalid operation";
    case RTC_ERROR_UNSUPPORTED_CPU: return "unsupported CPU";
    case RTC_ERROR_CANCELLED: return "cancelled";
    default: return "unknown Embree error";
    }
}

double max_abs(const Vec3d &v) { return std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)}); }

}  // namespace

struct RayCaster::Bvh {
    RTCScene scene = nullptr;
    double time = 0.0;
    double scale = 1.0;  // largest vertex coordinate, at least 1
    std::string error;   // Embree's, when building failed
    size_t triangles = 0;
    std::vector<std::shared_ptr<const ObjectTriangles>> objects;  // by instance ID in the top scene
    // Every scene object's triangles, those without any included, in scene order: what the
    // next build may reuse.
    std::vector<std::shared_ptr<const ObjectTriangles>> all;

    Bvh() = default;
    Bvh(const Bvh &) = delete;
    Bvh &operator=(const Bvh &) = delete;
    ~Bvh() {
        if (scene) rtcReleaseScene(scene);
    }
};

namespace {
std::atomic<unsigned long long> next_caster_id{1};
}  // namespace

RayCaster::RayCaster(const Scene &scene) : scene_(scene), id_(next_caster_id++) {
    // One build thread: the structures are small, and builds stay deterministic.
    device_ = rtcNewDevice("threads=1");
    // Embree reports its allocations and frees; a build, not a ray, pays for the count.
    if (device_)
        rtcSetDeviceMemoryMonitorFunction(
            device_,
            [](void *caster, ssize_t bytes, bool) {
                static_cast<RayCaster *>(caster)->embree_bytes_ += static_cast<long long>(bytes);
                return true;
            },
            this);
}

RayCaster::~RayCaster() {
    bvh_.reset();
    if (device_) {
        // Threads' copies may keep scenes of this caster, freed later: they no longer count.
        rtcSetDeviceMemoryMonitorFunction(device_, nullptr, nullptr);
        rtcReleaseDevice(device_);
    }
}

void RayCaster::invalidate() {
    std::lock_guard<std::mutex> lock(mutex_);
    dirty_ = true;
    ++generation_;
}

std::shared_ptr<const RayCaster::Bvh> RayCaster::snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (dirty_ || !bvh_ || bvh_->time != scene_.current_time) {
        // Threads still tracing the old structure keep it alive through their copies. After
        // a change of time alone the objects that stayed in place are reused; after
        // invalidate (meshes may have changed) everything is built anew.
        bvh_ = build(dirty_ ? nullptr : bvh_.get());
        dirty_ = false;
        ++generation_;
    }
    return bvh_;
}

const RayCaster::Bvh &RayCaster::current_bvh() const {
    struct ThreadCopy {
        unsigned long long caster = 0, generation = 0;
        std::shared_ptr<const Bvh> bvh;
    };
    static thread_local ThreadCopy copy;
    // While this thread is inside a shader, the structure its outer rays hit stays: their
    // hits point into it. A change made meanwhile is taken up by the next outer ray.
    const bool outer = t_shade_depth == 0;
    if (copy.caster != id_ || !copy.bvh ||
        (outer && (copy.generation != generation_.load() || copy.bvh->time != scene_.current_time))) {
        copy.bvh = snapshot();
        copy.caster = id_;
        copy.generation = generation_.load();
    }
    return *copy.bvh;
}

namespace {

bool same_vec(const Vec3d &a, const Vec3d &b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

bool same_placement(const ObjectTransform &a, const ObjectTransform &b) {
    return same_vec(a.s, b.s) && same_vec(a.r, b.r) && same_vec(a.u, b.u) && same_vec(a.f, b.f) &&
           same_vec(a.p, b.p);
}

}  // namespace

std::shared_ptr<const RayCaster::Topology> RayCaster::make_topology(const ObjectGeometry &g) {
    auto topology = std::make_shared<Topology>();
    Topology &t = *topology;
    t.points = g.world.size();
    t.corners = g.corner_points.size();
    size_t triangles = 0;
    for (const Polygon *polygon : g.polygons)
        if (polygon->vertices.size() >= 3) triangles += polygon->vertices.size() - 2;
    t.indices.reserve(3 * triangles);
    t.polygon.reserve(triangles);
    t.fan.reserve(triangles);
    // Shared points are shared vertices, which keeps edges watertight.
    for (size_t number = 0; number < g.polygons.size(); ++number) {
        const size_t corners = g.polygons[number]->vertices.size();
        const int *corner = g.corners(number);
        for (size_t k = 1; k + 1 < corners; ++k) {
            t.polygon.push_back(static_cast<int>(number));
            t.fan.push_back(static_cast<int>(k - 1));
            t.indices.push_back(static_cast<unsigned>(corner[0]));
            t.indices.push_back(static_cast<unsigned>(corner[k]));
            t.indices.push_back(static_cast<unsigned>(corner[k + 1]));
        }
    }
    return topology;
}

std::shared_ptr<const RayCaster::ObjectTriangles> RayCaster::build_object(const Item &object, double time,
                                                                          const ObjectTransform &placement,
                                                                          const ObjectTriangles *before) const {
    auto entry = std::make_shared<ObjectTriangles>();
    entry->object = &object;
    entry->placement = placement;
    entry->geometry = build_object_geometry(scene_, object, time);
    const ObjectGeometry &g = *entry->geometry;
    // The meshes stay while only the placement changes (invalidate drops `before`); should
    // they change without it, the object is made anew rather than read out of bounds.
    if (before && (before->topology->points != g.world.size() || before->topology->corners != g.corner_points.size()))
        before = nullptr;
    entry->topology = before ? before->topology : make_topology(g);
    const Topology &topology = *entry->topology;

    const std::vector<Vec3d> &world = g.world;  // by point number
    const size_t count = topology.polygon.size();
    entry->triangles.resize(count);
    for (size_t i = 0; i < count; ++i) {
        Triangle &t = entry->triangles[i];
        t.polygon = topology.polygon[i];
        t.fan = topology.fan[i];
        t.a = world[topology.indices[3 * i]];
        t.b = world[topology.indices[3 * i + 1]];
        t.c = world[topology.indices[3 * i + 2]];
        t.normal = normalized(cross(sub(t.b, t.a), sub(t.c, t.a)));
        t.offset = dot(t.normal, t.a);
        // The scale of the points triangles use.
        entry->scale = std::max({entry->scale, max_abs(t.a), max_abs(t.b), max_abs(t.c)});
    }
    if (count == 0 || !device_) return entry;

    auto store_vertices = [&](float *vb) {
        for (size_t i = 0; i < world.size(); ++i) {
            vb[3 * i + 0] = static_cast<float>(world[i].x);
            vb[3 * i + 1] = static_cast<float>(world[i].y);
            vb[3 * i + 2] = static_cast<float>(world[i].z);
        }
    };
    if (before) {
        // A move: the scene traced before is kept for the move after this one, and the one
        // kept before is refitted when nothing else holds it (the structure that traced it
        // is gone), or a refittable scene is made.
        entry->spare = before->embree;
        const std::shared_ptr<ObjectScene> &old = before->spare;
        if (old && old->refittable && old.use_count() == 1) {
            // The other holders' releases happen before this reuse. ThreadSanitizer does not
            // model fences (GCC refuses one under it); there the reuse goes unordered in its
            // eyes, which is what its report would then say.
#if !defined(__SANITIZE_THREAD__)
            std::atomic_thread_fence(std::memory_order_acquire);
#endif
            store_vertices(static_cast<float *>(rtcGetGeometryBufferData(old->geometry, RTC_BUFFER_TYPE_VERTEX, 0)));
            rtcUpdateGeometryBuffer(old->geometry, RTC_BUFFER_TYPE_VERTEX, 0);
            rtcSetGeometryUserData(old->geometry, entry.get());
            rtcCommitGeometry(old->geometry);
            rtcCommitScene(old->scene);
            const RTCError status = rtcGetDeviceError(device_);
            old->error = status == RTC_ERROR_NONE ? std::string() : embree_error_text(status);
            entry->embree = old;
            return entry;
        }
    }

    auto made = std::make_shared<ObjectScene>();
    // Objects that move get a scene that can be refitted (a lower quality hierarchy: Embree
    // refits only in its two-level mode); objects in place the best hierarchy.
    made->refittable = before != nullptr;
    made->scene = rtcNewScene(device_);
    rtcSetSceneFlags(made->scene, RTC_SCENE_FLAG_ROBUST);
    rtcSetSceneBuildQuality(made->scene, made->refittable ? RTC_BUILD_QUALITY_LOW : RTC_BUILD_QUALITY_HIGH);
    RTCGeometry geom = rtcNewGeometry(device_, RTC_GEOMETRY_TYPE_TRIANGLE);
    made->geometry = geom;
    if (made->refittable) rtcSetGeometryBuildQuality(geom, RTC_BUILD_QUALITY_REFIT);
    if (auto *vb = static_cast<float *>(rtcSetNewGeometryBuffer(geom, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                                3 * sizeof(float), world.size())))
        store_vertices(vb);
    if (auto *ib = static_cast<unsigned *>(rtcSetNewGeometryBuffer(geom, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                                   3 * sizeof(unsigned), count)))
        std::copy(topology.indices.begin(), topology.indices.end(), ib);
    rtcSetGeometryUserData(geom, entry.get());
    rtcSetGeometryIntersectFilterFunction(geom, self_hit_filter);
    rtcCommitGeometry(geom);
    rtcAttachGeometryByID(made->scene, geom, 0);
    rtcCommitScene(made->scene);
    if (const RTCError status = rtcGetDeviceError(device_); status != RTC_ERROR_NONE)
        made->error = embree_error_text(status);
    entry->embree = made;
    return entry;
}

std::shared_ptr<const RayCaster::Bvh> RayCaster::build(const Bvh *previous) const {
    auto bvh = std::make_shared<Bvh>();
    bvh->time = scene_.current_time;
    if (!device_) {
        bvh->error = "no Embree device";
        return bvh;
    }

    // Each object's triangles: the previous structure's when the object kept its placement
    // (its world positions are then the same numbers), made anew otherwise.
    const std::vector<Item *> objects = scene_.objects();
    bool all_reused = previous && previous->all.size() == objects.size();
    for (size_t i = 0; i < objects.size(); ++i) {
        const Item &object = *objects[i];
        const ObjectTransform placement = object_transform(scene_, object, bvh->time);
        std::shared_ptr<const ObjectTriangles> entry;
        const ObjectTriangles *before = nullptr;
        if (previous) {
            for (const auto &old : previous->all) {
                if (old->object != &object) continue;
                if (same_placement(old->placement, placement))
                    entry = old;
                else
                    before = old.get();
                break;
            }
        }
        if (!entry) entry = build_object(object, bvh->time, placement, before);
        all_reused = all_reused && entry == previous->all[i];
        bvh->all.push_back(entry);
        if (!entry->embree) continue;
        // A scene that failed stays failed while it is reused: every structure says so.
        if (bvh->error.empty()) bvh->error = entry->embree->error;
        bvh->scale = std::max(bvh->scale, entry->scale);
        bvh->triangles += entry->triangles.size();
        bvh->objects.push_back(entry);
    }

    if (all_reused && previous->scene) {
        // Nothing moved: the previous traversal structure serves as it is.
        rtcRetainScene(previous->scene);
        bvh->scene = previous->scene;
        return bvh;
    }
    // The top scene: each object's scene placed with the identity transform (its vertices
    // are world positions already), so that a move of one object leaves the others' scenes
    // alone. The instance ID of a hit is its object's index in `objects`.
    static const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    bvh->scene = rtcNewScene(device_);
    rtcSetSceneFlags(bvh->scene, RTC_SCENE_FLAG_ROBUST);
    for (size_t id = 0; id < bvh->objects.size(); ++id) {
        RTCGeometry instance = rtcNewGeometry(device_, RTC_GEOMETRY_TYPE_INSTANCE);
        rtcSetGeometryInstancedScene(instance, bvh->objects[id]->embree->scene);
        rtcSetGeometryTransform(instance, 0, RTC_FORMAT_FLOAT3X4_COLUMN_MAJOR, identity);
        rtcCommitGeometry(instance);
        rtcAttachGeometryByID(bvh->scene, instance, static_cast<unsigned>(id));
        rtcReleaseGeometry(instance);
    }
    rtcCommitScene(bvh->scene);
    const RTCError status = rtcGetDeviceError(device_);
    if (status != RTC_ERROR_NONE && bvh->error.empty()) bvh->error = embree_error_text(status);
    return bvh;
}

bool RayCaster::ready(std::string *error) const {
    const std::shared_ptr<const Bvh> bvh = snapshot();
    if (bvh->error.empty()) return true;
    if (error) *error = "cannot build the ray-tracing structure: " + bvh->error;
    return false;
}

double RayCaster::self_hit_tolerance() const { return kSelfHitScale * snapshot()->scale; }

size_t RayCaster::triangle_count() const { return snapshot()->triangles; }

// The nearest accepted hit of a ray, before any of what a spot needs is worked out.
struct RayCaster::RayHit {
    double distance;
    Vec3d dir;  // unit
    const ObjectTriangles *object;
    const Triangle *triangle;
    float u, v;  // Embree's barycentric coordinates
};

bool RayCaster::nearest(const Vec3d &pos, const Vec3d &dir_in, double max_distance, RayHit &out) const {
    const Vec3d dir = normalized(dir_in);
    // A normalised direction is a unit vector or exactly zero.
    if (!finite(pos) || !finite(dir) || (dir.x == 0.0 && dir.y == 0.0 && dir.z == 0.0) || !(max_distance > 0.0))
        return false;
    const double reach = max_abs(pos);
    if (reach > kMaxRayOrigin) return false;
    const Bvh *bvh = &current_bvh();
    if (!bvh->scene) return false;

    CastContext context;
    rtcInitIntersectContext(&context.base);
    context.origin = pos;
    context.tolerance = kSelfHitScale * std::max(bvh->scale, reach);

    RTCRayHit rh = embree_ray(pos, dir,
                              max_distance < static_cast<double>(std::numeric_limits<float>::max())
                                  ? static_cast<float>(max_distance)
                                  : std::numeric_limits<float>::infinity());
    rtcIntersect1(bvh->scene, &context.base, &rh);
    if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID) return false;

    // Through the identity instance the hit is in world space already.
    const ObjectTriangles &object = *bvh->objects[rh.hit.instID[0]];
    const Triangle &t = object.triangles[rh.hit.primID];
    // Refine the distance on the triangle's plane in doubles; Embree's float distance stays
    // when the ray runs nearly along the plane.
    double distance = static_cast<double>(rh.ray.tfar);
    const double denom = dot(t.normal, dir);
    if (std::fabs(denom) > 1e-12) {
        const double refined = (t.offset - dot(t.normal, pos)) / denom;
        if (refined >= 0.0) distance = refined;
    }
    if (distance > max_distance) return false;
    out = RayHit{distance, dir, &object, &t, rh.hit.u, rh.hit.v};
    return true;
}

bool RayCaster::intersect(const Vec3d &pos, const Vec3d &dir_in, double max_distance, Hit &hit) const {
    RayHit r;
    if (!nearest(pos, dir_in, max_distance, r)) return false;
    const Triangle &t = *r.triangle;
    hit.distance = r.distance;
    hit.geometry = r.object->geometry.get();
    hit.polygon = t.polygon;
    hit.position = add(pos, mul(r.distance, r.dir));
    hit.spot.triangle = t.fan;
    if (!barycentric(t, hit.position, hit.spot.u, hit.spot.v)) {
        hit.spot.u = static_cast<double>(r.u);
        hit.spot.v = static_cast<double>(r.v);
    }
    return true;
}

double RayCaster::embree_intersect(const Vec3d &pos, const Vec3d &dir) const {
    const Bvh *bvh = &current_bvh();
    if (!bvh->scene) return -1.0;
    CastContext context;
    rtcInitIntersectContext(&context.base);
    context.origin = pos;
    context.tolerance = kSelfHitScale * std::max(bvh->scale, max_abs(pos));
    RTCRayHit rh = embree_ray(pos, dir, std::numeric_limits<float>::infinity());
    rtcIntersect1(bvh->scene, &context.base, &rh);
    return rh.hit.geomID == RTC_INVALID_GEOMETRY_ID ? -1.0 : static_cast<double>(rh.ray.tfar);
}

double RayCaster::cast(const Vec3d &pos, const Vec3d &dir) const {
    // A distance is all a cast needs: no spot position or barycentrics.
    RayHit r;
    return nearest(pos, dir, std::numeric_limits<double>::infinity(), r) ? r.distance : -1.0;
}

double RayCaster::shade(const Vec3d &pos, const Vec3d &dir, LWShaderAccess *access) const {
    Hit hit;
    if (!intersect(pos, dir, std::numeric_limits<double>::infinity(), hit)) return -1.0;
    if (!access) return hit.distance;
    SpotRay ray;
    ray.source = pos;
    ray.direction = normalized(dir);
    ray.length = hit.distance;
    ray.bounces = t_shade_depth;
    ray.source_id = t_shading_object;
    fill_shading_spot(*hit.geometry, hit.polygon, hit.spot, ray, *access);
    install_ray_functions(*access);
    run_shaders(hit.geometry->polygon_surface[hit.polygon], *access);
    return hit.distance;
}

void RayCaster::run_shaders(const Surface *surface, LWShaderAccess &access) const {
    if (!surface || surface->shaders.empty() || t_shade_depth >= max_shade_depth) return;
    // Rays cast from inside the shaders see this caster, this depth and this object.
    const RayCaster *previous_caster = t_current;
    const LWItemID previous_object = t_shading_object;
    t_current = this;
    t_shading_object = access.objID;
    if (t_shade_depth == 0) ++t_counters.spots_shaded;
    ++t_shade_depth;
    for (const ShaderBinding &binding : surface->shaders) {
        if (!binding.handler || !binding.handler->evaluate) continue;
        const unsigned int flags = binding.handler->flags ? binding.handler->flags(binding.instance) : 0u;
        const LWShaderAccess before = access;
        binding.handler->evaluate(binding.instance, &access);
        keep_declared_changes(flags, before, access);
    }
    --t_shade_depth;
    t_shading_object = previous_object;
    t_current = previous_caster;
}

int RayCaster::illuminate(LWItemID light_id, const Vec3d &pos, double dir[3], double color[3]) const {
    if (color) store(Vec3d{}, color);
    const Item *light = scene_item(scene_, light_id);
    if (!light || light->type != ItemType::Light || !finite(pos)) return 0;
    const double time = scene_.current_time;
    const Vec3d forward = normalized(scene_.item_param(*light, LWIP_FORWARD, time));

    Vec3d to_pos;  // unit, from the light towards pos
    double distance = std::numeric_limits<double>::infinity();
    if (light->light.type == LWLIGHT_DISTANT) {
        to_pos = forward;
    } else {
        // Point, spot, linear and area lights all shine from the light's position.
        const Vec3d offset = sub(pos, scene_.item_param(*light, LWIP_W_POSITION, time));
        distance = length(offset);
        to_pos = distance > 0.0 ? mul(1.0 / distance, offset) : forward;
    }
    if (dir) store(to_pos, dir);

    double factor = 1.0;
    if (light->light.type == LWLIGHT_SPOT) {
        const double angle = std::acos(std::clamp(dot(to_pos, forward), -1.0, 1.0));
        const double cone = light->light.cone_angle, edge = light->light.cone_edge;
        if (angle > cone) return 0;
        if (edge > 0.0 && angle > cone - edge) factor = (cone - angle) / edge;
    }
    // Shadow ray towards the light, stopping at it.
    Hit hit;
    if (distance > 0.0 && intersect(pos, neg(to_pos), distance, hit)) return 0;

    const double scale = light->light.intensity * factor;
    if (color) store(bounded(mul(scale, light->light.color)), color);
    return 1;
}

double RayCaster::trace(const Vec3d &pos, const Vec3d &dir_in, double color[3]) const {
    const Vec3d backdrop = scene_.backdrop_color;
    store(backdrop, color);
    if (t_trace_depth >= max_trace_depth) return -1.0;
    struct DepthGuard {
        DepthGuard() { ++t_trace_depth; }
        ~DepthGuard() { --t_trace_depth; }
    } guard;

    SpotRecord record;
    const LWShaderAccess &spot = record.access;
    const double distance = shade(pos, dir_in, &record.access);
    if (distance < 0.0) return -1.0;
    const Vec3d dir = normalized(dir_in);
    const Vec3d surface_color = bounded(from(spot.color));
    const double diffuse = bounded(spot.diffuse), luminous = bounded(spot.luminous);
    const double specular = bounded(spot.specular), mirror = bounded(spot.mirror);
    const Vec3d at = from(spot.wPos);
    Vec3d n = normalized(from(spot.wNorm));
    if (dot(n, dir) > 0.0) n = neg(n);  // light the side the ray sees
    const Vec3d mirror_dir = sub(dir, mul(2.0 * dot(dir, n), n));

    auto tint = [](const Vec3d &a, const Vec3d &b) { return Vec3d{a.x * b.x, a.y * b.y, a.z * b.z}; };
    const Vec3d ambient = bounded(mul(scene_.ambient_intensity, scene_.ambient_color));
    Vec3d c = bounded(add(mul(diffuse, tint(surface_color, ambient)), mul(luminous, surface_color)));
    // The scene's lights in their order, walked without building a list for every ray;
    // a light the spot's object excludes does not light it.
    const Item *object = scene_item(scene_, spot.objID);
    for (const auto &item : scene_.all_items()) {
        if (item->type != ItemType::Light) continue;
        const Item *light = item.get();
        if (object && std::find(object->excluded_lights.begin(), object->excluded_lights.end(), light) !=
                          object->excluded_lights.end())
            continue;
        double ldir[3], lcolor[3];
        if (!illuminate(to_id(light), at, ldir, lcolor)) continue;
        const Vec3d to_light = neg(from(ldir)), lc = from(lcolor);
        const double lambert = dot(n, to_light);
        if (lambert <= 0.0) continue;
        if (!(light->light.flags & LWLFL_NO_DIFFUSE))
            c = bounded(add(c, mul(diffuse * lambert, tint(surface_color, lc))));
        // Blinn-Phong, normalised so that a sharper highlight is brighter but not stronger.
        const Vec3d half = normalized(sub(to_light, dir));
        const double highlight = dot(n, half);
        if (!(light->light.flags & LWLFL_NO_SPECULAR) && highlight > 0.0) {
            const double exponent = gloss_exponent(1.0 - spot.roughness);
            const double energy = (exponent + 8.0) / 8.0;
            c = bounded(add(c, mul(specular * energy * std::pow(highlight, exponent) * lambert, lc)));
        }
    }
    if (mirror > 0.0) {
        double reflected[3];
        trace(at, mirror_dir, reflected);
        c = bounded(add(mul(1.0 - mirror, c), mul(mirror, from(reflected))));
    }
    store(c, color);
    return distance;
}

void RayCaster::set_current(const RayCaster *caster) { t_current = caster; }
const RayCaster *RayCaster::current() { return t_current; }

RayCaster::Scope::Scope(const RayCaster &caster) : previous_(t_current) { t_current = &caster; }
RayCaster::Scope::~Scope() { t_current = previous_; }

RenderCounters RayCaster::thread_counters() { return t_counters; }

double RayCaster::ray_cast(const LWDVector pos, const LWDVector dir) {
    ++t_counters.plugin_rays;
    return t_current && pos && dir ? t_current->cast(from(pos), from(dir)) : -1.0;
}

double RayCaster::ray_shade(const LWDVector pos, const LWDVector dir, LWShaderAccess *access) {
    ++t_counters.plugin_rays;
    return t_current && pos && dir ? t_current->shade(from(pos), from(dir), access) : -1.0;
}

double RayCaster::ray_trace(const LWDVector pos, const LWDVector dir, LWDVector color) {
    if (!color) return -1.0;
    if (!t_current || !pos || !dir) {
        store(Vec3d{}, color);
        return -1.0;
    }
    return t_current->trace(from(pos), from(dir), color);
}

int RayCaster::ray_illuminate(LWItemID light, const LWDVector pos, LWDVector dir, LWDVector color) {
    if (!t_current || !pos) {
        if (color) store(Vec3d{}, color);
        return 0;
    }
    return t_current->illuminate(light, from(pos), dir, color);
}

void RayCaster::install_ray_functions(LWShaderAccess &access) {
    access.illuminate = ray_illuminate;
    access.rayTrace = ray_trace;
    access.rayCast = ray_cast;
    access.rayShade = ray_shade;
}

}  // namespace render
