#include "shading/dirt_blend.h"

#include <cmath>

#include "params/micropol.h"
#include "params/services.h"

namespace ormel {

namespace {

// The channels a blend may change, kept so that a spoiled blend can be undone.
struct SpotChannels {
    double wNorm[3];
    double bumpHeight;
    double color[3];
    double diffuse;
    double specular;
    double mirror;

    explicit SpotChannels(const LWShaderAccess *a)
        : wNorm{a->wNorm[0], a->wNorm[1], a->wNorm[2]},
          bumpHeight(a->bumpHeight),
          color{a->color[0], a->color[1], a->color[2]},
          diffuse(a->diffuse),
          specular(a->specular),
          mirror(a->mirror) {}

    void restore(LWShaderAccess *a) const {
        for (int k = 0; k < 3; ++k) {
            a->wNorm[k] = wNorm[k];
            a->color[k] = color[k];
        }
        a->bumpHeight = bumpHeight;
        a->diffuse = diffuse;
        a->specular = specular;
        a->mirror = mirror;
    }
};

// Writes value into channel and notes whether it is finite.
void write_channel(double &channel, double value, bool &finite) {
    if (!std::isfinite(value)) finite = false;
    channel = value;
}

// (1 - w) * channel + w * dirt value, the dirt value read at the spot.
void blend_scalar(const PluginDataParam *param, double &channel, double w, LWMicropol *mp,
                  bool &finite) {
    double out[3] = {0.0, 0.0, 0.0};
    param_value_at(param, mp, out);
    write_channel(channel, (1.0 - w) * channel + w * out[0], finite);
}

// Tilts the normal against the bump texture's gradient and mixes the bump height.
void blend_bump(LWShaderAccess *access, const DirtInstance *inst, double w, LWMicropol *mp,
                bool &finite) {
    double out[3] = {0.0, 0.0, 0.0};
    param_value(inst->dirt_bump, out);
    const double v = out[0];

    double G[3] = {0.0, 0.0, 0.0};
    param_texture(inst->dirt_bump, mp, G);

    Vec3 n(access->wNorm[0] - w * v * G[0], access->wNorm[1] - w * v * G[1],
           access->wNorm[2] - w * v * G[2]);
    vec_normalize(n);
    write_channel(access->wNorm[0], n.x, finite);
    write_channel(access->wNorm[1], n.y, finite);
    write_channel(access->wNorm[2], n.z, finite);
    write_channel(access->bumpHeight, (1.0 - w) * access->bumpHeight + mp->bumpHeight, finite);

    // The channels below are read with the new normal and bump height.
    fill_micropol(mp, access, inst->surface);
}

}  // namespace

void dirt_blend(LWShaderAccess *access, const DirtInstance *inst, double ratio, double falloff) {
    LWMicropol mp;
    fill_micropol(&mp, access, inst->surface);
    if (ratio >= 1.0) return;
    if (!param_services.vparm || !param_services.vparm->getVal) return;

    double out[3] = {0.0, 0.0, 0.0};
    param_value_at(inst->dirt_amount, &mp, out);
    const double a = out[0];
    const double w = (1.0 - std::pow(ratio, falloff)) * a;
    // A negative ratio, or a negative falloff at ratio 0, has no finite weight: no dirt.
    if (!std::isfinite(w)) return;

    // Every written value is checked; should any fail to be finite (huge weights or dirt
    // values), the spot is put back as it came.
    const SpotChannels before(access);
    bool finite = true;
    if (inst->use_bump) blend_bump(access, inst, w, &mp, finite);
    if (inst->use_color) {
        out[0] = out[1] = out[2] = 0.0;
        param_value_at(inst->dirt_color, &mp, out);
        for (int k = 0; k < 3; ++k)
            write_channel(access->color[k], (1.0 - w) * access->color[k] + w * out[k], finite);
    }
    if (inst->use_Kd) blend_scalar(inst->dirt_Kd, access->diffuse, w, &mp, finite);
    if (inst->use_Ks) blend_scalar(inst->dirt_Ks, access->specular, w, &mp, finite);
    if (inst->use_mirror) blend_scalar(inst->dirt_mirror, access->mirror, w, &mp, finite);
    if (!finite) before.restore(access);
}

}  // namespace ormel
