// The reference host: serves named services to a plug-in through a GlobalFunc.
#ifndef REFHOST_HOST_H
#define REFHOST_HOST_H

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "host/lwsdk.h"

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

private:
    mutable std::mutex mutex_;
    std::map<std::string, void *> services_;
    std::set<std::string> withheld_;
    std::vector<GlobalLookup> lookups_;
    Host *previous_;
};

}  // namespace refhost

#endif
