#include "bake/bake_options.h"

#include <gtest/gtest.h>

#include "bake/bake_run.h"

namespace bake {
namespace {

TEST(BakeOptions, TakesItsOwnOptionsAndLeavesTheRest) {
    BakeOptions o;
    std::string error;
    std::vector<std::string> args{"model.lwo", "--bake", "texture", "--bake-size", "64", "--bake-padding", "0", "--bake-channel", "color",
                                  "-o", "x.png"};
    ASSERT_TRUE(take_bake_options(args, o, &error)) << error;
    EXPECT_EQ(args, (std::vector<std::string>{"model.lwo", "-o", "x.png"}));
    EXPECT_EQ(o.mode, BakeMode::Texture);
    EXPECT_EQ(o.channel, BakeChannel::Color);
    EXPECT_EQ(o.size, 64);
    EXPECT_EQ(o.padding, 0);
}

TEST(BakeOptions, RefusesBadValuesInOneLine) {
    for (const std::vector<std::string> &bad :
         {std::vector<std::string>{"--bake", "pixels"}, {"--bake"}, {"--bake-size", "0"}, {"--bake-size", "16385"},
          {"--bake-padding", "-1"}, {"--bake-channel", "alpha"}, {"--bake-size", "12x"}}) {
        std::vector<std::string> args = bad;
        BakeOptions o;
        std::string error;
        EXPECT_FALSE(take_bake_options(args, o, &error)) << bad[0];
        EXPECT_NE(error.find(bad[0]), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(BakeOptions, FileNamesTakeObjectAndFrame) {
    EXPECT_EQ(bake_file_name("out.ply", "Box", false, 3, false), "out.ply");
    EXPECT_EQ(bake_file_name("out.ply", "Box", true, 3, false), "out_Box.ply");
    EXPECT_EQ(bake_file_name("d/{object}_##.png", "a/b", true, 3, true), "d/a_b_03.png");
    EXPECT_EQ(bake_file_name("out.glb", "Box", true, 7, true), "out_Box_0007.glb");
    EXPECT_EQ(default_bake_outputs(BakeMode::Vertex, "/x/hierarchy.lwo"),
              (std::vector<std::string>{"hierarchy-dirt.ply", "hierarchy-dirt.glb"}));
}

}  // namespace
}  // namespace bake
