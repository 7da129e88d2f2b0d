// The shading pass: the shader's per-spot callback.
#ifndef ORMEL_SHADING_EVALUATE_H
#define ORMEL_SHADING_EVALUATE_H

#include <cstdint>

#include "host/lwsdk.h"

namespace ormel {

// The name of the calling thread's re-entry flag chunk in the render memory pool.
constexpr const char *kRayShadeFlagName = "Ormel's ShaderLib:IsRayShade";

// The calling thread's flag chunk of the given size, named "<name> <thread id as %08x>":
// found in the render memory pool, or created there and zeroed. Null when the pool is
// missing or cannot give the chunk.
int32_t *render_thread_flag(const char *name, int size);

namespace dirt {

void evaluate(LWInstance inst, LWShaderAccess *access);

}  // namespace dirt
}  // namespace ormel

#endif
