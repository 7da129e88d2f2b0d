#include "render/output_plan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace render {
namespace {

class OutputPlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/output-plan-test-XXXXXX";
        dir_ = mkdtemp(tmpl);
        char cwd[4096];
        cwd_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
        mkdir(path("d").c_str(), 0777);
        std::ofstream(path("scene.json")) << "{}";
        std::ofstream(path("mesh.obj")) << "v 0 0 0";
        std::ofstream(path("tex.png")) << "png";
        std::ofstream(path("old.png")) << "old";
        symlink("mesh.obj", path("to_mesh.obj").c_str());
        symlink("old.png", path("to_old.png").c_str());
        symlink("missing.png", path("dangling.png").c_str());
    }
    void TearDown() override {
        EXPECT_EQ(chdir(cwd_.c_str()), 0);
        std::system(("rm -rf " + dir_).c_str());
    }
    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    // The plan's refusal, or "" when it accepts.
    std::string refusal(const std::string &image, const std::string &mask = "", const std::string &saved = "",
                        int first = 0, int last = 0) {
        OutputPlan plan;
        plan.add_input(path("scene.json"), "the scene file", true);
        plan.add_input(path("d/../mesh.obj"), "the object file");
        plan.add_input(path("tex.png"), "the image file");
        OutputNames names{image, mask, saved, first, last, ""};
        std::string error = "accepted";
        if (plan.resolve(names, &error)) return "";
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        return error;
    }

    std::string dir_, cwd_;
};

TEST_F(OutputPlanTest, OneFileInAnySpellingIsOneFile) {
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    EXPECT_EQ(refusal("out.png"), "");
    for (const std::string &mask :
         {std::string("./out.png"), std::string("d/../out.png"), path("out.png"), path("d/./../out.png")})
        EXPECT_NE(refusal("out.png", mask).find("would both be written to"), std::string::npos) << mask;
    EXPECT_NE(refusal("old.png", "to_old.png").find("would both be written"), std::string::npos) << "a symbolic link";
    // Frames whose names meet, and the saved scene on a frame.
    EXPECT_NE(refusal("f_#.png", "f_##.png", "", 9, 10).find("the image of frame 10 and the mask of frame 10"),
              std::string::npos);
    EXPECT_NE(refusal("a_#.png", "a_1#.png", "", 1, 11).find("the mask of frame 1 and the image of frame 11"),
              std::string::npos);
    EXPECT_EQ(refusal("a_#.png", "a_1#.png", "", 1, 10), "");
    EXPECT_NE(refusal("g.png", "", "g_0002.png", 1, 3).find("the image of frame 2 and the saved scene"),
              std::string::npos);
    EXPECT_NE(refusal("g_#.png", "", "g_-2.png", -3, -1).find("frame -2"), std::string::npos);
}

TEST_F(OutputPlanTest, InputsAreNeverOutputsSaveTheSceneForTheSavedScene) {
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    EXPECT_NE(refusal("out.png", "", "mesh.obj").find("it is the object file"), std::string::npos);
    EXPECT_NE(refusal("out.png", "", "to_mesh.obj").find("it is the object file"), std::string::npos);
    EXPECT_NE(refusal("out.png", "d/../tex.png").find("it is the image file"), std::string::npos);
    EXPECT_NE(refusal("scene.json").find("it is the scene file"), std::string::npos);
    EXPECT_EQ(refusal("out.png", "", "./scene.json"), "");
    // A hard link is the same file under another name.
    ASSERT_EQ(link(path("mesh.obj").c_str(), path("hard.obj").c_str()), 0);
    EXPECT_NE(refusal("out.png", "", "hard.obj").find("it is the object file"), std::string::npos);
}

TEST_F(OutputPlanTest, WhatCannotBeWrittenIsRefusedAndLinksLeadToTheirFiles) {
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    EXPECT_NE(refusal("missing/out.png").find("the folder missing does not exist"), std::string::npos);
    EXPECT_NE(refusal("old.png/out.png").find("is not a folder"), std::string::npos);
    EXPECT_NE(refusal("d").find("it is a folder"), std::string::npos);
    mkdir(path("f_0002.png").c_str(), 0777);
    EXPECT_NE(refusal("f.png", "", "", 1, 2).find("cannot write f_0002.png: it is a folder"), std::string::npos);
    EXPECT_NE(refusal("dangling.png").find("symbolic link to a missing file"), std::string::npos);
    EXPECT_NE(refusal("f" + std::string(300, '#') + ".png").find("File name too long"), std::string::npos);

    OutputPlan plan;
    ASSERT_TRUE(plan.resolve({"to_old.png", "d/m_#.png", "", 4, 5, ""}, nullptr));
    EXPECT_EQ(plan.image(4).name, "to_old_0004.png");
    EXPECT_EQ(plan.mask(5).path, "d/m_5.png");
    OutputPlan linked;
    ASSERT_TRUE(linked.resolve({"to_old.png", "", "", 0, 0, ""}, nullptr));
    EXPECT_EQ(linked.image(0).name, "to_old.png");
    EXPECT_EQ(linked.image(0).path, path("old.png")) << "the file replaced is the link's";
}

}  // namespace
}  // namespace render
