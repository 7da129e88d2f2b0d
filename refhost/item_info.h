// "LW Item Info 3": walks and queries the scene's items.
//
// Host callbacks carry no context, so the functions work on the scene of the current host
// (`Host::current()`). An ID that is not an item of that scene (null, LWITEM_RADIOSITY, a
// stale pointer) is answered with null, 0 or an untouched vector: IDs are checked against
// the scene's items before they are dereferenced.
#ifndef REFHOST_ITEM_INFO_H
#define REFHOST_ITEM_INFO_H

#include "host/lwsdk.h"
#include "refhost/scene.h"

namespace refhost {

// The service table; one per process, its functions read `Host::current()`.
LWItemInfo *item_info_table();

// The item an ID stands for when it is one of the scene's items, else null.
Item *scene_item(const Scene &scene, LWItemID id);

}  // namespace refhost

#endif
