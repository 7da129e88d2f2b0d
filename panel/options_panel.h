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

// The panel's view callbacks. get answers the address of the value of a control (the
// variant parameter itself for the eight parameters), null for an unknown ID; set copies
// a plain value into the instance and answers 1, or 0 for an unknown ID.
void *options_get(void *instance, unsigned int id);
int options_set(void *instance, unsigned int id, void *value);

// The tables handed to the panel service, each ended by a row with ID 0, and the hint
// words for the panel as a whole, ended by a single 0 word.
extern LWXPanelControl options_controls[];
extern LWXPanelDataDesc options_values[];
extern LWXPanelHint options_hints[];

}  // namespace ormel

#endif
