// Whether an item is one of the scene's objects.
#ifndef ORMEL_MODULE_SCENE_QUERY_H
#define ORMEL_MODULE_SCENE_QUERY_H

#include "host/lwsdk.h"

namespace ormel {

// True when item_info is missing or walking the scene's objects never meets id.
bool object_outside_scene(const LWItemInfo *item_info, LWItemID id);

// The same test on the item-info handle bound at shader activation.
bool object_outside_scene(LWItemID id);

}  // namespace ormel

#endif
