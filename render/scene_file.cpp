#include "render/scene_file.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "render/json_read.h"
#include "render/limits.h"
#include "render/object_import.h"
#include "render/primitives.h"
#include "render/scene_keys.h"

namespace render {

using nlohmann::json;

namespace {


double get_number(const json &obj, const char *key, double fallback, const std::string &where) {
    return obj.contains(key) ? json_number(obj[key], where + "." + key) : fallback;
}

// A length or coordinate, within the renderer's reach.
double get_coordinate(const json &obj, const char *key, double fallback, const std::string &where) {
    return obj.contains(key) ? json_coordinate(obj[key], where + "." + key) : fallback;
}

int get_integer(const json &obj, const char *key, int fallback, int lo, int hi, const std::string &where) {
    return obj.contains(key) ? json_integer(obj[key], where + "." + key, lo, hi) : fallback;
}

// Adds to the scene's estimated memory; fails once it passes the limit.
void charge_memory(SceneDescription &desc, double bytes, const std::string &where) {
    desc.memory_bytes += bytes;
    if (!within_memory(desc.memory_bytes)) json_fail(where + ": the scene " + memory_refusal(desc.memory_bytes));
}


// After an object is built: its points within reach, its memory counted, and a word when
// nothing of it can be shaded.
void check_built_object(const Scene &scene, const Item &object, const std::string &where, SceneDescription &desc) {
    const std::string extent = check_object_extent(scene, object, 0.0);
    if (!extent.empty()) json_fail(where + ": " + extent);
    const ObjectCounts counts = count_object(object);
    if (counts.polygons == 0.0) {
        std::ostringstream w;
        w << where << " has no polygons";
        if (counts.points > 0.0) w << " (" << counts.points << " points, and lines if any)";
        w << ": nothing of it will be shaded";
        desc.warnings.push_back(w.str());
    }
}

// Heading and pitch that turn the +Z axis onto a direction.
Vec3d hpb_towards(const Vec3d &d) {
    const double len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    if (len == 0.0) json_fail("a direction must not be zero");
    return {std::atan2(d.x, d.z), std::asin(-d.y / len), 0.0};
}

Vec3d degrees(const Vec3d &v) { return {v.x * kDegree, v.y * kDegree, v.z * kDegree}; }

void read_motion(const json &obj, const std::string &where, Item &item) {
    if (obj.contains("position")) item.motion.position.set(json_point(obj["position"], where + ".position"));
    if (obj.contains("rotation")) item.motion.rotation.set(degrees(json_point(obj["rotation"], where + ".rotation")));
    if (obj.contains("scale")) item.motion.scale.set(json_point(obj["scale"], where + ".scale"));
}

}  // namespace

void set_camera_from_json(const json &cam, Item &camera) {
    read_motion(cam, "camera", camera);
    if (cam.contains("look_at")) {
        const Vec3d target = json_point(cam["look_at"], "camera.look_at");
        const Vec3d from = camera.motion.position.at(0.0);
        camera.motion.rotation.set(hpb_towards({target.x - from.x, target.y - from.y, target.z - from.z}));
    }
    if (cam.contains("zoom")) camera.camera.zoom = json_number(cam["zoom"], "camera.zoom", 1.0 / kMaxZoom, kMaxZoom);
    if (cam.contains("fov")) {
        const double fov = json_number(cam["fov"], "camera.fov");
        if (!(fov > 0.0 && fov < 180.0)) json_fail("camera.fov must lie between 0 and 180 degrees");
        camera.camera.zoom = 1.0 / std::tan(0.5 * fov * kDegree);
    }
}

namespace {

void read_camera(const json &cam, Scene &scene) {
    check_keys(cam, "camera", scene_keys::camera);
    Item &camera = scene.add_camera(cam.contains("name") ? json_text(cam["name"], "camera.name") : "Camera");
    set_camera_from_json(cam, camera);
}

void read_light(const json &l, size_t index, Scene &scene, std::vector<std::pair<Item *, json>> &exclusions) {
    const std::string where = "lights[" + std::to_string(index) + "]";
    check_keys(l, where, scene_keys::light);
    const std::string type = l.contains("type") ? json_text(l["type"], where + ".type") : "distant";
    int code;
    if (type == "distant") code = LWLIGHT_DISTANT;
    else if (type == "point") code = LWLIGHT_POINT;
    else if (type == "spot") code = LWLIGHT_SPOT;
    else json_fail(where + ".type must be \"distant\", \"point\" or \"spot\"");
    Item &light = scene.add_light(l.contains("name") ? json_text(l["name"], where + ".name") : "Light", code);
    read_motion(l, where, light);
    if (l.contains("direction")) light.motion.rotation.set(hpb_towards(json_point(l["direction"], where + ".direction")));
    if (l.contains("color")) light.light.color = json_vec3(l["color"], where + ".color");
    light.light.intensity = get_number(l, "intensity", 1.0, where);
    for (const char *flag : {"no_diffuse", "no_specular"}) {
        if (!l.contains(flag)) continue;
        if (!l[flag].is_boolean()) json_fail(where + "." + flag + " must be true or false");
        if (l[flag].get<bool>()) light.light.flags |= std::string(flag) == "no_diffuse" ? LWLFL_NO_DIFFUSE : LWLFL_NO_SPECULAR;
    }
    light.light.cone_angle = get_number(l, "cone_angle", 30.0, where) * kDegree;
    light.light.cone_edge = get_number(l, "cone_edge", 5.0, where) * kDegree;
    if (l.contains("exclude")) exclusions.emplace_back(&light, l["exclude"]);
}

void read_primitive(const json &p, const std::string &where, Mesh &mesh, std::set<std::string> &surfaces,
                    SceneDescription &desc) {
    const std::string type = p.contains("type") ? json_text(p["type"], where + ".type") : "";
    const std::string surface = p.contains("surface") ? json_text(p["surface"], where + ".surface") : "Default";
    surfaces.insert(surface);
    // Each primitive's memory is counted from its resolution before it is built.
    if (type == "box") {
        check_keys(p, where, scene_keys::box);
        charge_memory(desc, mesh_bytes(8, 6, 24), where);
        add_box(mesh, json_point(p.value("min", json::array({-0.5, -0.5, -0.5})), where + ".min"),
                json_point(p.value("max", json::array({0.5, 0.5, 0.5})), where + ".max"), surface);
    } else if (type == "floor") {
        check_keys(p, where, scene_keys::floor);
        const int cells = get_integer(p, "cells", 8, 1, kMaxFloorCells, where);
        const double n = cells;
        charge_memory(desc, mesh_bytes((n + 1) * (n + 1), n * n, 4 * n * n), where);
        add_floor(mesh, 0.5 * get_coordinate(p, "size", 10.0, where), get_coordinate(p, "height", 0.0, where), cells,
                  surface);
    } else if (type == "sphere") {
        check_keys(p, where, scene_keys::sphere);
        const int rings = get_integer(p, "rings", 16, kMinSphereRings, kMaxSphereRings, where);
        const int segments = get_integer(p, "segments", 32, kMinSphereSegments, kMaxSphereSegments, where);
        const double r = rings, s = segments;
        charge_memory(desc, mesh_bytes(2 + (r - 1) * s, r * s, 6 * s + 4 * (r - 2) * s), where);
        add_sphere(mesh, json_point(p.value("center", json::array({0, 0, 0})), where + ".center"),
                   get_coordinate(p, "radius", 0.5, where), rings, segments, surface);
    } else if (type == "stairs") {
        check_keys(p, where, scene_keys::stairs);
        const int steps = get_integer(p, "steps", 3, 1, kMaxStairSteps, where);
        charge_memory(desc, mesh_bytes(8.0 * steps, 6.0 * steps, 24.0 * steps), where);
        add_stairs(mesh, json_point(p.value("origin", json::array({0, 0, 0})), where + ".origin"), steps,
                   get_coordinate(p, "width", 1.0, where), get_coordinate(p, "rise", 0.2, where),
                   get_coordinate(p, "run", 0.3, where), surface);
    } else if (type == "quad") {
        check_keys(p, where, scene_keys::quad);
        charge_memory(desc, mesh_bytes(4, 1, 4), where);
        add_quad(mesh, json_point(p.value("corner", json::array({0, 0, 0})), where + ".corner"),
                 json_point(p.value("u", json::array({1, 0, 0})), where + ".u"),
                 json_point(p.value("v", json::array({0, 1, 0})), where + ".v"), surface);
    } else {
        json_fail(where + ".type must be \"box\", \"floor\", \"sphere\", \"stairs\" or \"quad\"");
    }
}

// How an object file is read: "up" names its up axis when the file does not.
ImportOptions import_options(const json &o, const std::string &where) {
    ImportOptions options;
    if (!o.contains("up")) return options;
    if (!o.contains("file")) json_fail(where + ".up: only an object read from a file has an up axis to choose");
    if (!up_axis_named(json_text(o["up"], where + ".up"), options.up))
        json_fail(where + ".up must be \"y\", \"z\", \"x\", \"-y\", \"-z\" or \"-x\"");
    return options;
}

void read_object(const json &o, size_t index, const std::string &base_dir, Scene &scene, SceneDescription &desc,
                 ImportedObjects *imported) {
    const std::string where = "objects[" + std::to_string(index) + "]";
    check_keys(o, where, scene_keys::object);
    const std::string name = o.contains("name") ? json_text(o["name"], where + ".name") : "Object" + std::to_string(index);
    if (scene.find_object_by_filename(name)) json_fail(where + ": two objects are named \"" + name + "\"");
    // The object's name doubles as its file name: it keys its surfaces and its Scene Objects entry.
    Item &object = scene.add_object(name, name);
    read_motion(o, where, object);
    // What the object's checks name: its file, when it has one.
    std::string what = where;
    if (o.contains("file")) {
        std::string path = json_text(o["file"], where + ".file");
        if (!path.empty() && path[0] != '/' && !base_dir.empty()) path = base_dir + "/" + path;
        what = path;
        const std::string problem = file_problem(path);
        if (!problem.empty()) json_fail(where + ".file: " + problem);
        std::string error;
        const auto ahead = imported ? imported->find(path) : ImportedObjects::iterator();
        if (imported && ahead != imported->end()) {  // read already: taken, not read again
            adopt_imported_object(ahead->second, scene, object);
            desc.warnings.insert(desc.warnings.end(), ahead->second.warnings.begin(), ahead->second.warnings.end());
            desc.files_read.insert(desc.files_read.end(), ahead->second.files_read.begin(),
                                   ahead->second.files_read.end());
            imported->erase(ahead);
        } else if (!import_object_file(path, scene, object, desc.warnings, &error, import_options(o, where),
                                       &desc.files_read)) {
            json_fail(error);
        }
        const ObjectCounts counts = count_object(object);
        charge_memory(desc, mesh_bytes(counts.points, counts.polygons, counts.corners), where + ".file");
    }
    if (o.contains("primitives")) {
        if (!o["primitives"].is_array()) json_fail(where + ".primitives must be an array");
        std::set<std::string> surfaces;
        Layer &layer = object.add_layer(static_cast<int>(object.layers.size()));
        for (size_t i = 0; i < o["primitives"].size(); ++i)
            read_primitive(o["primitives"][i], where + ".primitives[" + std::to_string(i) + "]", layer.mesh, surfaces,
                           desc);
        for (const std::string &s : surfaces) {
            bool known = false;
            for (const Surface *existing : object.surfaces) known |= existing->name == s;
            if (!known) scene.add_surface(object, s);
        }
    }
    if (object.layers.empty()) json_fail(where + " has neither \"file\" nor \"primitives\"");
    check_built_object(scene, object, what, desc);
}

Surface *find_surface(Scene &scene, const std::string &object, const std::string &name) {
    for (const auto &s : scene.surfaces())
        if (s->object_filename == object && s->name == name) return s.get();
    return nullptr;
}

// Why no surface was found, with the nearest names of the object's surfaces (or of the
// scene's objects, when the object is the slip).
std::string no_surface_text(const Scene &scene, const std::string &object, const std::string &name) {
    std::vector<std::string> objects, surfaces;
    for (const auto &s : scene.surfaces()) {
        if (s->object_filename == object) surfaces.push_back(s->name);
        if (std::find(objects.begin(), objects.end(), s->object_filename) == objects.end())
            objects.push_back(s->object_filename);
    }
    if (surfaces.empty()) return "there is no object \"" + object + "\"" + did_you_mean(object, objects);
    return "object \"" + object + "\" has no surface \"" + name + "\"" + did_you_mean(name, surfaces);
}

void read_surface(const json &s, size_t index, Scene &scene, SceneDescription &desc) {
    const std::string where = "surfaces[" + std::to_string(index) + "]";
    check_keys(s, where, scene_keys::surface);
    const std::string object = json_text(s.value("object", json()), where + ".object");
    const std::string name = json_text(s.value("name", json()), where + ".name");
    Surface *surface = find_surface(scene, object, name);
    if (!surface) json_fail(where + ": " + no_surface_text(scene, object, name));
    SurfaceValues &v = surface->values;
    if (s.contains("color")) {
        const Vec3d c = json_vec3(s["color"], where + ".color");
        v.color[0] = c.x;
        v.color[1] = c.y;
        v.color[2] = c.z;
    }
    v.diffuse = get_number(s, "diffuse", v.diffuse, where);
    v.specular = get_number(s, "specular", v.specular, where);
    v.glossiness = get_number(s, "glossiness", v.glossiness, where);
    v.reflection = get_number(s, "reflection", v.reflection, where);
    if (s.contains("smoothing_angle")) {
        v.smoothing_angle = json_number(s["smoothing_angle"], where + ".smoothing_angle") * kDegree;
        // An angle given here rules the surface's smoothing over normals from its file.
        if (Item *item = scene.find_object_by_filename(object))
            for (const auto &layer : item->layers)
                for (const auto &polygon : layer->mesh.polygons)
                    if (polygon->surface == name) polygon->normals.clear();
    }

    if (!s.contains("dirt") && !s.contains("dirt_state")) return;
    ShaderSettings shader;
    shader.surface = surface;
    if (s.contains("dirt")) {
        const json &d = s["dirt"];
        if (d.is_boolean()) {
            if (!d.get<bool>()) return;
        } else if (d.is_object()) {
            for (auto it = d.begin(); it != d.end(); ++it) {
                if (setting_kind(it.key()) == SettingKind::Unknown)
                    json_fail("unknown setting \"" + it.key() + "\" in " + where + ".dirt" +
                              did_you_mean(it.key(), setting_names()));
            }
            shader.settings = d;
        } else {
            json_fail(where + ".dirt must be true, false or an object of settings");
        }
    }
    if (s.contains("dirt_state")) shader.stored = json_text(s["dirt_state"], where + ".dirt_state");
    charge_memory(desc, shader_instance_bytes(), where);
    desc.shaders.push_back(std::move(shader));
}

void read_render(const json &r, RenderSettings &rs) {
    check_keys(r, "render", scene_keys::render);
    if (r.contains("width")) rs.width = json_integer(r["width"], "render.width", 1, kMaxImageSide);
    if (r.contains("height")) rs.height = json_integer(r["height"], "render.height", 1, kMaxImageSide);
    if (r.contains("samples")) rs.samples = json_integer(r["samples"], "render.samples", 1, kMaxPixelSamples);
    if (r.contains("max_depth")) rs.max_depth = json_integer(r["max_depth"], "render.max_depth", 0, kMaxReflectionDepth);
    if (r.contains("fps")) rs.fps = json_number(r["fps"], "render.fps", kMinFps, kMaxFps);
    if (r.contains("output")) rs.output = json_text(r["output"], "render.output");
    if (r.contains("depth")) rs.depth = json_text(r["depth"], "render.depth");
    if (r.contains("turntable")) rs.turntable = json_integer(r["turntable"], "render.turntable", 1, 100000);
    if (r.contains("exposure")) rs.exposure = json_number(r["exposure"], "render.exposure", -64.0, 64.0);
    if (r.contains("frames")) {
        const json &f = r["frames"];
        if (!f.is_array() || f.size() != 2) json_fail("render.frames must be [first, last]");
        rs.first_frame = json_integer(f[0], "render.frames", -kMaxFrame, kMaxFrame);
        rs.last_frame = json_integer(f[1], "render.frames", -kMaxFrame, kMaxFrame);
    }
    if (rs.last_frame < rs.first_frame) json_fail("render.frames: the last frame comes before the first");
}

void build(const json &doc, const std::string &base_dir, Scene &scene, SceneDescription &desc,
           ImportedObjects *imported) {
    check_keys(doc, "the scene", scene_keys::scene);
    desc.document = doc;
    desc.base_dir = base_dir;
    read_camera(doc.value("camera", json::object()), scene);
    if (doc.contains("background")) scene.backdrop_color = json_vec3(doc["background"], "background");
    if (doc.contains("ambient")) {
        const json &a = doc["ambient"];
        check_keys(a, "ambient", scene_keys::ambient);
        if (a.contains("color")) scene.ambient_color = json_vec3(a["color"], "ambient.color");
        scene.ambient_intensity = get_number(a, "intensity", scene.ambient_intensity, "ambient");
    }
    const json objects = doc.value("objects", json::array());
    if (!objects.is_array()) json_fail("objects must be an array");
    for (size_t i = 0; i < objects.size(); ++i) read_object(objects[i], i, base_dir, scene, desc, imported);

    std::vector<std::pair<Item *, json>> exclusions;
    const json lights = doc.value("lights", json::array());
    if (!lights.is_array()) json_fail("lights must be an array");
    for (size_t i = 0; i < lights.size(); ++i) read_light(lights[i], i, scene, exclusions);
    for (auto &[light, names] : exclusions) {
        if (!names.is_array()) json_fail("a light's exclude must be an array of object names");
        for (const json &n : names) {
            Item *object = scene.find_object_by_filename(json_text(n, "exclude"));
            if (!object) json_fail("a light excludes an unknown object \"" + n.get<std::string>() + "\"");
            object->excluded_lights.push_back(light);
        }
    }
    const json surfaces = doc.value("surfaces", json::array());
    if (!surfaces.is_array()) json_fail("surfaces must be an array");
    for (size_t i = 0; i < surfaces.size(); ++i) read_surface(surfaces[i], i, scene, desc);
    if (doc.contains("render")) read_render(doc["render"], desc.render);
    // Bake settings are read by the baker (bake/); their keys are checked here with the rest.
    if (doc.contains("bake")) check_keys(doc["bake"], "bake", scene_keys::bake);
}

}  // namespace

std::string file_problem(const std::string &path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) return "cannot read " + path;
    if (std::filesystem::is_directory(status)) return path + " is a directory, not a file";
    if (!std::filesystem::is_regular_file(status)) return path + " is not a regular file";
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return "cannot read " + path;
    if (size == 0) return path + " is empty";
    if (!file_size_allowed(static_cast<double>(size)))
        return path + ": a file of " + bytes_text(static_cast<double>(size)) + " " +
               memory_refusal(16.0 * static_cast<double>(size));
    return "";
}

bool build_scene_from_json(const json &doc, const std::string &base_dir, Scene &scene,
                           SceneDescription &desc, std::string *error, ImportedObjects *imported) {
    try {
        build(doc, base_dir, scene, desc, imported);
        return true;
    } catch (const JsonError &e) {
        if (error) *error = e.message;
    } catch (const json::exception &e) {
        if (error) *error = one_line(std::string("malformed scene: ") + e.what());
    }
    return false;
}

bool load_scene_file(const std::string &path, Scene &scene, SceneDescription &desc, std::string *error) {
    const std::string problem = file_problem(path);
    std::string text;
    if (problem.empty()) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        if (!in) {
            if (error) *error = "cannot read scene file " + path;
            return false;
        }
        text = bytes.str();
    } else {
        if (error) *error = problem;
        return false;
    }
    json doc;
    try {
        doc = parse_json(text, path);
    } catch (const JsonError &e) {
        if (error) *error = e.message;
        return false;
    }
    const size_t slash = path.find_last_of('/');
    const std::string base = slash == std::string::npos ? "." : path.substr(0, slash);
    if (!build_scene_from_json(doc, base, scene, desc, error)) {
        if (error) *error = path + ": " + *error;
        return false;
    }
    return true;
}

}  // namespace render

namespace render {

const char *demo_scene_json() {
    return R"json({
  "camera": {"position": [3.4, 2.6, -4.4], "look_at": [-0.7, 0.45, 0.9], "fov": 52},
  "ambient": {"color": [0.85, 0.9, 1.0], "intensity": 0.3},
  "lights": [
    {"name": "Sun", "type": "distant", "direction": [-0.45, -1.0, 0.55], "color": [1.0, 0.96, 0.9], "intensity": 0.95},
    {"name": "Fill", "type": "point", "position": [2.5, 2.2, -2.5], "color": [0.8, 0.85, 1.0], "intensity": 0.35}
  ],
  "objects": [
    {"name": "Room", "primitives": [
      {"type": "floor", "size": 6, "height": 0, "cells": 12, "surface": "Floor"},
      {"type": "quad", "corner": [-3, 0, 3], "u": [0, 2.5, 0], "v": [6, 0, 0], "surface": "Walls"},
      {"type": "quad", "corner": [-3, 0, -3], "u": [0, 2.5, 0], "v": [0, 0, 6], "surface": "Walls"},
      {"type": "stairs", "origin": [-1.2, 0, 1.8], "steps": 4, "width": 1.6, "rise": 0.2, "run": 0.3, "surface": "Stairs"}
    ]},
    {"name": "Box", "primitives": [{"type": "box", "min": [0.5, 0, -0.6], "max": [1.5, 0.8, 0.4], "surface": "Box"}],
     "rotation": [25, 0, 0]},
    {"name": "Ball", "primitives": [{"type": "sphere", "center": [0, 0.55, 0], "radius": 0.55, "rings": 24, "segments": 48, "surface": "Ball"}],
     "position": [-2.35, 0, -0.7]}
  ],
  "surfaces": [
    {"object": "Room", "name": "Floor", "color": [0.75, 0.72, 0.66], "diffuse": 0.9, "specular": 0.1, "glossiness": 0.3,
     "dirt": {"dirt_width": 0.5, "use_color": 1, "dirt_color": [0.16, 0.12, 0.08], "dirt_Kd": 0.4, "sample_count": 8, "sample_itr": 2}},
    {"object": "Room", "name": "Walls", "color": [0.82, 0.8, 0.76], "diffuse": 0.85,
     "dirt": {"dirt_width": 0.5, "use_color": 1, "dirt_color": [0.2, 0.16, 0.12], "dirt_Kd": 0.45, "sample_count": 8, "sample_itr": 2}},
    {"object": "Room", "name": "Stairs", "color": [0.55, 0.42, 0.3], "diffuse": 0.9, "specular": 0.2, "glossiness": 0.5,
     "dirt": {"dirt_width": 0.3, "use_color": 1, "dirt_color": [0.1, 0.07, 0.05], "dirt_Kd": 0.4, "sample_count": 8, "sample_itr": 2}},
    {"object": "Box", "name": "Box", "color": [0.3, 0.45, 0.7], "diffuse": 0.85, "specular": 0.3, "glossiness": 0.6,
     "dirt": {"dirt_width": 0.3, "use_color": 1, "dirt_color": [0.08, 0.1, 0.14], "dirt_Kd": 0.4, "sample_count": 8, "sample_itr": 2}},
    {"object": "Ball", "name": "Ball", "color": [0.8, 0.3, 0.2], "diffuse": 0.85, "specular": 0.5, "glossiness": 0.7,
     "smoothing_angle": 89,
     "dirt": {"dirt_width": 0.3, "use_color": 1, "dirt_color": [0.15, 0.06, 0.04], "dirt_Kd": 0.4, "sample_count": 8, "sample_itr": 2}}
  ],
  "render": {"width": 640, "height": 400, "samples": 4, "output": "dirt.png"}
})json";
}

}  // namespace render
