// Records, in order, the calls a plug-in makes to the reference host's services while spots
// are shaded: the service tables it looks up are replaced by copies whose functions write a
// line and pass the call on, and so are the mesh records meshInfo gives and the spot's ray
// functions.
//
// A line holds the function's name, its arguments and its result. Host handles (items,
// points, polygons, surfaces, parameters, textures, mesh records) are named by the order in
// which they first appear, so a sequence does not depend on where things were allocated.
// Arrays of doubles or floats are written by value after the call (inputs are unchanged by
// it; outputs are what the host wrote), doubles as %.17g. Pointers into the plug-in's own
// memory (its micro-polygon, hit record, scan data) are written as a mark only: their
// addresses are the plug-in's business.
//
// One recorder at a time, and only the calls of the thread that enabled recording count.
#ifndef ORMEL_TESTS_SUPPORT_HOST_CALL_RECORDER_H
#define ORMEL_TESTS_SUPPORT_HOST_CALL_RECORDER_H

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "host/lwsdk.h"

namespace hostcalls {

class Recorder {
public:
    static Recorder &instance() {
        static Recorder r;
        return r;
    }

    void start() {
        lines_.clear();
        labels_.clear();
        thread_ = std::this_thread::get_id();
        on_ = true;
    }
    void stop() { on_ = false; }
    bool on() const { return on_ && std::this_thread::get_id() == thread_; }
    const std::vector<std::string> &lines() const { return lines_; }

    // A line is reserved when a call starts, so that calls it makes in turn follow it.
    size_t reserve() {
        lines_.emplace_back();
        return lines_.size() - 1;
    }
    void set(size_t index, std::string text) { lines_[index] = std::move(text); }
    void note(std::string text) { lines_.push_back(std::move(text)); }

    std::string label(const void *p) {
        if (!p) return "null";
        auto found = labels_.find(p);
        if (found == labels_.end()) found = labels_.emplace(p, static_cast<int>(labels_.size()) + 1).first;
        return "h" + std::to_string(found->second);
    }

private:
    bool on_ = false;
    std::thread::id thread_;
    std::vector<std::string> lines_;
    std::map<const void *, int> labels_;
};

inline std::string number(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// Chunk names carry the calling thread's number, which differs from run to run.
inline std::string quoted(const char *s) {
    if (!s) return "null";
    std::string text(s);
    const size_t blank = text.rfind(' ');
    if (blank != std::string::npos && text.size() - blank == 9) text.replace(blank + 1, 8, "<thread>");
    return "\"" + text + "\"";
}

template <class T>
std::string three(const T *v) {
    if (!v) return "null";
    return "(" + number(static_cast<double>(v[0])) + "," + number(static_cast<double>(v[1])) + "," +
           number(static_cast<double>(v[2])) + ")";
}

// How each kind of argument or result is written.
template <class T>
std::string format(T v) {
    if constexpr (std::is_same_v<T, const char *> || std::is_same_v<T, char *>) {
        return quoted(v);
    } else if constexpr (std::is_same_v<T, double *> || std::is_same_v<T, const double *> ||
                         std::is_same_v<T, float *> || std::is_same_v<T, const float *>) {
        return three(v);
    } else if constexpr (std::is_same_v<T, LWMicropol *> || std::is_same_v<T, LWShaderAccess *> ||
                         std::is_same_v<T, void *> || std::is_same_v<T, const void *>) {
        return v ? "*" : "null";
    } else if constexpr (std::is_pointer_v<T> && std::is_function_v<std::remove_pointer_t<T>>) {
        return v ? "fn" : "null";
    } else if constexpr (std::is_pointer_v<T>) {
        return Recorder::instance().label(static_cast<const void *>(v));
    } else if constexpr (std::is_floating_point_v<T>) {
        return number(static_cast<double>(v));
    } else {
        return std::to_string(v);
    }
}

// getFlt answers a pointer to one double.
inline std::string format_result(double *v) { return v ? number(*v) : "null"; }
template <class T>
std::string format_result(T v) {
    return format(v);
}

// A function slot of a service table, replaced by one that records and passes the call on.
template <auto Member>
struct Tap;

template <class Table, class R, class... A, R (*Table::*Member)(A...)>
struct Tap<Member> {
    static inline R (*original)(A...) = nullptr;
    static inline const char *name = "";

    static std::string line(A... a) {
        std::string text = std::string(name) + "(";
        bool first = true;
        ((text += (first ? "" : ", ") + format(a), first = false), ...);
        return text + ")";
    }

    static R call(A... a) {
        Recorder &rec = Recorder::instance();
        if (!rec.on()) return original(a...);
        const size_t index = rec.reserve();
        if constexpr (std::is_void_v<R>) {
            original(a...);
            rec.set(index, line(a...));
        } else {
            R result = original(a...);
            rec.set(index, line(a...) + " -> " + format_result(result));
            return result;
        }
    }

    static void install(Table &table, const char *slot_name) {
        if (!(table.*Member) || table.*Member == &call) return;
        original = table.*Member;
        name = slot_name;
        table.*Member = &call;
    }
};

#define HOSTCALLS_TAP(table, Type, slot) ::hostcalls::Tap<&Type::slot>::install(table, #slot)

// Patches a mesh record the host just made (records are reused, so each is patched anew).
inline void tap_mesh(LWMeshInfo *mesh) {
    if (!mesh) return;
    HOSTCALLS_TAP(*mesh, LWMeshInfo, destroy);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, numPoints);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, numPolygons);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, scanPoints);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, scanPolys);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, pntBasePos);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, pntOtherPos);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, pntVLookup);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, pntVSelect);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, pntVGet);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, polType);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, polSize);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, polVertex);
    HOSTCALLS_TAP(*mesh, LWMeshInfo, polTag);
}

}  // namespace hostcalls

#endif
