// Loading a plug-in file and activating its servers, as the host does.
#ifndef REFHOST_PLUGIN_H
#define REFHOST_PLUGIN_H

#include <string>

#include "host/lwsdk.h"

namespace refhost {

class Host;

// A loaded plug-in file. Loading opens the library, reads `_mod_descrip`, checks its
// sysSync word and calls startup; destruction calls shutdown and unloads the library.
class PluginFile {
public:
    PluginFile() = default;
    ~PluginFile();
    PluginFile(const PluginFile &) = delete;
    PluginFile &operator=(const PluginFile &) = delete;

    // False with a one-line reason in error() when the file cannot be used.
    bool load(const std::string &path);
    void unload();
    bool loaded() const { return handle_ != nullptr; }
    const std::string &error() const { return error_; }

    const ModuleDescriptor *descriptor() const { return descriptor_; }
    // The server record of a class and name, or null.
    const ServerRecord *find_server(const char *class_name, const char *name) const;
    // Calls the server's activation with the host's lookup function; -1 when no such server.
    int activate(Host &host, const char *class_name, const char *name, int version,
                 void *local) const;

private:
    void *handle_ = nullptr;
    const ModuleDescriptor *descriptor_ = nullptr;
    void *server_data_ = nullptr;
    std::string error_;
};

}  // namespace refhost

#endif
