// Placeholder callbacks until instances carry their parameters: no instance can be made.
#include "instance/dirt_instance.h"

namespace ormel {

double render_time = 0.0;

namespace dirt {

LWInstance create(void *, void *, LWError *) { return nullptr; }
void destroy(LWInstance) {}
LWError copy(LWInstance, LWInstance) { return nullptr; }
LWError load(LWInstance, const LWLoadState *) { return nullptr; }
LWError save(LWInstance, const LWSaveState *) { return nullptr; }
const char *descln(LWInstance) { return ""; }
LWError init(LWInstance, int) { return nullptr; }
void cleanup(LWInstance) {}
LWError newTime(LWInstance, LWFrame, LWTime time) {
    render_time = time;
    return nullptr;
}
const LWItemID *useItems(LWInstance) { return nullptr; }
void changeID(LWInstance, const LWItemID *) {}
unsigned int flags(LWInstance) { return 0x43B; }

}  // namespace dirt
}  // namespace ormel
