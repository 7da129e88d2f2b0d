#include "shading/evaluate.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/platform.h"
#include "instance/dirt_instance.h"
#include "module/globals.h"
#include "module/module_state.h"
#include "module/scene_query.h"
#include "params/micropol.h"
#include "params/services.h"
#include "shading/dirt_blend.h"
#include "shading/hit_record.h"
#include "shading/noise.h"
#include "shading/normal_cache.h"
#include "shading/sample_direction.h"

namespace ormel {

namespace {

constexpr double kThetaMax = 1.562069680534925;     // 89.5 degrees
constexpr double kThetaMin = 0.008726646259971648;  // 0.5 degrees
constexpr double kTwoPi = 6.283185307179586;
constexpr double kNoHit = 1e16;
constexpr double kStepAllowance = 1e-6;

// The width value (envelope times the first component of its texture) and the falloff at
// render time; false when the parameters cannot be read.
bool read_width_and_falloff(const DirtInstance *inst, LWMicropol *mp, double &width,
                            double &falloff) {
    if (!param_services.vparm || !param_services.vparm->getVal) return false;
    double out[3] = {0.0, 0.0, 0.0};
    param_value(inst->dirt_width, out);
    const double w0 = out[0];
    double factor[3] = {1.0, 1.0, 1.0};
    param_texture(inst->dirt_width, mp, factor);
    width = factor[0] * w0;

    out[0] = out[1] = out[2] = 0.0;
    param_value(inst->dirt_falloff, out);
    falloff = out[0];
    return true;
}

// The spot's normal, smoothed over its neighbours with the surface's smoothing angle when
// the object's mesh can be read, and normalised.
Vec3 spot_normal(const DirtInstance *inst, const LWShaderAccess *access) {
    // The angle is read before the lock.
    const double *angle_ptr = shader_globals.surface_funcs->getFlt
                                  ? shader_globals.surface_funcs->getFlt(inst->surface, SURF_SMAN)
                                  : nullptr;
    const double angle = angle_ptr ? *angle_ptr : 0.0;
    Vec3 N(access->wNorm0);
    // The lock is held only for the cache lookups: threads smooth their spots side by side.
    Vec3 smoothed;
    if (smoothed_normal(access, angle, true, smoothed, module_state.normal_cache_lock)) N = smoothed;
    return vec_normalize(N);
}

// Distance along D to the shaded object's own geometry, stepping past every other object
// (each crossing adds a small allowance); negative when the ray leaves the scene first.
double self_object_distance(LWShaderAccess *access, const Vec3 &D, int32_t *flag,
                            LWShaderAccess *hit) {
    double Q[3] = {access->wPos[0], access->wPos[1], access->wPos[2]};
    const double dir[3] = {D.x, D.y, D.z};
    double s = 0.0;
    for (;;) {
        // The flag tells the spots the host shades for this ray to leave themselves alone.
        *flag = 1;
        double d = access->rayShade(Q, dir, hit);
        *flag = 0;
        if (!(d >= 0.0)) return -1.0;
        d = d + kStepAllowance;
        s = s + d;
        for (int k = 0; k < 3; ++k) Q[k] = Q[k] + d * dir[k];
        if (hit->objID == access->objID) return s;
    }
}

// Casts the spot's sample rays and returns the nearest dirt distance, kNoHit when none hit.
double nearest_hit(const DirtInstance *inst, LWShaderAccess *access, const Vec3 &N,
                   int32_t *flag) {
    Vec3 T1(access->oXfrm[0], access->oXfrm[3], access->oXfrm[6]);
    Vec3 T2(access->oXfrm[1], access->oXfrm[4], access->oXfrm[7]);
    vec_normalize(T1);
    vec_normalize(T2);
    const Vec3 origin(access->wPos);
    const double wpos[3] = {access->wPos[0], access->wPos[1], access->wPos[2]};

    // The noise position walks on through every sample, so each draws fresh jitter.
    const double scale = inst->sample_scale;
    Vec3 P;
    Vec3 O;
    if (scale != 0.0) {
        P = Vec3(access->oPos[0] / scale, access->oPos[1] / scale, access->oPos[2] / scale);
        O = Vec3(12.3 / scale, 45.6 / scale, 78.9 / scale);
    }

    // The azimuth frame is the same for every sample of the spot.
    const SampleFrame frame = sample_frame(N, T1, T2);

    // Only the self-object mode hands the record to the host; clearing its 912 bytes for
    // every spot of the other mode would be wasted.
    HitRecord hit;
    if (inst->single_f) std::memset(&hit, 0, sizeof hit);
    double nearest = kNoHit;
    for (int i = 0; i < inst->sample_itr; ++i) {
        for (int j = 0; j < inst->sample_count; ++j) {
            const double u = (gradient_noise(P) + 1.0) * 0.5;
            P = P + O;
            const double v = (gradient_noise(P) + 1.0) * 0.5;
            P = P + O;

            double theta = (u - 0.5) * (2.0 * inst->sample_jitter) + inst->sample_theta;
            if (theta > kThetaMax)
                theta = kThetaMax;
            else if (!(theta >= kThetaMin))
                theta = kThetaMin;
            const double phi = (j + v) * kTwoPi / inst->sample_count;
            Vec3 D = sample_direction(frame, theta, phi);
            vec_normalize(D);

            double d;
            if (inst->single_f) {
                d = self_object_distance(access, D, flag, &hit.access);
            } else {
                const double dir[3] = {D.x, D.y, D.z};
                d = access->rayCast(wpos, dir);
            }
            if (!(d >= 0.0)) continue;

            const Vec3 H = origin + d * D;
            const double m = dirt_distance(H, origin, access);
            if (!(m >= nearest)) nearest = m;
        }
    }
    return nearest;
}

}  // namespace

int32_t *render_thread_flag(const char *name, int size) {
    LWGlobalPool *pool = shader_globals.render_memory;
    if (!pool || !pool->find || !pool->create) return nullptr;
    // The chunk name is formatted once per thread and name, not once per spot.
    struct NameCache {
        char text[512];
        size_t name_length;
        uint32_t thread;
        bool valid;
    };
    thread_local NameCache cache = {{0}, 0, 0, false};
    const uint32_t thread = current_thread_number();
    const char *chunk_name = cache.text;
    if (!(cache.valid && cache.thread == thread && std::strncmp(cache.text, name, cache.name_length) == 0 &&
          name[cache.name_length] == '\0')) {
        const int n = std::snprintf(cache.text, sizeof cache.text, "%s %08x", name, static_cast<unsigned>(thread));
        // A name cut short by the buffer is not kept: the next call formats again.
        cache.valid = n > 0 && static_cast<size_t>(n) < sizeof cache.text;
        cache.name_length = std::strlen(name);
        cache.thread = thread;
    }
    if (LWMemChunk found = pool->find(chunk_name)) return static_cast<int32_t *>(found);
    LWMemChunk created = pool->create(chunk_name, size);
    if (!created) return nullptr;
    std::memset(created, 0, static_cast<size_t>(size));
    return static_cast<int32_t *>(created);
}

namespace dirt {

void evaluate(LWInstance instance, LWShaderAccess *access) {
    const DirtInstance *inst = static_cast<const DirtInstance *>(instance);
    if (!inst || !access) return;
    if (!globals_present() || !access->rayCast || !access->rayShade) return;

    LWMicropol mp;
    fill_micropol(&mp, access, inst->surface);
    double width = 0.0, falloff = 0.0;
    if (!read_width_and_falloff(inst, &mp, width, falloff)) return;

    // Spots the host shades for one of our own self-object rays get no dirt.
    int32_t *flag = render_thread_flag(kRayShadeFlagName, 4);
    if (!flag || *flag != 0) return;

    // An item that is not a scene object has no geometry to sample: its height is the
    // distance.
    if (object_outside_scene(access->objID)) {
        dirt_blend(access, inst, std::fabs(access->wPos[1]) / width, falloff);
        return;
    }

    const Vec3 N = spot_normal(inst, access);
    const double nearest = nearest_hit(inst, access, N, flag);
    dirt_blend(access, inst, nearest / width, falloff);
}

}  // namespace dirt
}  // namespace ormel
