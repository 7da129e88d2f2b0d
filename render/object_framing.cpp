#include "render/object_framing.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "render/limits.h"
#include "render/object_import.h"
#include "render/scene_file.h"

namespace render {

using nlohmann::json;

namespace {

json vec(double x, double y, double z) { return json::array({x, y, z}); }

// Two significant digits.
double round_to_two_digits(double v) {
    if (!(v > 0.0) || !std::isfinite(v)) return 0.0;
    const double unit = std::pow(10.0, std::floor(std::log10(v)) - 1.0);
    return std::round(v / unit) * unit;
}

// Reads the object (once: the scene is built from what was read) and measures it.
bool measure(const std::string &path, ObjectBounds &bounds, std::vector<std::string> &surfaces,
             ImportedObject &imported, std::string *error) {
    const std::string problem = file_problem(path);
    if (!problem.empty()) {
        if (error) *error = problem;
        return false;
    }
    if (!import_object_ahead(path, imported, error)) return false;
    const Scene &scratch = imported.scene;
    const Item &object = *imported.object;
    // Framed from points out of reach, the camera would be too.
    const std::string extent = check_object_extent(scratch, object, 0.0);
    if (!extent.empty()) {
        if (error) *error = path + ": " + extent;
        return false;
    }
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const auto &layer : object.layers) {
        for (const auto &p : layer->mesh.points) {
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::fmin(lo[k], static_cast<double>(p->base[k]));
                hi[k] = std::fmax(hi[k], static_cast<double>(p->base[k]));
            }
        }
        bounds.points += static_cast<long>(layer->mesh.points.size());
        bounds.polygons += static_cast<long>(layer->mesh.polygons.size());
    }
    if (bounds.points == 0) lo[0] = lo[1] = lo[2] = hi[0] = hi[1] = hi[2] = 0.0;
    bounds.lo = {lo[0], lo[1], lo[2]};
    bounds.hi = {hi[0], hi[1], hi[2]};
    for (const Surface *s : object.surfaces) surfaces.push_back(s->name);
    return true;
}

double diagonal(const ObjectBounds &b) {
    const double dx = b.hi.x - b.lo.x, dy = b.hi.y - b.lo.y, dz = b.hi.z - b.lo.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

double width_for_object(const ObjectBounds &bounds) { return round_to_two_digits(diagonal(bounds) / 10.0); }

json framing_document(const std::string &path, const ObjectBounds &b, const std::vector<std::string> &surfaces,
                      const FramingChoices &choices, double width) {
    const Vec3d center{0.5 * (b.lo.x + b.hi.x), 0.5 * (b.lo.y + b.hi.y), 0.5 * (b.lo.z + b.hi.z)};
    const double d = diagonal(b);
    const double r = d > 0.0 ? 0.5 * d : 1.0;
    json doc;
    doc["camera"] = {{"position", vec(center.x + 1.2 * r, center.y + 1.0 * r, center.z - 2.2 * r)},
                     {"look_at", vec(center.x, center.y, center.z)},
                     {"zoom", 2.0}};
    doc["ambient"] = {{"intensity", 0.15}};
    doc["lights"] = json::array({json{{"name", "Key"}, {"type", "distant"}, {"direction", vec(-0.4, -1.0, 0.6)}}});
    doc["objects"] = json::array({json{{"name", "Object"}, {"file", path}}});
    json dirt = json::object();
    if (width > 0.0) dirt["dirt_width"] = width;
    doc["surfaces"] = json::array();
    for (const std::string &s : surfaces)
        doc["surfaces"].push_back(json{{"object", "Object"}, {"name", s}, {"dirt", dirt}});
    if (choices.ground) {
        // A single quad six radii wide, level with the object's lowest point.
        doc["objects"].push_back(
            json{{"name", "Ground"},
                 {"primitives", json::array({json{{"type", "floor"}, {"size", 6.0 * r}, {"height", b.lo.y},
                                                  {"cells", 1}, {"surface", "Ground"}}})},
                 {"position", vec(center.x, 0.0, center.z)}});
        doc["surfaces"].push_back(json{{"object", "Ground"}, {"name", "Ground"}, {"color", vec(0.7, 0.7, 0.68)},
                                       {"diffuse", 0.9}, {"dirt", dirt}});
    }
    return doc;
}

bool scene_for_object_file(const std::string &path, const FramingChoices &choices, Scene &scene,
                           SceneDescription &desc, std::string *error) {
    // The saved scene names the file from anywhere.
    char resolved[PATH_MAX];
    const std::string absolute = realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    ObjectBounds bounds;
    std::vector<std::string> surfaces;
    ImportedObjects imported;
    if (!measure(absolute, bounds, surfaces, imported[absolute], error)) return false;
    const double width = choices.choose_width ? width_for_object(bounds) : 0.0;
    const json doc = framing_document(absolute, bounds, surfaces, choices, width);
    if (!build_scene_from_json(doc, ".", scene, desc, error, &imported)) return false;
    desc.chosen_width = width;
    return true;
}

}  // namespace render
