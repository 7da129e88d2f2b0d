#include "refhost/plugin.h"

#include <dlfcn.h>

#include <cstring>

#include "refhost/host.h"

namespace refhost {

PluginFile::~PluginFile() { unload(); }

bool PluginFile::load(const std::string &path) {
    unload();
    error_.clear();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char *why = dlerror();
        error_ = "cannot load plug-in file " + path + ": " + (why ? why : "unknown error");
        return false;
    }
    descriptor_ = static_cast<const ModuleDescriptor *>(dlsym(handle_, "_mod_descrip"));
    if (!descriptor_) {
        error_ = path + " is not a plug-in: it has no _mod_descrip";
    } else if (descriptor_->sysSync != MOD_SYSSYNC) {
        error_ = path + " is not a plug-in: wrong sysSync word";
    } else if (!descriptor_->startup || !(server_data_ = descriptor_->startup())) {
        error_ = path + ": the plug-in's startup failed";
    }
    if (!error_.empty()) {
        dlclose(handle_);
        handle_ = nullptr;
        descriptor_ = nullptr;
        return false;
    }
    return true;
}

void PluginFile::unload() {
    if (!handle_) return;
    if (descriptor_->shutdown) descriptor_->shutdown(server_data_);
    dlclose(handle_);
    handle_ = nullptr;
    descriptor_ = nullptr;
    server_data_ = nullptr;
}

const ServerRecord *PluginFile::find_server(const char *class_name, const char *name) const {
    if (!descriptor_ || !descriptor_->serverDefs) return nullptr;
    for (const ServerRecord *s = descriptor_->serverDefs; s->className; ++s) {
        if (std::strcmp(s->className, class_name) == 0 && s->name &&
            std::strcmp(s->name, name) == 0)
            return s;
    }
    return nullptr;
}

int PluginFile::activate(Host &host, const char *class_name, const char *name, int version,
                         void *local) const {
    const ServerRecord *server = find_server(class_name, name);
    if (!server || !server->activate) return -1;
    return server->activate(version, host.global_func(), local, server_data_);
}

}  // namespace refhost
