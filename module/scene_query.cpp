#include "module/scene_query.h"

#include "module/globals.h"

namespace ormel {

bool object_outside_scene(const LWItemInfo *item_info, LWItemID id) {
    if (!item_info) return true;
    for (LWItemID item = item_info->first(LWI_OBJECT, LWITEM_NULL); item;
         item = item_info->next(item)) {
        if (item == id) return false;
    }
    return true;
}

bool object_outside_scene(LWItemID id) { return object_outside_scene(shader_globals.item_info, id); }

}  // namespace ormel
