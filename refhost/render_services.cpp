#include "refhost/render_services.h"

#include "refhost/host.h"
#include "refhost/item_info.h"
#include "refhost/light_info.h"
#include "refhost/object_info.h"
#include "refhost/render_memory.h"

namespace refhost {

void install_render_services(Host &host) {
    host.provide(LWITEMINFO_GLOBAL, item_info_table());
    host.provide(LWOBJECTINFO_GLOBAL, object_info_table());
    host.provide(LWLIGHTINFO_GLOBAL, light_info_table());
    SceneInfoRecord &scene_info = host.component<SceneInfoRecord>();
    scene_info.refresh();
    host.provide(LWSCENEINFO_GLOBAL, scene_info.record());
    host.provide(LWBACKDROPINFO_GLOBAL, backdrop_info_table());
    host.component<RenderMemory>();
    host.provide(LWGLOBALPOOL_RENDER_GLOBAL, render_memory_table());
}

}  // namespace refhost
