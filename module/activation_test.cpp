// Activation linked directly, to observe the module-wide handles it binds.
#include "module/activation.h"

#include <gtest/gtest.h>

#include "module/globals.h"
#include "refhost/host.h"

namespace ormel {
namespace {

const char *const kServices[] = {
    LWITEMINFO_GLOBAL,          LWLIGHTINFO_GLOBAL, LWOBJECTINFO_GLOBAL,   LWSCENEINFO_GLOBAL,
    LWGLOBALPOOL_RENDER_GLOBAL, LWIMAGELIST_GLOBAL, LWSURFACEFUNCS_GLOBAL, LWBACKDROPINFO_GLOBAL,
};

struct Records {
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWRenderFuncs rend{};
    LWShaderHandler handler{&inst, &item, &rend, nullptr, nullptr};
};

TEST(Activation, GlobalsPresentOnlyWithAllEight) {
    char first[8], second[8];
    {
        refhost::Host host;
        for (const char *name : kServices) host.provide(name, first);
        Records r;
        ASSERT_EQ(shader_activate(4, host.global_func(), &r.handler, nullptr), AFUNC_OK);
        EXPECT_TRUE(globals_present());
        EXPECT_EQ(shader_globals.global, host.global_func());
        EXPECT_EQ(static_cast<void *>(shader_globals.backdrop_info), first);

        // A second activation keeps the handles of the second.
        for (const char *name : kServices) host.provide(name, second);
        ASSERT_EQ(shader_activate(4, host.global_func(), &r.handler, nullptr), AFUNC_OK);
        EXPECT_EQ(static_cast<void *>(shader_globals.item_info), second);
        EXPECT_EQ(static_cast<void *>(shader_globals.backdrop_info), second);

        for (const char *missing : kServices) {
            host.withhold(missing);
            ASSERT_EQ(shader_activate(4, host.global_func(), &r.handler, nullptr), AFUNC_OK);
            EXPECT_FALSE(globals_present()) << missing;
            host.restore(missing);
        }
    }
    shader_globals = ShaderGlobals();
}

}  // namespace
}  // namespace ormel
