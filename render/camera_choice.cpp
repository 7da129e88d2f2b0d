#include "render/camera_choice.h"

#include <cmath>
#include <cstdio>

#include "render/json_read.h"

namespace render {

using nlohmann::json;

namespace {

json vec(const Vec3d &v) { return json::array({v.x, v.y, v.z}); }

Vec3d point(const json &a) { return {a.at(0).get<double>(), a.at(1).get<double>(), a.at(2).get<double>()}; }

Item *first_camera(Scene &scene) {
    const std::vector<Item *> cameras = scene.items(ItemType::Camera);
    return cameras.empty() ? nullptr : cameras[0];
}

}  // namespace

bool apply_camera_choice(const CameraChoice &c, Scene &scene, SceneDescription &desc, std::string *error) {
    if (!c.position_given && !c.look_at_given && c.fov <= 0.0) return true;
    json &cam = desc.document["camera"];
    if (!cam.is_object()) cam = json::object();
    if (c.position_given) cam["position"] = vec(c.position);
    if (c.look_at_given) cam["look_at"] = vec(c.look_at);
    if (c.fov > 0.0) cam.erase("zoom"), cam["fov"] = c.fov;
    if (cam.contains("look_at")) {
        const Vec3d from = cam.contains("position") ? point(cam["position"]) : Vec3d{};
        const Vec3d to = point(cam["look_at"]);
        if (from.x == to.x && from.y == to.y && from.z == to.z) {
            *error = "the camera cannot look at its own position (--camera-position, --look-at)";
            return false;
        }
        cam.erase("rotation");
    }
    Item *camera = first_camera(scene);
    if (!camera) camera = &scene.add_camera("Camera");
    set_camera_from_json(cam, *camera);
    return true;
}

std::string turntable_problem(const SceneDescription &desc) {
    const json &cam = desc.document.value("camera", json::object());
    if (cam.contains("position") && cam.contains("look_at")) return "";
    return "--turntable turns the camera round the point it looks at: the scene's camera needs a position and a "
           "look_at (or --camera-position and --look-at)";
}

void place_turntable_camera(const SceneDescription &desc, int frame, int frames, Scene &scene) {
    json cam = desc.document.at("camera");
    const Vec3d from = point(cam["position"]), to = point(cam["look_at"]);
    // Whole turns are taken out first, so that frame N is frame 0 exactly.
    const int step = ((frame % frames) + frames) % frames;
    const double angle = 2.0 * 3.14159265358979323846 * step / frames;
    const double x = from.x - to.x, z = from.z - to.z;
    const double c = std::cos(angle), s = std::sin(angle);
    cam["position"] = vec({to.x + x * c - z * s, from.y, to.z + x * s + z * c});
    cam.erase("rotation");
    Item *camera = first_camera(scene);
    if (camera) set_camera_from_json(cam, *camera);
}

std::string camera_text(const Scene &scene) {
    std::vector<Item *> cameras = scene.items(ItemType::Camera);
    if (cameras.empty()) return "camera at (0, 0, 0) looking along +Z";
    const Item &cam = *cameras[0];
    const Vec3d p = scene.item_param(cam, LWIP_W_POSITION, scene.current_time);
    const Vec3d f = scene.item_param(cam, LWIP_FORWARD, scene.current_time);
    const double fov = 2.0 * std::atan(1.0 / cam.camera.zoom) / kDegree;
    char text[200];
    std::snprintf(text, sizeof text, "camera at (%.4g, %.4g, %.4g) looking along (%.3f, %.3f, %.3f), field of view %.3g degrees",
                  p.x, p.y, p.z, f.x, f.y, f.z, fov);
    return text;
}

}  // namespace render
