#include "refhost/item_info.h"

#include <vector>

#include "refhost/host.h"

namespace refhost {

namespace {

Scene *current_scene() {
    Host *host = Host::current();
    return host ? &host->scene() : nullptr;
}

// Whether `other` is walked together with `item` by `next`: the same type, and for bones
// the same object.
bool same_kind(const Item &item, const Item &other) {
    return other.type == item.type && (item.type != ItemType::Bone || other.parent == item.parent);
}

LWItemID first(LWItemType type, LWItemID parent) {
    Scene *scene = current_scene();
    if (!scene || type < LWI_OBJECT || type > LWI_BONE) return nullptr;
    const ItemType kind = static_cast<ItemType>(type);
    const Item *owner = nullptr;
    if (kind == ItemType::Bone) {
        // Bones are walked per object: without an object there is nothing to walk.
        owner = scene_item(*scene, parent);
        if (!owner || owner->type != ItemType::Object) return nullptr;
    }
    for (const auto &item : scene->all_items())
        if (item->type == kind && (kind != ItemType::Bone || item->parent == owner)) return to_id(item.get());
    return nullptr;
}

// One pass over the scene's items, without allocating: plug-ins walk every object for
// every shaded spot.
LWItemID next(LWItemID id) {
    Scene *scene = current_scene();
    if (!scene || !id) return nullptr;
    const Item *item = nullptr;
    for (const auto &candidate : scene->all_items()) {
        if (!item) {
            if (to_id(candidate.get()) == id) item = candidate.get();
        } else if (same_kind(*item, *candidate)) {
            return to_id(candidate.get());
        }
    }
    return nullptr;
}

// Children in the order the items were added.
std::vector<Item *> children(const Scene &scene, const Item *parent) {
    std::vector<Item *> out;
    for (const auto &item : scene.all_items())
        if (item->parent == parent) out.push_back(item.get());
    return out;
}

LWItemID first_child(LWItemID parent_id) {
    Scene *scene = current_scene();
    const Item *parent = scene ? scene_item(*scene, parent_id) : nullptr;
    if (!parent) return nullptr;
    const std::vector<Item *> list = children(*scene, parent);
    return list.empty() ? nullptr : to_id(list.front());
}

LWItemID next_child(LWItemID parent_id, LWItemID previous_id) {
    Scene *scene = current_scene();
    const Item *parent = scene ? scene_item(*scene, parent_id) : nullptr;
    if (!parent) return nullptr;
    const std::vector<Item *> list = children(*scene, parent);
    if (!previous_id) return list.empty() ? nullptr : to_id(list.front());
    for (size_t i = 0; i + 1 < list.size(); ++i)
        if (to_id(list[i]) == previous_id) return to_id(list[i + 1]);
    return nullptr;
}

LWItemID parent_of(LWItemID id) {
    Scene *scene = current_scene();
    const Item *item = scene ? scene_item(*scene, id) : nullptr;
    return item && item->parent ? to_id(item->parent) : nullptr;
}

// The scene model has no targeting or IK goals.
LWItemID no_item(LWItemID) { return nullptr; }

LWItemType type_of(LWItemID id) {
    Scene *scene = current_scene();
    const Item *item = scene ? scene_item(*scene, id) : nullptr;
    return item ? static_cast<LWItemType>(item->type) : -1;  // not an item: no type
}

const char *name_of(LWItemID id) {
    Scene *scene = current_scene();
    const Item *item = scene ? scene_item(*scene, id) : nullptr;
    return item ? item->name.c_str() : nullptr;
}

void param(LWItemID id, LWItemParam code, LWTime time, LWDVector out) {
    Scene *scene = current_scene();
    const Item *item = scene ? scene_item(*scene, id) : nullptr;
    if (!item || !out) return;
    const Vec3d v = scene->item_param(*item, code, time);
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

}  // namespace

Item *scene_item(const Scene &scene, LWItemID id) {
    if (!id) return nullptr;
    for (const auto &item : scene.all_items())
        if (to_id(item.get()) == id) return item.get();
    return nullptr;
}

LWItemInfo *item_info_table() {
    static LWItemInfo table = {first,   next,    first_child, next_child, parent_of,
                               no_item, no_item, type_of,     name_of,    param};
    return &table;
}

}  // namespace refhost
