// Placeholder "Vparam" block writer and reader until parameter persistence lands.
#include "params/plugin_data_param.h"

namespace ormel {

void PluginDataParam::save(const LWSaveState *) const {}
void PluginDataParam::load(const LWLoadState *) {}

}  // namespace ormel
