// Per-time data handed to the gradient inputs: a snapshot of the scene's items.
#ifndef ORMEL_GRADIENTS_INPUT_TIME_H
#define ORMEL_GRADIENTS_INPUT_TIME_H

#include <map>
#include <memory>

#include "common/vec.h"
#include "host/lwsdk.h"

namespace ormel {

// Item-parameter codes run from 1 to 12.
constexpr int kItemParamCount = 12;

// One item's twelve item-parameter vectors at the snapshot's time; vectors[code - 1].
class ItemState {
public:
    virtual ~ItemState() = default;
    Vec3 vectors[kItemParamCount];
};

// The items of the scene at one time, by item ID.
class ItemStateCache {
public:
    virtual ~ItemStateCache() = default;
    std::map<LWItemID, std::unique_ptr<ItemState>> items;
    double time = 0.0;
    int frame = 0;
};

// One per paramTime call; the host holds it until paramCleanup.
struct InputTimeData {
    double time = 0.0;
    int frame = 0;
    // Null when the snapshot could not be made; look-ups then find nothing.
    std::unique_ptr<ItemStateCache> cache;
};

// The context's paramTime callback: a new record with its own snapshot at the time, or
// null when the host passes no row.
gParamData input_time_create(void *userData, LWTxtrParamDesc *param, int paramNb, LWTime time,
                             LWFrame frame);
// The context's paramCleanup callback.
void input_time_free(LWTxtrParamDesc *param, int paramNb, gParamData data);

// Refills the cache with every light, camera, object and bone at the time, through the
// item-info service bound at activation; without it the cache is left as it was. The
// caller holds item_cache_lock.
void item_cache_rebuild(ItemStateCache *cache, LWTime time, LWFrame frame);
// Stores (or refreshes) one item's vectors at the time; ID 0 is ignored.
void item_cache_add(ItemStateCache *cache, LWItemID id, LWTime time);
// Copies one vector of an item under item_cache_lock; leaves out as it was when the cache
// is null, the item is absent or the code is outside 1 to 12.
void item_cache_lookup(const ItemStateCache *cache, LWItemID id, int code, Vec3 &out);

}  // namespace ormel

#endif
