// Activation of the two servers the module offers.
#ifndef ORMEL_MODULE_ACTIVATION_H
#define ORMEL_MODULE_ACTIVATION_H

#include "host/lwsdk.h"

namespace ormel {

constexpr const char *kServerName = "Ormel_Dirt";

// Fills the host's LWShaderHandler record and binds the host services.
int shader_activate(int version, GlobalFunc *global, void *local, void *serverData);

// Fills the host's LWInterface record with the options panel of one instance.
int interface_activate(int version, GlobalFunc *global, void *local, void *serverData);

}  // namespace ormel

#endif
