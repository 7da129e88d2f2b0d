#include "refhost/plugin.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstring>

#include "refhost/host.h"

namespace refhost {

namespace {

// The library calls of the platform. A plug-in file is always the file named, taken
// relative to the working folder, never a library found on a search path.
#ifdef _WIN32
void *open_library(const std::string &path, std::string &why) {
    char full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) {
        why = "cannot resolve the path";
        return nullptr;
    }
    // No error dialog boxes: a host reports a bad file and goes on.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExA(full, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(previous);
    if (!module) why = "Windows error " + std::to_string(GetLastError());
    return reinterpret_cast<void *>(module);
}
void *find_symbol(void *library, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void close_library(void *library) { FreeLibrary(static_cast<HMODULE>(library)); }
#else
void *open_library(const std::string &path, std::string &why) {
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void *library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char *error = dlerror();
        why = error ? error : "unknown error";
    }
    return library;
}
void *find_symbol(void *library, const char *name) { return dlsym(library, name); }
void close_library(void *library) { dlclose(library); }
#endif

}  // namespace

PluginFile::~PluginFile() { unload(); }

bool PluginFile::load(const std::string &path) {
    unload();
    error_.clear();
    std::string why;
    handle_ = open_library(path, why);
    if (!handle_) {
        error_ = "cannot load plug-in file " + path + ": " + why;
        return false;
    }
    descriptor_ = static_cast<const ModuleDescriptor *>(find_symbol(handle_, "_mod_descrip"));
    if (!descriptor_) {
        error_ = path + " is not a plug-in: it has no _mod_descrip";
    } else if (descriptor_->sysSync != MOD_SYSSYNC) {
        error_ = path + " is not a plug-in: wrong sysSync word";
    } else if (!descriptor_->startup || !(server_data_ = descriptor_->startup())) {
        error_ = path + ": the plug-in's startup failed";
    }
    if (!error_.empty()) {
        close_library(handle_);
        handle_ = nullptr;
        descriptor_ = nullptr;
        return false;
    }
    return true;
}

void PluginFile::unload() {
    if (!handle_) return;
    if (descriptor_->shutdown) descriptor_->shutdown(server_data_);
    close_library(handle_);
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
