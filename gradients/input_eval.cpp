#include "gradients/input_eval.h"

#include <cmath>

#include "common/vec.h"
#include "gradients/input_time.h"
#include "gradients/occlusion.h"
#include "module/module_state.h"
#include "module/scene_query.h"
#include "params/services.h"

namespace ormel {

namespace {

constexpr double kHalfPi = 1.5707963267948966;
constexpr double kOneThird = 0.3333333333333333;
constexpr double kSpecularExponent = 4.0;

// Input numbers: the 1-based rows of the gradient input table.
enum Input {
    kBump = 1,
    kSlope = 2,
    kIncidenceAngle = 3,
    kLightIncidence = 4,
    kDistanceToCamera = 5,
    kDistance = 6,
    kDistanceX = 7,
    kDistanceY = 8,
    kDistanceZ = 9,
    kWeightMap = 10,
    kSurfaceThickness = 11,
    kObjectAxisX = 12,
    kObjectAxisY = 13,
    kObjectAxisZ = 14,
    kWorldAxisX = 15,
    kWorldAxisY = 16,
    kWorldAxisZ = 17,
    kDistanceXY = 18,
    kDistanceYZ = 19,
    kDistanceZX = 20,
    kLightSpecular = 21,
    kLightPhong = 22,
    kGradientAmbient = 23,
    kGradientDiffuse = 24,
    kGradientSpecular = 25,
    kGradientPhong = 26,
    kFirstOcclusion = 27,
    kLastOcclusion = 36,
};

// Rings and sectors of the five occlusion quality levels.
struct OcclusionLevel {
    int32_t rings;
    int32_t sectors;
};
constexpr OcclusionLevel kOcclusionLevels[5] = {{3, 9}, {6, 18}, {8, 24}, {10, 30}, {12, 36}};

// What every input reads about one call.
struct Spot {
    const LWMicropol &mp;
    LWItemID item;  // the item or weight map picked for the input, 0 when none
    const InputTimeData *data;
    Vec3 n;  // normalised wNorm
    Vec3 v;  // normalised ray

    const ItemStateCache *cache() const { return data ? data->cache.get() : nullptr; }
    // The picked item, or the object being shaded when none was picked.
    LWItemID picked_or_object() const { return item ? item : mp.objID; }
    bool outside(LWItemID id) const { return object_outside_scene(host_services.item_info, id); }
};

double mean(const double colour[3]) { return (colour[0] + colour[1] + colour[2]) * kOneThird; }

// Copies one snapshot vector into out, leaving it as it was when nothing is found.
void look_up(const Spot &s, LWItemID id, int code, Vec3 &out) {
    item_cache_lookup(s.cache(), id, code, out);
}

double slope(const Spot &s) {
    Vec3 up(0.0, 1.0, 0.0);
    if (host_services.item_info && s.mp.objID && !s.outside(s.mp.objID)) {
        up = Vec3();
        look_up(s, s.mp.objID, LWIP_UP, up);
    }
    return 1.0 - vec_dot(vec_normalized(up), s.n);
}

// Unit direction from the spot toward the picked light, zero when it cannot be found.
Vec3 toward_light(const Spot &s) {
    Vec3 l;
    if (host_services.light_info->type(s.item) != LWLIGHT_DISTANT) {
        look_up(s, s.item, LWIP_W_POSITION, l);
        l = Vec3(s.mp.wPos) - l;
    } else {
        // A distant light shines along its forward axis wherever it stands.
        look_up(s, s.item, LWIP_FORWARD, l);
    }
    return -vec_normalized(l);
}

double light_input(const Spot &s, int input) {
    if (!host_services.item_info || !host_services.light_info || !s.item) return 0.0;
    const Vec3 l = toward_light(s);
    double d;
    switch (input) {
        case kLightIncidence:
            d = vec_dot(l, s.n);
            return d > 0.0 ? d * kHalfPi : 0.0;
        case kLightSpecular: {
            const Vec3 h = vec_normalized(l - s.v);
            d = vec_dot(s.n, h);
            return d > 0.0 ? std::pow(d, kSpecularExponent) : 0.0;
        }
        default: {  // kLightPhong
            const Vec3 r = vec_normalized(vec_reflect(s.v, s.n));
            d = vec_dot(r, l);
            return d > 0.0 ? d : 0.0;
        }
    }
}

double distance_input(const Spot &s, int input) {
    if (!host_services.item_info) return 0.0;
    // A picked item that is not a scene object leaves the world origin.
    Vec3 p;
    const LWItemID picked = s.picked_or_object();
    if (!s.outside(picked)) look_up(s, picked, LWIP_W_POSITION, p);
    const Vec3 d = p - Vec3(s.mp.wPos);
    switch (input) {
        case kDistance: return vec_length(d);
        case kDistanceX: return std::fabs(d.x);
        case kDistanceY: return std::fabs(d.y);
        case kDistanceZ: return std::fabs(d.z);
        case kDistanceXY: return vec_length(Vec3(d.x, d.y, 0.0));
        case kDistanceYZ: return vec_length(Vec3(0.0, d.y, d.z));
        default: return vec_length(Vec3(d.x, 0.0, d.z));  // kDistanceZX
    }
}

double weight_map(const Spot &s) {
    const LWObjectInfo *object_info = host_services.object_info;
    if (!object_info || !s.item) return 0.0;
    LWMeshInfo *mesh = object_info->meshInfo(s.mp.objID, 1);
    if (!mesh) return 0.0;
    mesh->pntVSelect(mesh, static_cast<void *>(s.item));
    double sum = 0.0;
    for (int i = 0; i < 4; ++i) {
        // Room for a map of several dimensions; only the first value is read.
        float values[16] = {};
        if (s.mp.verts[i] && mesh->pntVGet(mesh, s.mp.verts[i], values)) {
            sum += static_cast<double>(values[0]) * static_cast<double>(s.mp.weights[i]);
        }
    }
    if (mesh->destroy) mesh->destroy(mesh);
    return sum;
}

double surface_thickness(const Spot &s) {
    if (!s.mp.rayCast) return 0.0;
    const double d = s.mp.rayCast(s.mp.wPos, s.mp.ray);
    return d >= 0.0 ? d : 0.0;
}

double object_axis(const Spot &s, int input) {
    if (!host_services.item_info) return 0.0;
    const int axis = input - kObjectAxisX;  // 0, 1, 2 for X, Y, Z
    const LWItemID picked = s.picked_or_object();
    Vec3 a;
    if (s.outside(picked)) {
        a = Vec3(axis == 0 ? 1.0 : 0.0, axis == 1 ? 1.0 : 0.0, axis == 2 ? 1.0 : 0.0);
    } else {
        look_up(s, picked, LWIP_RIGHT + axis, a);
    }
    a = -vec_normalized(a);
    return vec_dot(a, s.n) * kHalfPi;
}

double gradient_ambient(const Spot &s) {
    const LWLightInfo *light_info = host_services.light_info;
    if (!light_info) return 0.0;
    if (s.outside(s.mp.objID)) return 0.0;
    // Without a per-time record the ambient light is read at the render's time.
    const double time = s.data ? s.data->time : render_time;
    double k[3] = {0.0, 0.0, 0.0};
    const LWObjectInfo *object_info = host_services.object_info;
    if (object_info && s.mp.illuminate) {
        if (object_info->excluded(s.mp.objID, LWITEM_RADIOSITY)) {
            light_info->ambient(time, k);
        } else {
            // The host writes the light's direction over this copy of the normal.
            double direction[3];
            s.n.store(direction);
            if (!s.mp.illuminate(LWITEM_RADIOSITY, s.mp.wPos, direction, k)) {
                light_info->ambient(time, k);
            }
        }
    } else {
        light_info->ambient(time, k);
    }
    return mean(k);
}

double summed_light(const Spot &s, int input) {
    const LWItemInfo *item_info = host_services.item_info;
    const LWLightInfo *light_info = host_services.light_info;
    const LWObjectInfo *object_info = host_services.object_info;
    if (!item_info || !light_info || !s.mp.illuminate) return 0.0;

    const Vec3 toward_eye = -s.v;
    const Vec3 mirror = vec_normalized(vec_reflect(s.v, s.n));
    const unsigned int skip_flag = input == kGradientDiffuse ? LWLFL_NO_DIFFUSE : LWLFL_NO_SPECULAR;
    double sum = 0.0;
    for (LWItemID light = item_info->first(LWI_LIGHT, LWITEM_NULL); light;
         light = item_info->next(light)) {
        if (light_info->flags(light) & skip_flag) continue;
        if (object_info && !s.outside(s.mp.objID) && object_info->excluded(s.mp.objID, light)) {
            continue;
        }
        double direction[3] = {0.0, 0.0, 0.0};
        double colour[3] = {0.0, 0.0, 0.0};
        if (!s.mp.illuminate(light, s.mp.wPos, direction, colour)) continue;
        const Vec3 l = -vec_normalized(Vec3(direction));
        const double intensity = mean(colour);
        switch (input) {
            case kGradientDiffuse: {
                const double d = vec_dot(s.n, l);
                sum += (d > 0.0 ? d : 0.0) * intensity;
                break;
            }
            case kGradientSpecular: {
                const Vec3 h = vec_normalized(l + toward_eye);
                const double d = vec_dot(s.n, h);
                sum += std::pow(d > 0.0 ? d : 0.0, kSpecularExponent) * intensity;
                break;
            }
            default: {  // kGradientPhong
                const double d = vec_dot(mirror, l);
                sum += (d > 0.0 ? d : 0.0) * intensity;
                break;
            }
        }
    }
    return sum;
}

double occlusion_input(const Spot &s, int input) {
    if (s.outside(s.mp.objID)) return 0.0;
    const int index = input - kFirstOcclusion;  // 0..9
    const OcclusionLevel &level = kOcclusionLevels[index % 5];
    const int half = index >= 5 ? 1 : 0;
    return occlusion_fraction(&s.mp, Vec3(s.mp.wPos), s.n, level.rings, level.sectors, half);
}

}  // namespace

double evaluate_input(LWTxtrParamDesc *param, int paramNb, LWMicropol *mp, gParamData data) {
    if (paramNb < kBump || paramNb > kLastOcclusion) return 1.0;
    if (!mp) return 0.0;
    const Spot s{*mp, param ? param->itemID : LWITEM_NULL, static_cast<const InputTimeData *>(data),
                 vec_normalized(Vec3(mp->wNorm)), vec_normalized(Vec3(mp->ray))};

    switch (paramNb) {
        case kBump: return mp->bumpHeight;
        case kSlope: return slope(s);
        // The cosine scaled onto the input's range, not an angle.
        case kIncidenceAngle: return mp->cosine * kHalfPi;
        case kLightIncidence:
        case kLightSpecular:
        case kLightPhong: return light_input(s, paramNb);
        case kDistanceToCamera: return mp->rayLength;
        case kDistance:
        case kDistanceX:
        case kDistanceY:
        case kDistanceZ:
        case kDistanceXY:
        case kDistanceYZ:
        case kDistanceZX: return distance_input(s, paramNb);
        case kWeightMap: return weight_map(s);
        case kSurfaceThickness: return surface_thickness(s);
        case kObjectAxisX:
        case kObjectAxisY:
        case kObjectAxisZ: return object_axis(s, paramNb);
        case kWorldAxisX: return -s.n.x * kHalfPi;
        case kWorldAxisY: return -s.n.y * kHalfPi;
        case kWorldAxisZ: return -s.n.z * kHalfPi;
        case kGradientAmbient: return gradient_ambient(s);
        case kGradientDiffuse:
        case kGradientSpecular:
        case kGradientPhong: return summed_light(s, paramNb);
        default: return occlusion_input(s, paramNb);
    }
}

}  // namespace ormel
