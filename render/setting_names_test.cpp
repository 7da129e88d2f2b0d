#include "render/setting_names.h"

#include <gtest/gtest.h>

namespace render {
namespace {

TEST(SettingNames, SavedStateAndParameterNamesReachThePanelNames) {
    EXPECT_EQ(panel_setting_name("dirt_bump"), "bump");
    EXPECT_EQ(panel_setting_name("dirt_diffuse"), "dirt_Kd");
    EXPECT_EQ(panel_setting_name("dirt_specular"), "dirt_Ks");
    EXPECT_EQ(panel_setting_name("dirt_width"), "dirt_width");
    EXPECT_EQ(setting_kind("dirt_bump"), SettingKind::PercentEnv);
    EXPECT_EQ(setting_kind("bump"), SettingKind::PercentEnv);
    EXPECT_EQ(setting_kind("Dirt_Width"), SettingKind::Unknown) << "names are exact";
    EXPECT_EQ(setting_names().size(), 22u);
    for (const std::string &name : setting_names()) EXPECT_NE(setting_kind(name), SettingKind::Unknown) << name;
}

TEST(SettingNames, SuggestionsAreTheNearestLikelySlips) {
    EXPECT_EQ(nearest_names("dirt_widht", setting_names()), std::vector<std::string>{"dirt_width"});
    EXPECT_EQ(nearest_names("width", setting_names()).front(), "dirt_width");
    EXPECT_EQ(did_you_mean("use_kd", setting_names()), " (did you mean use_Kd?)") << "case is forgiven";
    EXPECT_EQ(did_you_mean("colour", setting_names()), "");
    // Two letters swapped are one slip, in short names too.
    EXPECT_EQ(did_you_mean("widht", {"width", "height", "samples"}), " (did you mean width?)");
    const std::vector<std::string> inputs{"Ambient Occlusion (Low)", "Ambient Occlusion (High)", "Light Incidence"};
    EXPECT_EQ(nearest_names("Ambient Occlusion Low", inputs).front(), "Ambient Occlusion (Low)");
    EXPECT_EQ(did_you_mean("x", {"y", "z"}), "");
}

}  // namespace
}  // namespace render
