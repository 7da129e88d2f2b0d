#include "refhost/light_info.h"

#include "refhost/host.h"
#include "refhost/item_info.h"
#include "refhost/object_info.h"

namespace refhost {

namespace {

const Item *current_light(LWItemID id) {
    Host *host = Host::current();
    if (!host) return nullptr;
    const Item *item = scene_item(host->scene(), id);
    return item && item->type == ItemType::Light ? item : nullptr;
}

void store(const Vec3d &v, double scale, LWDVector out) {
    out[0] = v.x * scale;
    out[1] = v.y * scale;
    out[2] = v.z * scale;
}

void ambient(LWTime, LWDVector color) {
    Host *host = Host::current();
    if (!host || !color) return;
    const Scene &scene = host->scene();
    store(scene.ambient_color, scene.ambient_intensity, color);
}

int light_type(LWItemID id) {
    const Item *light = current_light(id);
    return light ? light->light.type : LWLIGHT_DISTANT;
}

void light_color(LWItemID id, LWTime, LWDVector color) {
    const Item *light = current_light(id);
    if (!light || !color) return;
    store(light->light.color, light->light.intensity, color);
}

int shadow_type(LWItemID id) { return current_light(id) ? kShadowRaytrace : kShadowOff; }

void cone_angles(LWItemID id, LWTime, double *radius, double *edge) {
    const Item *light = current_light(id);
    if (!light) return;
    if (radius) *radius = light->light.cone_angle;
    if (edge) *edge = light->light.cone_edge;
}

unsigned int light_flags(LWItemID id) {
    const Item *light = current_light(id);
    return light ? light->light.flags : 0u;
}

void backdrop(LWTime, const double[3], double color[3]) {
    Host *host = Host::current();
    if (!host || !color) return;
    store(host->scene().backdrop_color, 1.0, color);
}

// A solid backdrop: all four gradient colours are the backdrop colour.
void backdrop_colors(LWTime, double zenith[3], double sky[3], double ground[3], double nadir[3]) {
    Host *host = Host::current();
    if (!host) return;
    for (double *out : {zenith, sky, ground, nadir})
        if (out) store(host->scene().backdrop_color, 1.0, out);
}

}  // namespace

LWLightInfo *light_info_table() {
    static LWLightInfo table = {ambient, light_type, light_color, shadow_type, cone_angles, light_flags};
    return &table;
}

LWBackdropInfo *backdrop_info_table() {
    static LWBackdropInfo table = {backdrop, 0 /* solid colour */, backdrop_colors};
    return &table;
}

SceneInfoRecord::SceneInfoRecord(Host &host) : host_(host) {
    info_.name = name_.c_str();
    info_.filename = filename_.c_str();
    info_.renderType = 2;  // realistic rendering
    info_.renderOpts = 0x7;  // ray-traced shadows, reflection and refraction
    info_.frameStart = 1;
    info_.frameEnd = 1;
    info_.frameStep = 1;
    info_.framesPerSecond = 30.0;
    info_.frameWidth = 640;
    info_.frameHeight = 480;
    refresh();
}

void SceneInfoRecord::refresh() {
    size_t points = 0, polygons = 0;
    for (const Item *object : host_.scene().objects()) {
        for (const Mesh *mesh : object_meshes(*object)) {
            points += mesh->points.size();
            polygons += mesh->polygons.size();
        }
    }
    info_.numPoints = static_cast<int>(points);
    info_.numPolys = static_cast<int>(polygons);
}

}  // namespace refhost
