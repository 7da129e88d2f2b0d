// The shared texture context and the instance channel group, against a fake host.
#include "params/param_library.h"

#include <gtest/gtest.h>

#include <cstring>

#include "params/plugin_data_param.h"
#include "tests/support/fake_param_host.h"

namespace ormel {
namespace {

using fake::ParamHost;

struct InputRow {
    const char *name;
    double start, end;
    int type, flags, item_type;
};

constexpr double kHalfPi = 1.5707963267948966;

const InputRow kInputs[36] = {
    {"Bump", 0.0, 1.0, 2, 0x4, -1},
    {"Slope", 0.0, 1.0, 2, 0xC, -1},
    {"Incidence Angle", 0.0, kHalfPi, 5, 0xC, -1},
    {"Light Incidence", 0.0, kHalfPi, 5, 0xC, 1},
    {"Distance to Camera", 0.0, 10.0, 3, 0x4, 2},
    {"Distance to Object", 0.0, 10.0, 3, 0x4, 0},
    {"X Distance to Object", 0.0, 10.0, 3, 0x4, 0},
    {"Y Distance to Object", 0.0, 10.0, 3, 0x4, 0},
    {"Z Distance to Object", 0.0, 10.0, 3, 0x4, 0},
    {"Weight Map", -1.0, 1.0, 4, 0x4, 4},
    {"Surface Thickness", 0.0, 1.0, 3, 0x4, -1},
    {"Object X Axis", -kHalfPi, kHalfPi, 5, 0xC, 0},
    {"Object Y Axis", -kHalfPi, kHalfPi, 5, 0xC, 0},
    {"Object Z Axis", -kHalfPi, kHalfPi, 5, 0xC, 0},
    {"World X Axis", -kHalfPi, kHalfPi, 5, 0xC, -1},
    {"World Y Axis", -kHalfPi, kHalfPi, 5, 0xC, -1},
    {"World Z Axis", -kHalfPi, kHalfPi, 5, 0xC, -1},
    {"XY Distance to Object", 0.0, 10.0, 3, 0x4, 0},
    {"YZ Distance to Object", 0.0, 10.0, 3, 0x4, 0},
    {"ZX Distance to Object", 0.0, 10.0, 3, 0x4, 0},
    {"Light Specular Incidence", 0.0, 1.0, 2, 0xC, 1},
    {"Light Phong Incidence", 0.0, 1.0, 2, 0xC, 1},
    {"Gradient Ambient", 0.0, 1.0, 2, 0x4, -1},
    {"Gradient Diffuse", 0.0, 1.0, 2, 0x4, -1},
    {"Gradient Specular", 0.0, 1.0, 2, 0x4, -1},
    {"Gradient Phong", 0.0, 1.0, 2, 0x4, -1},
    {"Ambient Occlusion (Preview)", 0.0, 1.0, 2, 0xC, -1},
    {"Ambient Occlusion (Low)", 0.0, 1.0, 2, 0xC, -1},
    {"Ambient Occlusion (Medium)", 0.0, 1.0, 2, 0xC, -1},
    {"Ambient Occlusion (High)", 0.0, 1.0, 2, 0xC, -1},
    {"Ambient Occlusion (Very High)", 0.0, 1.0, 2, 0xC, -1},
    {"Half Occlusion (Preview)", 0.0, 1.0, 2, 0xC, -1},
    {"Half Occlusion (Low)", 0.0, 1.0, 2, 0xC, -1},
    {"Half Occlusion (Medium)", 0.0, 1.0, 2, 0xC, -1},
    {"Half Occlusion (High)", 0.0, 1.0, 2, 0xC, -1},
    {"Half Occlusion (Very High)", 0.0, 1.0, 2, 0xC, -1},
};

TEST(SharedTextureContext, CreatedOnceWithTheThirtySixInputsInOrder) {
    ParamHost host;
    LWTxtrContextID first = shared_texture_context();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(shared_texture_context(), first);
    EXPECT_EQ(host.contexts_created, 1);

    ASSERT_EQ(host.context_params.size(), 36u);
    for (size_t i = 0; i < 36; ++i) {
        const LWTxtrParamDesc &got = host.context_params[i];
        const InputRow &want = kInputs[i];
        ASSERT_NE(got.name, nullptr) << i;
        EXPECT_STREQ(got.name, want.name) << i;
        EXPECT_EQ(got.start, want.start) << want.name;
        EXPECT_EQ(got.end, want.end) << want.name;
        EXPECT_EQ(got.type, want.type) << want.name;
        EXPECT_EQ(got.flags, want.flags) << want.name;
        EXPECT_EQ(got.itemType, want.item_type) << want.name;
        EXPECT_EQ(got.itemID, nullptr) << want.name;
        EXPECT_EQ(got.itemName, nullptr) << want.name;
    }
}

TEST(SharedTextureContext, NullWithoutTextureServiceAndTriedAgainLater) {
    ParamHost host;
    host.host.withhold(LWTEXTUREFUNCS_GLOBAL);
    EXPECT_EQ(shared_texture_context(), nullptr);
    EXPECT_EQ(host.contexts_created, 0);
    host.host.restore(LWTEXTUREFUNCS_GLOBAL);
    EXPECT_NE(shared_texture_context(), nullptr);
    EXPECT_EQ(host.contexts_created, 1);
}

TEST(CreateInstanceGroup, AtRootWithoutSurfaceElseUnderSurfaceGroup) {
    ParamHost host;
    LWSurfaceID surface = host.add_surface("Wall");
    LWChanGroupID root = create_instance_group("Ormel_Dirt", nullptr);
    LWChanGroupID under = create_instance_group("Ormel_Dirt", surface);
    ASSERT_NE(root, nullptr);
    ASSERT_NE(under, nullptr);
    EXPECT_EQ(ParamHost::group(root)->name, "Ormel_Dirt");
    EXPECT_EQ(ParamHost::group(root)->parent, nullptr);
    EXPECT_EQ(ParamHost::group(under)->name, "Ormel_Dirt");
    EXPECT_EQ(ParamHost::group(under)->parent, host.surface_funcs.chanGrp(surface));
}

TEST(ParamLibraryReady, NeedsEveryServiceCalledWithoutATestButNotTextures) {
    const char *const required[] = {LWVPARMFUNCS_GLOBAL, LWENVELOPEFUNCS_GLOBAL,
                                    LWSURFACEFUNCS_GLOBAL, LWIMAGELIST_GLOBAL,
                                    LWCHANNELINFO_GLOBAL, LWOBJECTFUNCS_GLOBAL};
    for (const char *missing : required) {
        ParamHost host;
        host.host.withhold(missing);
        EXPECT_FALSE(param_library_ready()) << missing;
    }
    ParamHost host;
    host.host.withhold(LWTEXTUREFUNCS_GLOBAL);
    EXPECT_TRUE(param_library_ready());
}

TEST(ParamLibraryReady, LooksServicesUpOnlyOnce) {
    ParamHost host;
    ASSERT_TRUE(param_library_ready());
    host.host.clear_lookups();
    ASSERT_TRUE(param_library_ready());
    shared_texture_context();
    create_instance_group("g", nullptr);
    PluginDataParam param("p", LWVP_PERCENT, LWVPDT_PERCENT, nullptr, "Ormel_Dirt", nullptr);
    // The texture context was made on the first request above and not again.
    EXPECT_EQ(host.contexts_created, 1);
    for (const refhost::GlobalLookup &l : host.host.lookups())
        EXPECT_EQ(l.name, LWTEXTUREFUNCS_GLOBAL) << "only the context creation looks up";
}

}  // namespace
}  // namespace ormel
