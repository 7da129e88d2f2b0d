#include "refhost/host.h"

#include <atomic>

namespace refhost {

namespace {

Host *current_host = nullptr;
std::atomic<unsigned long long> next_serial{1};

void *global_trampoline(const char *name, int use_mode) {
    Host *host = Host::current();
    return host ? host->lookup(name, use_mode) : nullptr;
}

}  // namespace

Host::Host() : previous_(current_host), serial_(next_serial++) { current_host = this; }

Host::~Host() {
    if (current_host == this) current_host = previous_;
}

Host *Host::current() { return current_host; }

void Host::provide(const std::string &name, void *table) {
    std::lock_guard<std::mutex> lock(mutex_);
    services_[name] = table;
}

void Host::withhold(const std::string &name) {
    std::lock_guard<std::mutex> lock(mutex_);
    withheld_.insert(name);
}

void Host::restore(const std::string &name) {
    std::lock_guard<std::mutex> lock(mutex_);
    withheld_.erase(name);
}

GlobalFunc *Host::global_func() const { return global_trampoline; }

void *Host::lookup(const char *name, int use_mode) {
    std::lock_guard<std::mutex> lock(mutex_);
    void *table = nullptr;
    if (name && !withheld_.count(name)) {
        auto found = services_.find(name);
        if (found != services_.end()) table = found->second;
    }
    lookups_.push_back({name ? name : "", use_mode, table != nullptr});
    return table;
}

std::vector<GlobalLookup> Host::lookups() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lookups_;
}

void Host::clear_lookups() {
    std::lock_guard<std::mutex> lock(mutex_);
    lookups_.clear();
}

int Host::lookup_count(const std::string &name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const GlobalLookup &l : lookups_) n += l.name == name;
    return n;
}

}  // namespace refhost
