// The options panel through which the user edits one instance.
#ifndef ORMEL_PANEL_OPTIONS_PANEL_H
#define ORMEL_PANEL_OPTIONS_PANEL_H

#include "host/lwsdk.h"
#include "instance/dirt_instance.h"

namespace ormel {

// The "LWXPanel" service, looked up by every interface activation.
extern LWXPanelFuncs *xpanel_funcs;

// The panel for the instance, or null when the service is missing or refuses.
LWXPanelID create_options_panel(DirtInstance *instance);

}  // namespace ormel

#endif
