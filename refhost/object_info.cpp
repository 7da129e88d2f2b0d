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
    static LWObjectInfo table = {filename, num_points, num_polygons, mesh_info, excluded};
    return &table;
}

}  // namespace refhost
