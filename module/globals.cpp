#include "module/globals.h"

namespace ormel {

ShaderGlobals shader_globals;

void acquire_shader_globals(GlobalFunc *global) {
    ShaderGlobals &g = shader_globals;
    g.global = global;
    g.item_info = static_cast<LWItemInfo *>(global(LWITEMINFO_GLOBAL, GFUSE_TRANSIENT));
    g.light_info = static_cast<LWLightInfo *>(global(LWLIGHTINFO_GLOBAL, GFUSE_TRANSIENT));
    g.object_info = static_cast<LWObjectInfo *>(global(LWOBJECTINFO_GLOBAL, GFUSE_TRANSIENT));
    g.scene_info = static_cast<LWSceneInfo *>(global(LWSCENEINFO_GLOBAL, GFUSE_TRANSIENT));
    g.render_memory =
        static_cast<LWGlobalPool *>(global(LWGLOBALPOOL_RENDER_GLOBAL, GFUSE_TRANSIENT));
    g.image_list = static_cast<LWImageList *>(global(LWIMAGELIST_GLOBAL, GFUSE_TRANSIENT));
    g.surface_funcs =
        static_cast<LWSurfaceFuncs *>(global(LWSURFACEFUNCS_GLOBAL, GFUSE_TRANSIENT));
    g.backdrop_info =
        static_cast<LWBackdropInfo *>(global(LWBACKDROPINFO_GLOBAL, GFUSE_TRANSIENT));
}

bool globals_present() {
    const ShaderGlobals &g = shader_globals;
    return g.item_info && g.light_info && g.object_info && g.scene_info && g.render_memory &&
           g.image_list && g.surface_funcs && g.backdrop_info;
}

}  // namespace ormel
