#include "refhost/scripted_caster.h"

#include <cstring>
#include <utility>

#include "refhost/spot_record.h"

namespace refhost {

namespace {

thread_local ScriptedCaster *t_script = nullptr;

Vec3d vec(const LWDVector v) { return v ? Vec3d{v[0], v[1], v[2]} : Vec3d{}; }

}  // namespace

ScriptedCaster::ScriptedCaster() : previous_(t_script) { t_script = this; }

ScriptedCaster::~ScriptedCaster() {
    if (t_script == this) t_script = previous_;
}

void ScriptedCaster::answer(std::vector<ScriptedAnswer> answers) {
    answers_ = std::move(answers);
    next_answer_ = 0;
}

void ScriptedCaster::answer_distances(const std::vector<double> &distances) {
    std::vector<ScriptedAnswer> answers;
    for (double d : distances) answers.push_back({d, nullptr});
    answer(std::move(answers));
}

void ScriptedCaster::answer_with(Callback callback) { callback_ = std::move(callback); }

ScriptedAnswer ScriptedCaster::next(const ScriptedRay &ray) {
    if (callback_) return callback_(ray);
    if (next_answer_ < answers_.size()) return answers_[next_answer_++];
    return {};
}

void ScriptedCaster::install(LWShaderAccess &access) {
    access.rayCast = ray_cast;
    access.rayShade = ray_shade;
}

double ScriptedCaster::ray_cast(const LWDVector pos, const LWDVector dir) {
    if (!t_script) return -1.0;
    ScriptedRay ray{vec(pos), vec(dir), false, nullptr, -1.0};
    ray.distance = t_script->next(ray).distance;
    t_script->rays_.push_back(ray);
    return ray.distance;
}

double ScriptedCaster::ray_shade(const LWDVector pos, const LWDVector dir, LWShaderAccess *access) {
    if (!t_script) return -1.0;
    ScriptedRay ray{vec(pos), vec(dir), true, nullptr, -1.0};
    const ScriptedAnswer a = t_script->next(ray);
    ray.distance = a.distance;
    // Like a real caster, a miss leaves the hit record alone.
    if (a.distance >= 0.0) {
        ray.object = a.object;
        if (access) {
            // A hit fills in the whole of the host's record.
            std::memset(access, 0, kSpotRecordSize);
            access->objID = a.object;
        }
    }
    t_script->rays_.push_back(ray);
    return ray.distance;
}

}  // namespace refhost
