// Placeholder save and load callbacks until instance persistence lands.
#include "instance/dirt_instance.h"

namespace ormel {
namespace dirt {

LWError load(LWInstance, const LWLoadState *) { return nullptr; }
LWError save(LWInstance, const LWSaveState *) { return nullptr; }

}  // namespace dirt
}  // namespace ormel
