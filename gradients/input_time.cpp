#include "gradients/input_time.h"

#include <new>

#include "module/globals.h"
#include "module/module_state.h"

namespace ormel {

namespace {

// The order in which the host is asked for an item's vectors.
constexpr int kFetchOrder[kItemParamCount] = {
    LWIP_POSITION, LWIP_W_POSITION, LWIP_ROTATION, LWIP_SCALING, LWIP_PIVOT, LWIP_PIVOT_ROT,
    LWIP_RIGHT,    LWIP_UP,         LWIP_FORWARD,  LWIP_W_RIGHT, LWIP_W_UP,  LWIP_W_FORWARD,
};

void add_all(ItemStateCache *cache, const LWItemInfo *item_info, LWItemType type,
             LWItemID parent, LWTime time) {
    for (LWItemID id = item_info->first(type, parent); id; id = item_info->next(id)) {
        item_cache_add(cache, id, time);
    }
}

}  // namespace

void item_cache_add(ItemStateCache *cache, LWItemID id, LWTime time) {
    if (!cache || !id) return;
    const LWItemInfo *item_info = shader_globals.item_info;
    if (!item_info) return;
    // An item met twice keeps one entry, holding the values fetched last.
    std::unique_ptr<ItemState> &state = cache->items[id];
    if (!state) state = std::make_unique<ItemState>();
    for (const int code : kFetchOrder) {
        double vector[3] = {0.0, 0.0, 0.0};
        item_info->param(id, code, time, vector);
        state->vectors[code - 1] = Vec3(vector);
    }
}

void item_cache_rebuild(ItemStateCache *cache, LWTime time, LWFrame frame) {
    const LWItemInfo *item_info = shader_globals.item_info;
    if (!cache || !item_info) return;
    cache->items.clear();
    cache->time = time;
    cache->frame = frame;
    add_all(cache, item_info, LWI_LIGHT, LWITEM_NULL, time);
    add_all(cache, item_info, LWI_CAMERA, LWITEM_NULL, time);
    for (LWItemID object = item_info->first(LWI_OBJECT, LWITEM_NULL); object;
         object = item_info->next(object)) {
        item_cache_add(cache, object, time);
        add_all(cache, item_info, LWI_BONE, object, time);
    }
}

void item_cache_lookup(const ItemStateCache *cache, LWItemID id, int code, Vec3 &out) {
    if (!cache) return;
    CriticalSectionGuard guard(module_state.item_cache_lock);
    if (code < 1 || code > kItemParamCount) return;
    const auto found = cache->items.find(id);
    if (found == cache->items.end()) return;
    out = found->second->vectors[code - 1];
}

gParamData input_time_create(void *, LWTxtrParamDesc *param, int, LWTime time, LWFrame frame) {
    if (!param) return nullptr;
    InputTimeData *data = new (std::nothrow) InputTimeData;
    if (!data) return nullptr;
    data->time = time;
    data->frame = frame;
    try {
        data->cache = std::make_unique<ItemStateCache>();
        CriticalSectionGuard guard(module_state.item_cache_lock);
        item_cache_rebuild(data->cache.get(), time, frame);
    } catch (...) {
        // A snapshot cut short by memory would silently miss items; no snapshot at all
        // makes every look-up keep its preset instead.
        data->cache.reset();
    }
    return data;
}

void input_time_free(LWTxtrParamDesc *, int, gParamData data) {
    delete static_cast<InputTimeData *>(data);
}

}  // namespace ormel
