// Module-wide state that exists from the library's load to its unload.
#ifndef ORMEL_MODULE_MODULE_STATE_H
#define ORMEL_MODULE_MODULE_STATE_H

#include "common/platform.h"
#include "gradients/gradient_context.h"
#include "shading/normal_cache.h"

namespace ormel {

// Members are created in declaration order when the library is loaded and torn down in
// reverse order when it is unloaded.
struct ModuleState {
    CriticalSection normal_cache_lock;
    GradientContextHolder gradient_context;
    CriticalSection item_cache_lock;
    NormalCache normal_cache;
};

extern ModuleState module_state;

// The time of the last newTime call of any instance; every parameter is read at it.
extern double render_time;

}  // namespace ormel

#endif
