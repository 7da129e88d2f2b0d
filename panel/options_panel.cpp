// Placeholder panel: none is created yet.
#include "panel/options_panel.h"

namespace ormel {

LWXPanelFuncs *xpanel_funcs = nullptr;

LWXPanelID create_options_panel(DirtInstance *) { return nullptr; }

}  // namespace ormel
