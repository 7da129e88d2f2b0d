// A scripted ray caster for unit tests: ray functions that answer distances a test chooses
// and record every ray they are asked for.
//
// The ray functions carry no context, so the script is per thread: constructing a
// ScriptedCaster makes it the calling thread's script until it is destroyed (scripts nest).
// Answers come from a callback when one is set, else from the list in order; once the list
// is used up every ray misses (-1.0).
#ifndef REFHOST_SCRIPTED_CASTER_H
#define REFHOST_SCRIPTED_CASTER_H

#include <functional>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/scene.h"

namespace refhost {

struct ScriptedRay {
    Vec3d origin;
    Vec3d direction;
    bool shade = false;          // asked through rayShade
    LWItemID object = nullptr;   // rayShade: the objID the answer reported
    double distance = -1.0;      // what the caller was told
};

struct ScriptedAnswer {
    double distance = -1.0;
    LWItemID object = nullptr;  // rayShade: written to the hit record's objID on a hit
};

class ScriptedCaster {
public:
    using Callback = std::function<ScriptedAnswer(const ScriptedRay &ray)>;

    ScriptedCaster();
    ~ScriptedCaster();
    ScriptedCaster(const ScriptedCaster &) = delete;
    ScriptedCaster &operator=(const ScriptedCaster &) = delete;

    void answer(std::vector<ScriptedAnswer> answers);
    void answer_distances(const std::vector<double> &distances);
    void answer_with(Callback callback);

    const std::vector<ScriptedRay> &rays() const { return rays_; }
    void clear_rays() { rays_.clear(); }

    // Puts the scripted rayCast and rayShade into an access record.
    static void install(LWShaderAccess &access);
    static double ray_cast(const LWDVector pos, const LWDVector dir);
    static double ray_shade(const LWDVector pos, const LWDVector dir, LWShaderAccess *access);

private:
    ScriptedAnswer next(const ScriptedRay &ray);

    std::vector<ScriptedAnswer> answers_;
    size_t next_answer_ = 0;
    Callback callback_;
    std::vector<ScriptedRay> rays_;
    ScriptedCaster *previous_;
};

}  // namespace refhost

#endif
