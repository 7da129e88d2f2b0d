#include "refhost/object_info.h"

#include <algorithm>

#include "refhost/host.h"
#include "refhost/item_info.h"
#include "refhost/mesh_access.h"

namespace refhost {

namespace {

const Item *current_object(LWItemID id) {
    Host *host = Host::current();
    if (!host) return nullptr;
    const Item *item = scene_item(host->scene(), id);
    return item && item->type == ItemType::Object ? item : nullptr;
}

const char *filename(LWItemID id) {
    const Item *object = current_object(id);
    return object ? object->filename.c_str() : nullptr;
}

int num_points(LWItemID id) {
    const Item *object = current_object(id);
    if (!object) return 0;
    size_t n = 0;
    for (const Mesh *mesh : object_meshes(*object)) n += mesh->points.size();
    return static_cast<int>(n);
}

int num_polygons(LWItemID id) {
    const Item *object = current_object(id);
    if (!object) return 0;
    size_t n = 0;
    for (const Mesh *mesh : object_meshes(*object)) n += mesh->polygons.size();
    return static_cast<int>(n);
}

// The renderer's view of the object: every layer, with deformed positions at the scene's
// current time. The scene model has no separate frozen form, so `frozen` changes nothing.
LWMeshInfo *mesh_info(LWItemID id, int /*frozen*/) {
    const Item *object = current_object(id);
    if (!object) return nullptr;
    LWMeshInfo *info = new_mesh_access(Host::current()->scene(), object);
    object_meshes(*object, mesh_access_meshes_to_fill(info));
    return info;
}

int excluded(LWItemID id, LWItemID light) {
    const Item *object = current_object(id);
    if (!object || !light) return 0;
    const auto &list = object->excluded_lights;
    // Compared as IDs: LWITEM_RADIOSITY is not an item but may be listed.
    return std::any_of(list.begin(), list.end(), [&](const Item *l) { return to_id(l) == light; })
               ? 1
               : 0;
}

unsigned int shadow_opts(LWItemID id) {
    const Item *object = current_object(id);
    return object ? object->object_props.shadow_options : 0u;
}

// The scalar animated properties keep their value in the first component.
double animated_scalar(LWItemID id, AnimatedVec ObjectData::*property, LWTime time) {
    const Item *object = current_object(id);
    return object ? (object->object_props.*property).at(time).x : 0.0;
}

double dissolve(LWItemID id, LWTime time) { return animated_scalar(id, &ObjectData::dissolve, time); }
double fog(LWItemID id, LWTime time) { return animated_scalar(id, &ObjectData::fog, time); }
double morph_amount(LWItemID id, LWTime time) { return animated_scalar(id, &ObjectData::morph_amount, time); }
double polygon_size(LWItemID id, LWTime time) { return animated_scalar(id, &ObjectData::polygon_size, time); }

unsigned int flags(LWItemID id) {
    const Item *object = current_object(id);
    return object ? object->object_props.flags : 0u;
}

// The scene model has no displacement or clip textures.
LWTextureID no_texture(LWItemID) { return nullptr; }

void patch_level(LWItemID id, int *display, int *render) {
    const Item *object = current_object(id);
    if (display) *display = object ? object->object_props.patch_display : 0;
    if (render) *render = object ? object->object_props.patch_render : 0;
}

void metaball_res(LWItemID id, double *display, double *render) {
    const Item *object = current_object(id);
    if (display) *display = object ? object->object_props.metaball_display : 0.0;
    if (render) *render = object ? object->object_props.metaball_render : 0.0;
}

LWItemID bone_source(LWItemID id) {
    const Item *object = current_object(id);
    return object ? to_id(object->object_props.bone_source) : nullptr;
}

LWItemID morph_target(LWItemID id) {
    const Item *object = current_object(id);
    return object ? to_id(object->object_props.morph_target) : nullptr;
}

unsigned int edge_opts(LWItemID id) {
    const Item *object = current_object(id);
    return object ? object->object_props.edge_options : 0u;
}

void edge_color(LWItemID id, LWTime time, LWDVector color) {
    if (!color) return;
    const Item *object = current_object(id);
    const Vec3d c = object ? object->object_props.edge_color.at(time) : Vec3d{};
    color[0] = c.x, color[1] = c.y, color[2] = c.z;
}

int subdiv_order(LWItemID id) {
    const Item *object = current_object(id);
    return object ? object->object_props.subdiv_order : 0;
}

}  // namespace

std::vector<const Mesh *> object_meshes(const Item &object) {
    std::vector<const Mesh *> meshes;
    object_meshes(object, meshes);
    return meshes;
}

void object_meshes(const Item &object, std::vector<const Mesh *> &meshes) {
    // Each layer's place in a stable sort by layer index: the layers before it of no greater
    // index and the layers after it of smaller index come first. Objects have few layers,
    // and this needs no buffer.
    const auto &layers = object.layers;
    meshes.assign(layers.size(), nullptr);
    for (size_t i = 0; i < layers.size(); ++i) {
        size_t place = 0;
        for (size_t j = 0; j < layers.size(); ++j) {
            if (j < i ? layers[j]->index <= layers[i]->index : j > i && layers[j]->index < layers[i]->index)
                ++place;
        }
        meshes[place] = &layers[i]->mesh;
    }
}

LWObjectInfo *object_info_table() {
    static LWObjectInfo table = {
        filename,     num_points,   num_polygons, shadow_opts,  dissolve,     mesh_info,  flags,
        fog,          no_texture,   no_texture,   patch_level,  metaball_res, bone_source, morph_target,
        morph_amount, edge_opts,    edge_color,   subdiv_order, polygon_size, excluded,
    };
    return &table;
}

}  // namespace refhost
