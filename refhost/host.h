// The reference host: serves named services to a plug-in through a GlobalFunc.
#ifndef REFHOST_HOST_H
#define REFHOST_HOST_H

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <typeindex>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/scene.h"

namespace refhost {

// One request a plug-in made through the global-lookup function.
struct GlobalLookup {
    std::string name;
    int use_mode;
    bool answered;  // false when the service was missing or withheld
};

// The services a host offers by global name. Plug-in callbacks carry no host pointer, so
// the most recently constructed Host is the process's current one until it is destroyed.
class Host {
public:
    Host();
    ~Host();
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    static Host *current();
    // Unique over the process's hosts, so that a host made where an earlier one was is
    // told apart from it.
    unsigned long long serial() const { return serial_; }

    // Offers a service table under a global name (replacing any earlier one).
    void provide(const std::string &name, void *table);
    // Answers null for the name from now on, as a host that lacks the service would.
    void withhold(const std::string &name);
    void restore(const std::string &name);

    // The lookup function handed to the plug-in.
    GlobalFunc *global_func() const;
    // What the lookup function answers; records the request.
    void *lookup(const char *name, int use_mode);

    std::vector<GlobalLookup> lookups() const;
    void clear_lookups();
    // How many times a name was asked for since the last clear.
    int lookup_count(const std::string &name) const;

    // The scene every service works on.
    Scene &scene() { return scene_; }

    // Per-host state of one service subsystem, created on first use with Host& as its
    // constructor argument and destroyed with the host.
    template <class T>
    T &component() {
        const std::type_index key(typeid(T));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto found = components_.find(key);
            if (found != components_.end()) return *static_cast<T *>(found->second.get());
        }
        // Built outside the lock: a constructor may offer services of its own.
        auto made = std::make_shared<T>(*this);
        std::lock_guard<std::mutex> lock(mutex_);
        auto &slot = components_[key];
        if (!slot) slot = made;
        return *static_cast<T *>(slot.get());
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, void *> services_;
    std::set<std::string> withheld_;
    std::vector<GlobalLookup> lookups_;
    Scene scene_;
    std::map<std::type_index, std::shared_ptr<void>> components_;
    Host *previous_;
    unsigned long long serial_;
};

}  // namespace refhost

#endif
