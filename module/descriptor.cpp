// The module's one exported symbol and its server table.
#include <cstdint>

#include "host/lwmodule.h"
#include "host/lwshader.h"
#include "module/activation.h"

namespace {

void *startup() {
    // Any non-null token tells the host the module is ready.
    return reinterpret_cast<void *>(static_cast<uintptr_t>(4));
}

void shutdown(void *) {}

ServerRecord server_table[] = {
    {LWSHADER_HCLASS, ormel::kServerName, ormel::shader_activate, nullptr},
    {LWSHADER_ICLASS, ormel::kServerName, ormel::interface_activate, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

// The host finds the record by name: the one symbol the plug-in file exports.
#ifdef _WIN32
#define ORMEL_EXPORT __declspec(dllexport)
#else
#define ORMEL_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
ORMEL_EXPORT ModuleDescriptor _mod_descrip = {
    MOD_SYSSYNC, MOD_SYSVER, MOD_MACHINE, startup, shutdown, server_table,
};
}
