#include "module/module_state.h"

namespace ormel {

ModuleState module_state;
double render_time = 0.0;

}  // namespace ormel
