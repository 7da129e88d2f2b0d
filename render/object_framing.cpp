#include "render/object_framing.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "render/json_read.h"
#include "render/limits.h"
#include "render/object_import.h"
#include "render/scene_file.h"

namespace render {

using nlohmann::json;

namespace {

// The jitter noise's size over the dirt width: the demo scene's (0.1 for widths of 0.3 to
// 0.5), which keeps the noise a few pixels across in a framed view. Much smaller, it changes
// from pixel to pixel (grain); much larger, every spot jitters alike (streaks).
constexpr double kSampleScalePerWidth = 0.25;
// How much of the image's shorter side the bounding sphere fills, and the camera's zoom.
constexpr double kSphereFill = 0.9;
constexpr double kZoom = 2.0;
// The fill light: from the side opposite the key, low, at this share of the key's intensity.
constexpr double kFillShare = 0.35;

json vec(double x, double y, double z) { return json::array({x, y, z}); }

// Two significant digits.
double round_to_two_digits(double v) {
    if (!(v > 0.0) || !std::isfinite(v)) return 0.0;
    const double unit = std::pow(10.0, std::floor(std::log10(v)) - 1.0);
    return std::round(v / unit) * unit;
}

// Reads the object (once: the scene is built from what was read) and measures it.
bool measure(const std::string &path, UpAxis up, ObjectBounds &bounds, std::vector<std::string> &surfaces,
             ImportedObject &imported, std::string *error) {
    const std::string problem = file_problem(path);
    if (!problem.empty()) {
        if (error) *error = problem;
        return false;
    }
    ImportOptions options;
    options.up = up;
    if (!import_object_ahead(path, imported, error, options)) return false;
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
    const double center[3] = {0.5 * (lo[0] + hi[0]), 0.5 * (lo[1] + hi[1]), 0.5 * (lo[2] + hi[2])};
    for (const auto &layer : object.layers)
        for (const auto &p : layer->mesh.points) {
            double d2 = 0.0;
            for (int k = 0; k < 3; ++k) {
                const double e = static_cast<double>(p->base[k]) - center[k];
                d2 += e * e;
            }
            bounds.radius = std::fmax(bounds.radius, std::sqrt(d2));
        }
    for (const Surface *s : object.surfaces) surfaces.push_back(s->name);
    return true;
}

double diagonal(const ObjectBounds &b) {
    const double dx = b.hi.x - b.lo.x, dy = b.hi.y - b.lo.y, dz = b.hi.z - b.lo.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

double width_for_object(const ObjectBounds &bounds) { return round_to_two_digits(diagonal(bounds) / 10.0); }

double sample_scale_for_object(const ObjectBounds &bounds) {
    return round_to_two_digits(diagonal(bounds) / 10.0 * kSampleScalePerWidth);
}

json framing_document(const std::string &path, const ObjectBounds &b, const std::vector<std::string> &surfaces,
                      const FramingChoices &choices, double width, double sample_scale) {
    const Vec3d center{0.5 * (b.lo.x + b.hi.x), 0.5 * (b.lo.y + b.hi.y), 0.5 * (b.lo.z + b.hi.z)};
    const double d = diagonal(b);
    const double r = d > 0.0 ? 0.5 * d : 1.0;
    // The sphere's half angle: its tangent is the share it fills of the shorter half side.
    const CameraChoice &cam = choices.camera;
    const double zoom = cam.fov > 0.0 ? 1.0 / std::tan(0.5 * cam.fov * kDegree) : kZoom;
    const double aspect = choices.aspect > 0.0 ? choices.aspect : 0.75;
    const double half_angle = std::atan(kSphereFill * std::fmin(1.0, aspect) / zoom);
    const double radius = b.radius > 0.0 ? b.radius : r;
    const double distance = cam.distance > 0.0 ? cam.distance * radius : radius / std::sin(half_angle);
    // Seen from the front, to one side and above, unless a view is asked for.
    double dx = 1.2, dy = 1.0, dz = -2.2;
    if (cam.view_given) {
        const double az = cam.azimuth * kDegree, el = cam.elevation * kDegree;
        dx = std::sin(az) * std::cos(el), dy = std::sin(el), dz = -std::cos(az) * std::cos(el);
    }
    const double len = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double k = distance / len;
    json doc;
    const Vec3d target = cam.look_at_given ? cam.look_at : center;
    const Vec3d from = cam.position_given ? cam.position
                                          : Vec3d{target.x + dx * k, target.y + dy * k, target.z + dz * k};
    doc["camera"] = {{"position", vec(from.x, from.y, from.z)}, {"look_at", vec(target.x, target.y, target.z)}};
    if (cam.fov > 0.0)
        doc["camera"]["fov"] = cam.fov;
    else
        doc["camera"]["zoom"] = kZoom;
    doc["ambient"] = {{"intensity", 0.15}};
    json key{{"name", "Key"}, {"type", "distant"}, {"direction", vec(-0.4, -1.0, 0.6)}};
    const bool given = choices.light_intensity >= 0.0;
    const double intensity = given ? choices.light_intensity : 1.0;
    if (given) key["intensity"] = intensity;
    doc["lights"] = json::array({key});
    if (choices.fill_light)
        doc["lights"].push_back(json{{"name", "Fill"},
                                     {"type", "distant"},
                                     {"direction", vec(0.7, -0.35, 0.45)},
                                     {"intensity", kFillShare * intensity}});
    json object{{"name", "Object"}, {"file", path}};
    if (choices.up != UpAxis::FromFile) object["up"] = up_axis_name(choices.up);
    doc["objects"] = json::array({object});
    json dirt = json::object();
    if (width > 0.0) dirt["dirt_width"] = width;
    if (sample_scale > 0.0) dirt["sample_scale"] = sample_scale;
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
    if (!measure(absolute, choices.up, bounds, surfaces, imported[absolute], error)) return false;
    const double width = choices.choose_width ? width_for_object(bounds) : 0.0;
    const double sample_scale = choices.choose_sample_scale ? sample_scale_for_object(bounds) : 0.0;
    const json doc = framing_document(absolute, bounds, surfaces, choices, width, sample_scale);
    if (!build_scene_from_json(doc, ".", scene, desc, error, &imported)) return false;
    desc.chosen_width = width;
    desc.chosen_sample_scale = sample_scale;
    return true;
}

}  // namespace render
