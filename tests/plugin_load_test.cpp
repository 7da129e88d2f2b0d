// Loads the built plug-in file through the reference host, as LightWave does.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cmath>

#include <cstring>
#include <string>

#include "host/lwsdk.h"
#include "refhost/host.h"
#include "refhost/plugin.h"
#include "refhost/shader_server.h"

namespace {

// The eight services the shader binds at activation, as non-null stand-ins.
const char *const kShaderServices[] = {
    LWITEMINFO_GLOBAL,          LWLIGHTINFO_GLOBAL, LWOBJECTINFO_GLOBAL,   LWSCENEINFO_GLOBAL,
    LWGLOBALPOOL_RENDER_GLOBAL, LWIMAGELIST_GLOBAL, LWSURFACEFUNCS_GLOBAL, LWBACKDROPINFO_GLOBAL,
};

class PluginLoad : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *name : kShaderServices) host.provide(name, &dummy);
        ASSERT_TRUE(plugin.load(ORMEL_PLUGIN_PATH)) << plugin.error();
    }

    refhost::Host host;
    refhost::PluginFile plugin;
    char dummy[256] = {};
};

TEST_F(PluginLoad, DescriptorAndServerTable) {
    const ModuleDescriptor *d = plugin.descriptor();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->sysSync, 0x04121994u);
    EXPECT_EQ(d->sysVersion, 3u);
    EXPECT_EQ(d->sysMachine, 0x300u);
    const ServerRecord *s = d->serverDefs;
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s[0].className, "ShaderHandler");
    EXPECT_STREQ(s[0].name, "Ormel_Dirt");
    EXPECT_EQ(s[0].tagInfo, nullptr);
    EXPECT_STREQ(s[1].className, "ShaderInterface");
    EXPECT_STREQ(s[1].name, "Ormel_Dirt");
    EXPECT_EQ(s[1].tagInfo, nullptr);
    EXPECT_EQ(s[2].className, nullptr);
    EXPECT_EQ(s[2].name, nullptr);
    EXPECT_EQ(s[2].activate, nullptr);
    EXPECT_EQ(s[2].tagInfo, nullptr);
    EXPECT_EQ(plugin.find_server("ShaderHandler", "Other"), nullptr);
}

TEST_F(PluginLoad, WrongVersionsLeaveRecordsUntouched) {
    for (int version : {3, 5}) {
        refhost::ShaderServer r;
        unsigned char before[sizeof(LWShaderHandler)];
        std::memcpy(before, &r.handler, sizeof before);
        EXPECT_EQ(plugin.activate(host, "ShaderHandler", "Ormel_Dirt", version, &r.handler),
                  AFUNC_BADVERSION);
        EXPECT_EQ(std::memcmp(before, &r.handler, sizeof before), 0);
        EXPECT_EQ(r.inst.create, nullptr);
        EXPECT_EQ(r.rend.init, nullptr);

        LWInterface iface{};
        EXPECT_EQ(plugin.activate(host, "ShaderInterface", "Ormel_Dirt", version, &iface),
                  AFUNC_BADVERSION);
        EXPECT_EQ(iface.options, nullptr);
    }
    EXPECT_TRUE(host.lookups().empty());
}

TEST_F(PluginLoad, ShaderActivationFillsEverySlotAndBindsServicesInOrder) {
    refhost::ShaderServer r;
    void *priv = &r;
    r.inst.priv = priv;
    ASSERT_EQ(plugin.activate(host, "ShaderHandler", "Ormel_Dirt", 4, &r.handler), AFUNC_OK);
    EXPECT_EQ(r.inst.priv, priv);
    EXPECT_NE(r.inst.create, nullptr);
    EXPECT_NE(r.inst.destroy, nullptr);
    EXPECT_NE(r.inst.copy, nullptr);
    EXPECT_NE(r.inst.load, nullptr);
    EXPECT_NE(r.inst.save, nullptr);
    EXPECT_NE(r.inst.descln, nullptr);
    EXPECT_NE(r.item.useItems, nullptr);
    EXPECT_NE(r.item.changeID, nullptr);
    EXPECT_NE(r.rend.init, nullptr);
    EXPECT_NE(r.rend.cleanup, nullptr);
    EXPECT_NE(r.rend.newTime, nullptr);
    EXPECT_NE(r.handler.evaluate, nullptr);
    ASSERT_NE(r.handler.flags, nullptr);
    EXPECT_EQ(r.handler.flags(nullptr), 0x43Bu);

    const auto lookups = host.lookups();
    ASSERT_EQ(lookups.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(lookups[i].name, kShaderServices[i]);
        EXPECT_EQ(lookups[i].use_mode, GFUSE_TRANSIENT);
    }
}

TEST_F(PluginLoad, HandlerWithoutItemRecord) {
    refhost::ShaderServer r;
    r.handler.item = nullptr;
    ASSERT_EQ(plugin.activate(host, "ShaderHandler", "Ormel_Dirt", 4, &r.handler), AFUNC_OK);
    EXPECT_NE(r.inst.create, nullptr);
    EXPECT_NE(r.rend.newTime, nullptr);
    EXPECT_NE(r.handler.evaluate, nullptr);
}

TEST_F(PluginLoad, MissingServiceStillActivates) {
    host.withhold(LWBACKDROPINFO_GLOBAL);
    refhost::ShaderServer r;
    EXPECT_EQ(plugin.activate(host, "ShaderHandler", "Ormel_Dirt", 4, &r.handler), AFUNC_OK);
    const auto lookups = host.lookups();
    ASSERT_EQ(lookups.size(), 8u);
    EXPECT_FALSE(lookups[7].answered);
    EXPECT_TRUE(lookups[6].answered);
}

TEST_F(PluginLoad, InterfaceActivationWithoutPanelService) {
    LWInterface iface{};
    int token = 0;
    iface.inst = &token;
    iface.options = reinterpret_cast<LWError (*)(LWInstance)>(1);
    iface.command = reinterpret_cast<LWError (*)(LWInstance, const char *)>(1);
    iface.panel = reinterpret_cast<LWXPanelID>(1);
    EXPECT_EQ(plugin.activate(host, "ShaderInterface", "Ormel_Dirt", 4, &iface), AFUNC_OK);
    EXPECT_EQ(iface.panel, nullptr);
    EXPECT_EQ(iface.options, nullptr);
    EXPECT_EQ(iface.command, nullptr);
    EXPECT_EQ(host.lookup_count(LWXPANELFUNCS_GLOBAL), 1);
}

// The full path of a system library that every process has loaded: one without
// `_mod_descrip`.
std::string system_library_path() {
#ifdef _WIN32
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(GetModuleHandleA("kernel32.dll"), path, sizeof path);
    return std::string(path, n);
#else
    Dl_info info{};
    double (*cosine)(double) = std::cos;
    return dladdr(reinterpret_cast<void *>(cosine), &info) && info.dli_fname ? info.dli_fname : "";
#endif
}

TEST(PluginFileLoading, RejectsMissingAndNonPluginFiles) {
    refhost::PluginFile plugin;
    EXPECT_FALSE(plugin.load("/nonexistent/Ormel_Dirt.p"));
    EXPECT_NE(plugin.error().find("cannot load"), std::string::npos);
    const std::string library = system_library_path();
    ASSERT_FALSE(library.empty());
    EXPECT_FALSE(plugin.load(library));
    EXPECT_NE(plugin.error().find("not a plug-in"), std::string::npos) << plugin.error();
    // A bare name is a file in the working folder, not a library on the search path.
    const std::string base = library.substr(library.find_last_of("/\\") + 1);
    EXPECT_FALSE(plugin.load(base));
    EXPECT_NE(plugin.error().find("cannot load"), std::string::npos) << plugin.error();
    EXPECT_FALSE(plugin.loaded());
}

TEST(PluginFileLoading, LoadUnloadCycles) {
    refhost::Host host;
    for (int i = 0; i < 3; ++i) {
        refhost::PluginFile plugin;
        ASSERT_TRUE(plugin.load(ORMEL_PLUGIN_PATH)) << plugin.error();
        refhost::ShaderServer r;
        EXPECT_EQ(plugin.activate(host, "ShaderHandler", "Ormel_Dirt", 4, &r.handler), AFUNC_OK);
    }
}

}  // namespace
