#include "module/module_state.h"

namespace ormel {

ModuleState module_state;

}  // namespace ormel
