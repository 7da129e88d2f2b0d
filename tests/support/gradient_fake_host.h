// A small hand-written host for the gradient-input tests: item, light, object and mesh
// tables over a scene kept in plain maps, plus illuminate and rayCast functions. Every
// call the module makes is logged; the process's current FakeHost answers them.
#ifndef ORMEL_TESTS_SUPPORT_GRADIENT_FAKE_HOST_H
#define ORMEL_TESTS_SUPPORT_GRADIENT_FAKE_HOST_H

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/vec.h"
#include "host/lwsdk.h"
#include "module/globals.h"
#include "params/services.h"

namespace ormel {
namespace test {

inline LWItemID item_id(uintptr_t n) { return reinterpret_cast<LWItemID>(n); }
inline LWPntID point_id(uintptr_t n) { return reinterpret_cast<LWPntID>(n); }

struct FakeItem {
    Vec3 vectors[12];  // by item-parameter code - 1, at time 0
    Vec3 velocity;     // both positions (codes 1 and 8) move by velocity × time
};

// What illuminate answers for one light.
struct FakeLight {
    int type = LWLIGHT_POINT;
    unsigned int flags = 0;
    bool reaches = true;
    Vec3 direction{0.0, -1.0, 0.0};  // from the light toward the spot
    Vec3 colour{1.0, 1.0, 1.0};
};

class FakeHost {
public:
    FakeHost() {
        current() = this;
        item_info.first = [](LWItemType type, LWItemID parent) { return host().first(type, parent); };
        item_info.next = [](LWItemID item) { return host().next(item); };
        item_info.param = [](LWItemID item, LWItemParam code, LWTime time, LWDVector out) {
            host().param(item, code, time, out);
        };
        light_info.ambient = [](LWTime time, LWDVector colour) {
            host().record("ambient " + std::to_string(time));
            host().ambient.store(colour);
        };
        light_info.type = [](LWItemID light) { return host().light(light).type; };
        light_info.flags = [](LWItemID light) { return host().light(light).flags; };
        object_info.meshInfo = [](LWItemID object, int frozen) -> LWMeshInfo * {
            host().record("meshInfo " + host().name(object) + " " + std::to_string(frozen));
            return host().has_mesh ? &host().mesh : nullptr;
        };
        // Slots the inputs have no use for log their calls like the rest, so that a call
        // through a misplaced slot shows in the logs the tests compare.
        object_info.shadowOpts = [](LWItemID object) -> unsigned int {
            host().record("shadowOpts " + host().name(object));
            return LWOSHAD_CAST;
        };
        object_info.dissolve = [](LWItemID object, LWTime) {
            host().record("dissolve " + host().name(object));
            return 0.25;
        };
        object_info.excluded = [](LWItemID object, LWItemID light) {
            host().record("excluded " + host().name(object) + " " + host().name(light));
            return host().excluded.count({object, light}) ? 1 : 0;
        };
        mesh.pntVSelect = [](LWMeshInfoID, void *map) {
            host().selected_map = map;
            return 1;
        };
        mesh.pntVGet = [](LWMeshInfoID, LWPntID point, float *values) {
            FakeHost &h = host();
            const auto found = h.weight_map.find(point);
            if (!h.selected_map || found == h.weight_map.end()) return 0;
            values[0] = found->second;
            return 1;
        };
        mesh.destroy = [](LWMeshInfoID) { host().record("mesh destroy"); };
    }
    ~FakeHost() {
        unbind();
        current() = nullptr;
    }
    FakeHost(const FakeHost &) = delete;
    FakeHost &operator=(const FakeHost &) = delete;

    static FakeHost *&current() {
        static FakeHost *host = nullptr;
        return host;
    }
    static FakeHost &host() { return *current(); }

    // Binds the tables as the activation and the parameter library would.
    void bind() {
        shader_globals.item_info = &item_info;
        host_services.item_info = &item_info;
        host_services.light_info = &light_info;
        host_services.object_info = &object_info;
    }
    static void unbind() {
        shader_globals = ShaderGlobals();
        reset_param_library_services();
    }

    // Adds an item of a type (LWI_*), under a parent for bones; lights also get a FakeLight.
    FakeItem &add(LWItemID id, int type, const std::string &item_name, LWItemID parent = nullptr) {
        lists[{type, parent}].push_back(id);
        names[id] = item_name;
        if (type == LWI_LIGHT) lights[id];
        return items[id];
    }

    const FakeLight &light(LWItemID id) const {
        static const FakeLight none;
        const auto found = lights.find(id);
        return found == lights.end() ? none : found->second;
    }

    std::string name(LWItemID id) const {
        if (id == LWITEM_RADIOSITY) return "radiosity";
        const auto found = names.find(id);
        return found == names.end() ? "?" : found->second;
    }

    void record(const std::string &call) {
        std::lock_guard<std::mutex> lock(mutex);
        log.push_back(call);
    }
    std::vector<std::string> take_log() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(log, {});
    }
    int count(const std::string &prefix) {
        std::lock_guard<std::mutex> lock(mutex);
        int n = 0;
        for (const std::string &call : log) n += call.compare(0, prefix.size(), prefix) == 0;
        return n;
    }

    // The spot's lighting and ray casting, for LWMicropol::illuminate and ::rayCast.
    static int illuminate(LWItemID light, const LWDVector, LWDVector direction, LWDVector colour) {
        FakeHost &h = host();
        h.record("illuminate " + h.name(light));
        const FakeLight &l = light == LWITEM_RADIOSITY ? h.radiosity : h.light(light);
        l.direction.store(direction);
        l.colour.store(colour);
        return l.reaches ? 1 : 0;
    }
    static double ray_cast(const LWDVector position, const LWDVector direction) {
        FakeHost &h = host();
        {
            std::lock_guard<std::mutex> lock(h.mutex);
            h.casts.push_back({Vec3(position), Vec3(direction)});
        }
        return h.caster(Vec3(position), Vec3(direction));
    }

    LWItemInfo item_info{};
    LWLightInfo light_info{};
    LWObjectInfo object_info{};
    LWMeshInfo mesh{};

    std::map<LWItemID, FakeItem> items;
    std::map<LWItemID, std::string> names;
    std::map<std::pair<int, LWItemID>, std::vector<LWItemID>> lists;  // (type, parent)
    std::map<LWItemID, FakeLight> lights;
    FakeLight radiosity;
    Vec3 ambient;
    std::set<std::pair<LWItemID, LWItemID>> excluded;  // (object, light)
    bool has_mesh = true;
    void *selected_map = nullptr;
    std::map<LWPntID, float> weight_map;
    // Adds 100 × (earlier fetches of the same item and code) to what param returns.
    bool drift_per_fetch = false;
    std::function<double(Vec3, Vec3)> caster = [](Vec3, Vec3) { return -1.0; };
    std::vector<std::pair<Vec3, Vec3>> casts;  // (position, direction)

private:
    LWItemID first(LWItemType type, LWItemID parent) {
        record("first " + std::to_string(type) + " " + name(parent));
        std::lock_guard<std::mutex> lock(walk_mutex);
        walking = &lists[{type, parent}];
        return walking->empty() ? nullptr : walking->front();
    }
    // The item after `item` in the list being walked; a nested walk (bones inside the
    // object walk) makes the search fall back to whichever list holds the item.
    LWItemID next(LWItemID item) {
        const auto after = [item](std::vector<LWItemID> &list, LWItemID &out) {
            for (size_t i = 0; i < list.size(); ++i) {
                if (list[i] != item) continue;
                out = i + 1 < list.size() ? list[i + 1] : nullptr;
                return true;
            }
            return false;
        };
        std::lock_guard<std::mutex> lock(walk_mutex);
        LWItemID out = nullptr;
        if (walking && after(*walking, out)) return out;
        for (auto &entry : lists) {
            if (after(entry.second, out)) {
                walking = &entry.second;
                return out;
            }
        }
        return nullptr;
    }
    void param(LWItemID item, LWItemParam code, LWTime time, LWDVector out) {
        record("param " + name(item) + " " + std::to_string(code));
        const auto found = items.find(item);
        const FakeItem i = found == items.end() ? FakeItem() : found->second;
        Vec3 v = i.vectors[code - 1];
        if (code == LWIP_POSITION || code == LWIP_W_POSITION) v = v + time * i.velocity;
        if (drift_per_fetch) {
            std::lock_guard<std::mutex> lock(mutex);
            const double extra = 100.0 * fetches[{item, code}]++;
            v = v + Vec3(extra, extra, extra);
        }
        v.store(out);
    }

    std::mutex mutex;
    std::mutex walk_mutex;
    std::vector<std::string> log;
    std::vector<LWItemID> *walking = nullptr;
    std::map<std::pair<LWItemID, int>, int> fetches;
};

}  // namespace test
}  // namespace ormel

#endif
