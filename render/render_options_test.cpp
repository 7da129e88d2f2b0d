#include "render/render_options.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool parse(std::vector<const char *> args, render::RenderOptions &o, std::string &error) {
    args.insert(args.begin(), "dirt-render");
    return render::parse_render_options(static_cast<int>(args.size()), args.data(), o, &error);
}

// Every option --help shows ("  -o, --output FILE", "  --compare"): its long name, and
// whether it takes a value.
std::vector<std::pair<std::string, bool>> listed_options() {
    std::vector<std::pair<std::string, bool>> out;
    std::istringstream help(render::render_usage());
    for (std::string line; std::getline(help, line);) {
        if (line.rfind("  -", 0) != 0) continue;
        std::istringstream words(line);
        std::string name, value;
        words >> name;
        if (name.back() == ',') words >> name;
        words >> value;
        out.emplace_back(name, !value.empty() && (value[0] == '[' || std::isupper(static_cast<unsigned char>(value[0])) ||
                                                  value == "0|1"));
    }
    return out;
}

TEST(RenderOptions, EveryListedOptionParsesAndOneWithoutItsValueIsNamedInTheMistake) {
    const auto options = listed_options();
    EXPECT_GE(options.size(), 36u);
    for (const auto &[name, takes_value] : options) {
        render::RenderOptions o;
        std::string error;
        if (takes_value) {
            EXPECT_FALSE(parse({name.c_str()}, o, error)) << name;
            EXPECT_EQ(error.rfind(name + " needs", 0), 0u) << error;
        } else {
            EXPECT_TRUE(parse({name.c_str()}, o, error)) << name << ": " << error;
        }
    }
}

TEST(RenderOptions, ValuesAreHeldToTheirRangesAndMisspeltNamesGetTheNearest) {
    render::RenderOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--view", "-30,20", "--region", "0,0,16,8", "--frames", "-7--3", "--set", "Box:dirt_width=1"}, o,
                      error))
        << error;
    EXPECT_EQ(o.camera.azimuth, -30.0);
    EXPECT_EQ(o.region[2], 16);
    EXPECT_EQ(o.first_frame, -7);
    for (std::vector<const char *> bad : {std::vector<const char *>{"--view", "0,91"}, {"--region", "4,0,4,8"},
                                          {"--region", "0,0,1.5,8"}, {"--background", "0,0"}, {"--fov", "180"},
                                          {"--turntable", "0"}, {"--set", "Box:dirt_widht=1"}, {"--ground-dirt", "2"}})
        EXPECT_FALSE(parse(bad, o, error)) << bad[0] << " " << bad[1];
    EXPECT_FALSE(parse({"--turntabel", "4"}, o, error));
    EXPECT_EQ(error, "unknown option --turntabel (did you mean --turntable?) (see --help)");
}

}  // namespace
