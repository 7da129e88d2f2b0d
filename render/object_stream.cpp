#include "render/object_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "refhost/point_numbers.h"
#include "render/limits.h"

namespace render {

namespace {

// The layout, in the program's own byte order (the stream never leaves the machine, nor
// the program that wrote it):
//
//   "dirt-obj" u32 version
//   u32 warnings    { str }
//   u32 files read  { str }   (the object file and every file the importer opened for it)
//   u32 surfaces    { str name, f64 color[3] diffuse specular glossiness reflection smoothing_angle }
//   u32 names       { str }                  the polygons' surface and part tags
//   u32 layers      { i32 index,
//                     u32 points   { f32 base[3], deform[3] },
//                     u32 polygons { u32 corners, surface, part, normals, uvs,
//                                    u32 point[corners], f32 normal[normals][3], f32 uv[uvs][2] },
//                     u32 maps     { str name, u32 entries { u32 point, f32 value } } }
//   "end."
//
// str: u32 length, then the bytes.
constexpr char kMagic[8] = {'d', 'i', 'r', 't', '-', 'o', 'b', 'j'};
constexpr char kEnd[4] = {'e', 'n', 'd', '.'};
constexpr uint32_t kVersion = 2;
constexpr size_t kPolygonHeader = 5 * sizeof(uint32_t);
constexpr uint32_t kMinCorners = 3;      // the importer makes no smaller polygon
constexpr int32_t kMaxLayer = 1 << 24;   // layer numbers beyond this are damage

class Writer {
public:
    explicit Writer(std::string &out) : out_(out) {}
    void bytes(const void *p, size_t n) { out_.append(static_cast<const char *>(p), n); }
    void u32(uint32_t v) { bytes(&v, sizeof v); }
    void i32(int32_t v) { bytes(&v, sizeof v); }
    void f32(float v) { bytes(&v, sizeof v); }
    void f64(double v) { bytes(&v, sizeof v); }
    void count(size_t n) { u32(static_cast<uint32_t>(n)); }
    void str(const std::string &s) {
        count(s.size());
        bytes(s.data(), s.size());
    }

private:
    std::string &out_;
};

// Numbers each distinct tag once. Polygons in a row mostly share their surface and their
// part: the last two tags are found without a look-up.
class NameTable {
public:
    uint32_t index(const std::string &name) {
        for (const Recent &r : recent_)
            if (r.name && *r.name == name) return r.index;
        auto found = indices_.emplace(name, static_cast<uint32_t>(names_.size()));
        if (found.second) names_.push_back(&found.first->first);
        recent_[next_] = {&found.first->first, found.first->second};
        next_ ^= 1;
        return found.first->second;
    }
    const std::vector<const std::string *> &names() const { return names_; }

private:
    struct Recent {
        const std::string *name = nullptr;
        uint32_t index = 0;
    };
    std::unordered_map<std::string, uint32_t> indices_;
    std::vector<const std::string *> names_;
    Recent recent_[2];
    int next_ = 0;
};

void write_surface_values(Writer &w, const SurfaceValues &v) {
    for (double c : v.color) w.f64(c);
    w.f64(v.diffuse);
    w.f64(v.specular);
    w.f64(v.glossiness);
    w.f64(v.reflection);
    w.f64(v.smoothing_angle);
}

// The number of each point of a mesh: its place in the mesh's list. A point not in the mesh
// (none should be) gets a number the reader refuses.
uint32_t point_number(const refhost::PointNumbers &numbers, const Point *p) {
    const int n = numbers.find(p);
    return n < 0 ? UINT32_MAX : static_cast<uint32_t>(n);
}

void write_layer(Writer &w, const Layer &layer, NameTable &names) {
    const Mesh &mesh = layer.mesh;
    w.i32(layer.index);
    refhost::PointNumbers numbers(mesh.points.size());
    bool added = false;
    for (const auto &p : mesh.points) numbers.insert(p.get(), added);
    w.count(mesh.points.size());
    for (const auto &p : mesh.points) {
        w.bytes(p->base, sizeof p->base);
        w.bytes(p->deform, sizeof p->deform);
    }
    w.count(mesh.polygons.size());
    for (const auto &polygon : mesh.polygons) {
        w.count(polygon->vertices.size());
        w.u32(names.index(polygon->surface));
        w.u32(names.index(polygon->part));
        w.count(polygon->normals.size());
        w.count(polygon->uvs.size());
        for (const Point *p : polygon->vertices) w.u32(point_number(numbers, p));
        if (!polygon->normals.empty()) w.bytes(polygon->normals.data(), polygon->normals.size() * sizeof(float) * 3);
        if (!polygon->uvs.empty()) w.bytes(polygon->uvs.data(), polygon->uvs.size() * sizeof(float) * 2);
    }
    w.count(mesh.weight_maps.size());
    for (const auto &map : mesh.weight_maps) {
        w.str(map.first);
        w.count(map.second.size());
        for (const auto &entry : map.second) {
            w.u32(point_number(numbers, entry.first));
            w.f32(entry.second);
        }
    }
}

// Reads the stream; every read checks what is left, and a failed one leaves the reader
// failed for good, reading zeros.
class Reader {
public:
    Reader(const char *data, size_t size) : p_(data), end_(data + size) {}

    bool ok() const { return ok_; }
    size_t left() const { return static_cast<size_t>(end_ - p_); }
    bool fail() { return ok_ = false; }

    bool bytes(void *out, size_t n) {
        if (n == 0) return ok_;  // `out` may be null then (an empty vector's data)
        if (!ok_ || n > left()) {
            std::memset(out, 0, n);
            return fail();
        }
        std::memcpy(out, p_, n);
        p_ += n;
        return true;
    }
    template <typename T>
    T value() {
        T v{};
        bytes(&v, sizeof v);
        return v;
    }
    uint32_t u32() { return value<uint32_t>(); }
    int32_t i32() { return value<int32_t>(); }
    float f32() { return value<float>(); }
    double f64() { return value<double>(); }
    // A count of items that take at least `each` bytes of the stream: no more than fit.
    uint32_t count(size_t each) {
        const uint32_t n = u32();
        if (ok_ && static_cast<size_t>(n) > left() / each) fail();
        return ok_ ? n : 0;
    }
    std::string str() {
        const uint32_t n = count(1);
        std::string s(p_, ok_ ? n : 0);
        p_ += s.size();
        return s;
    }

private:
    const char *p_;
    const char *end_;
    bool ok_ = true;
};

// What the stream's contents are estimated to take once built, against the memory limit.
class MemoryCharge {
public:
    bool add(double points, double polygons, double corners) {
        bytes_ += mesh_bytes(points, polygons, corners);
        return within_memory(bytes_);
    }
    double bytes() const { return bytes_; }

private:
    double bytes_ = 0.0;
};

enum class Outcome { Read, Damaged, TooBig };

// Layers come numbered from 0 up, each after the one before.
Outcome read_layer(Reader &r, int first_layer, int &next_index, const std::vector<std::string> &names,
                   MemoryCharge &memory, Item &object) {
    const int32_t index = r.i32();
    if (!r.ok() || index < next_index || index > kMaxLayer) return Outcome::Damaged;
    next_index = index + 1;
    const uint32_t point_count = r.count(6 * sizeof(float));
    if (!r.ok()) return Outcome::Damaged;
    if (!memory.add(point_count, 0, 0)) return Outcome::TooBig;
    object.layers.push_back(std::make_unique<Layer>());
    object.layers.back()->index = first_layer + index;
    Mesh &mesh = object.layers.back()->mesh;
    mesh.points.reserve(point_count);
    for (uint32_t i = 0; i < point_count; ++i) {
        float xyz[6];
        r.bytes(xyz, sizeof xyz);
        Point *p = mesh.add_point(xyz[0], xyz[1], xyz[2]);
        std::memcpy(p->deform, xyz + 3, sizeof p->deform);
    }
    const uint32_t polygon_count = r.count(kPolygonHeader + kMinCorners * sizeof(uint32_t));
    if (!r.ok()) return Outcome::Damaged;
    if (!memory.add(0, polygon_count, 0)) return Outcome::TooBig;
    mesh.polygons.reserve(polygon_count);
    std::vector<Point *> vertices;
    for (uint32_t i = 0; i < polygon_count; ++i) {
        const uint32_t corners = r.count(sizeof(uint32_t));
        const uint32_t surface = r.u32(), part = r.u32();
        const uint32_t normals = r.count(3 * sizeof(float)), uvs = r.count(2 * sizeof(float));
        if (!r.ok() || corners < kMinCorners || surface >= names.size() || part >= names.size())
            return Outcome::Damaged;
        if (!memory.add(0, 0, corners)) return Outcome::TooBig;
        vertices.resize(corners);
        for (Point *&v : vertices) {
            const uint32_t at = r.u32();
            if (at >= point_count) return Outcome::Damaged;
            v = mesh.points[at].get();
        }
        Polygon *polygon = mesh.add_polygon(vertices, names[surface]);
        polygon->part = names[part];
        polygon->normals.resize(normals);
        r.bytes(polygon->normals.data(), normals * sizeof(float) * 3);
        polygon->uvs.resize(uvs);
        r.bytes(polygon->uvs.data(), uvs * sizeof(float) * 2);
    }
    const uint32_t map_count = r.count(sizeof(uint32_t));
    for (uint32_t m = 0; m < map_count && r.ok(); ++m) {
        auto &map = mesh.weight_maps[r.str()];
        const uint32_t entries = r.count(sizeof(uint32_t) + sizeof(float));
        if (!memory.add(entries, 0, 0)) return Outcome::TooBig;
        for (uint32_t e = 0; e < entries; ++e) {
            const uint32_t at = r.u32();
            const float value = r.f32();
            if (at >= point_count) return Outcome::Damaged;
            map[mesh.points[at].get()] = value;
        }
    }
    return r.ok() ? Outcome::Read : Outcome::Damaged;
}

Outcome read_stream(Reader &r, Scene &scene, Item &object, std::vector<std::string> &warnings,
                    std::vector<std::string> *files_read, MemoryCharge &memory) {
    char magic[sizeof kMagic];
    r.bytes(magic, sizeof magic);
    if (std::memcmp(magic, kMagic, sizeof kMagic) != 0 || r.u32() != kVersion) return Outcome::Damaged;
    const uint32_t warning_count = r.count(sizeof(uint32_t));
    for (uint32_t i = 0; i < warning_count && r.ok(); ++i) warnings.push_back(r.str());
    const uint32_t file_count = r.count(sizeof(uint32_t));
    for (uint32_t i = 0; i < file_count && r.ok(); ++i) {
        std::string file = r.str();
        if (files_read) files_read->push_back(std::move(file));
    }
    const uint32_t surface_count = r.count(sizeof(uint32_t) + 8 * sizeof(double));
    for (uint32_t i = 0; i < surface_count && r.ok(); ++i) {
        const std::string name = r.str();
        SurfaceValues v;
        for (double &c : v.color) c = r.f64();
        v.diffuse = r.f64();
        v.specular = r.f64();
        v.glossiness = r.f64();
        v.reflection = r.f64();
        v.smoothing_angle = r.f64();
        bool known = false;
        for (const Surface *s : object.surfaces) known |= s->name == name;
        if (r.ok() && !known) scene.add_surface(object, name).values = v;
    }
    const uint32_t name_count = r.count(sizeof(uint32_t));
    std::vector<std::string> names;
    names.reserve(name_count);
    for (uint32_t i = 0; i < name_count && r.ok(); ++i) names.push_back(r.str());
    const uint32_t layer_count = r.count(4 * sizeof(uint32_t));
    // Numbered after the object's own layers.
    int first_layer = 0;
    for (const auto &layer : object.layers) first_layer = std::max(first_layer, layer->index + 1);
    int next_index = 0;
    for (uint32_t i = 0; i < layer_count && r.ok(); ++i) {
        const Outcome o = read_layer(r, first_layer, next_index, names, memory, object);
        if (o != Outcome::Read) return o;
    }
    char end[sizeof kEnd];
    r.bytes(end, sizeof end);
    return r.ok() && std::memcmp(end, kEnd, sizeof kEnd) == 0 && r.left() == 0 ? Outcome::Read : Outcome::Damaged;
}

}  // namespace

void write_object_stream(const Item &object, const std::vector<std::string> &warnings, std::string &out,
                         const std::vector<std::string> &files_read) {
    Writer w(out);
    w.bytes(kMagic, sizeof kMagic);
    w.u32(kVersion);
    w.count(warnings.size());
    for (const std::string &s : warnings) w.str(s);
    w.count(files_read.size());
    for (const std::string &s : files_read) w.str(s);
    w.count(object.surfaces.size());
    for (const Surface *s : object.surfaces) {
        w.str(s->name);
        write_surface_values(w, s->values);
    }
    NameTable names;
    size_t bytes = 0;
    for (const auto &layer : object.layers) {
        bytes += layer->mesh.points.size() * 6 * sizeof(float);
        for (const auto &polygon : layer->mesh.polygons) {
            names.index(polygon->surface);
            names.index(polygon->part);
            bytes += kPolygonHeader + polygon->vertices.size() * sizeof(uint32_t) +
                     polygon->normals.size() * 3 * sizeof(float) + polygon->uvs.size() * 2 * sizeof(float);
        }
    }
    out.reserve(out.size() + bytes + 4096);
    w.count(names.names().size());
    for (const std::string *name : names.names()) w.str(*name);
    w.count(object.layers.size());
    for (const auto &layer : object.layers) write_layer(w, *layer, names);
    w.bytes(kEnd, sizeof kEnd);
}

bool read_object_stream(const char *data, size_t size, Scene &scene, Item &object,
                        std::vector<std::string> &warnings, std::string *error,
                        std::vector<std::string> *files_read) {
    Reader r(data, size);
    MemoryCharge memory;
    switch (read_stream(r, scene, object, warnings, files_read, memory)) {
    case Outcome::Read:
        return true;
    case Outcome::TooBig:
        if (error) *error = "the object " + memory_refusal(memory.bytes());
        return false;
    case Outcome::Damaged:
        break;
    }
    if (error) *error = "the object came back damaged from the import process";
    return false;
}

}  // namespace render
