// Runs the dirt-render program as a user does and checks the images and messages it gives.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "render/png_image.h"

namespace {

struct RunResult {
    int status = -1;
    std::string output;  // stdout and stderr together
};

// The full path of the maths library: a shared library without `_mod_descrip`.
std::string libm_path() {
    Dl_info info{};
    double (*cosine)(double) = std::cos;
    return dladdr(reinterpret_cast<void *>(cosine), &info) && info.dli_fname ? info.dli_fname : "";
}

RunResult run(const std::string &args) {
    const std::string command = std::string(DIRT_RENDER_PATH) + " " + args + " 2>&1";
    RunResult r;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, pipe)) r.output.append(buf, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class DirtRender : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/dirt-render-test-XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    void write(const std::string &name, const std::string &text) const { std::ofstream(path(name)) << text; }

    render::RgbImage image(const std::string &name) const {
        render::RgbImage img;
        std::string error;
        EXPECT_TRUE(render::read_png(path(name), img, &error)) << error;
        return img;
    }

    std::string dir_;
};

// The demo scene, small: enough pixels to see crevices, fast under sanitizers.
const char *const kSmall = "--width 80 --height 50 --samples 1 -q";

double luminance(const float *p) {
    return 0.2126 * static_cast<double>(p[0]) + 0.7152 * static_cast<double>(p[1]) + 0.0722 * static_cast<double>(p[2]);
}

TEST_F(DirtRender, CrevicePixelIsDarkerThanOpenFloor) {
    // Looking straight down at a box on a floor: image x = world x, image up = world z.
    write("box.json", R"({
      "camera": {"position": [0, 10, 0], "look_at": [0, 0, 0.0001], "fov": 33.398488467},
      "lights": [{"type": "distant", "direction": [0, -1, 0]}],
      "objects": [{"name": "Floor", "primitives": [{"type": "floor", "size": 8, "cells": 8, "surface": "Floor"}]},
                  {"name": "Box", "primitives": [{"type": "box", "min": [-0.5, 0, -0.5], "max": [0.5, 1, 0.5], "surface": "Box"}]}],
      "surfaces": [{"object": "Floor", "name": "Floor", "diffuse": 1.0, "dirt": {"sample_count": 12, "dirt_width": 0.5}}],
      "render": {"width": 120, "height": 120, "samples": 1}
    })");
    const RunResult r = run(path("box.json") + " -q -o " + path("box.png"));
    ASSERT_EQ(r.status, 0) << r.output;
    const render::RgbImage img = image("box.png");
    // World x = 0.65 (0.15 m from the box's side) against x = 2.7 (open floor), both at z = 0.
    const double crevice = luminance(img.pixel(73, 60));
    const double open = luminance(img.pixel(114, 60));
    EXPECT_LT(crevice, open - 0.05);
}

TEST_F(DirtRender, AmountZeroEqualsRenderWithoutShader) {
    const RunResult r = run(std::string(kSmall) + " --compare --set dirt_amount=0 -o " + path("cmp.png"));
    ASSERT_EQ(r.status, 0) << r.output;
    const render::RgbImage img = image("cmp.png");
    ASSERT_EQ(img.width, 160);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < 80; ++x)
            for (int k = 0; k < 3; ++k) ASSERT_EQ(img.pixel(x, y)[k], img.pixel(80 + x, y)[k]) << x << "," << y;

    // With the default amount the two halves differ.
    const RunResult d = run(std::string(kSmall) + " --compare -o " + path("cmp2.png"));
    ASSERT_EQ(d.status, 0) << d.output;
    const render::RgbImage dirty = image("cmp2.png");
    int darker = 0;
    for (int y = 0; y < dirty.height; ++y)
        for (int x = 0; x < 80; ++x) darker += luminance(dirty.pixel(x, y)) < luminance(dirty.pixel(80 + x, y)) - 0.02;
    EXPECT_GT(darker, 40);
}

TEST_F(DirtRender, OneAndFourThreadsGiveIdenticalImages) {
    ASSERT_EQ(run(std::string(kSmall) + " --threads 1 -o " + path("t1.png")).status, 0);
    ASSERT_EQ(run(std::string(kSmall) + " --threads 4 -o " + path("t4.png")).status, 0);
    const render::RgbImage a = image("t1.png"), b = image("t4.png");
    EXPECT_EQ(a.rgb, b.rgb);
}

TEST_F(DirtRender, SavedSceneLoadsAndRendersIdentically) {
    const RunResult saved = run(std::string(kSmall) + " --set dirt_width=0.7 --set use_color=0 --save-scene " +
                          path("scene.json") + " -o " + path("a.png"));
    ASSERT_EQ(saved.status, 0) << saved.output;
    std::ifstream in(path("scene.json"));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("dirt_state"), std::string::npos);
    const RunResult loaded = run(path("scene.json") + " " + kSmall + " -o " + path("b.png"));
    ASSERT_EQ(loaded.status, 0) << loaded.output;
    EXPECT_EQ(image("a.png").rgb, image("b.png").rgb);
}

TEST_F(DirtRender, LightWaveObjectRenders) {
    const std::string lwo = "/usr/share/assimp/models/LWO/LWO2/box_2uv_1unused.lwo";
    if (access(lwo.c_str(), R_OK) != 0) GTEST_SKIP() << "assimp-testmodels is not installed";
    const RunResult r = run(lwo + " --width 48 --height 32 --samples 1 -o " + path("lwo.png"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("spots shaded"), std::string::npos);
    const render::RgbImage img = image("lwo.png");
    EXPECT_EQ(img.width, 48);
}

TEST_F(DirtRender, FramesWriteOneImageEach) {
    const RunResult r = run(std::string("--width 16 --height 10 --samples 1 -q --frames 2-3 -o ") + path("f.png"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(access(path("f_0002.png").c_str(), R_OK), 0);
    EXPECT_EQ(access(path("f_0003.png").c_str(), R_OK), 0);
}

TEST_F(DirtRender, ErrorsExitNonZeroWithOneLineMessages) {
    write("bad.json", "{ \"objects\": [ ");
    write("unknown.json", R"({"objects": [{"name": "A", "primitives": [{"type": "box"}]}],
        "surfaces": [{"object": "A", "name": "Default", "dirt": {"dirt_widht": 1}}]})");
    write("wrongtype.json", R"({"objects": [{"name": "A", "primitives": [{"type": "box"}]}],
        "surfaces": [{"object": "A", "name": "Default", "dirt": {"sample_count": "six"}}]})");
    write("mesh.obj", "this is not a mesh\n");
    write("badmesh.json", "{\"objects\": [{\"name\": \"A\", \"file\": \"mesh.obj\"}]}");
    write("notaplugin.p", "plain text");
    const struct {
        std::string args, message;
    } cases[] = {
        {path("missing.json"), "cannot read"},
        {path("bad.json"), "malformed JSON"},
        {path("unknown.json"), "unknown setting \"dirt_widht\""},
        {path("wrongtype.json"), "sample_count must be a whole number"},
        {path("badmesh.json"), "cannot read mesh"},
        {"--set sample_scale=[1]", "sample_scale must be a number"},
        {"--plugin " + path("none.p"), "cannot load plug-in file"},
        {"--plugin " + path("notaplugin.p"), "cannot load plug-in file"},
        {"--plugin " + libm_path(), "not a plug-in"},
        {"--plugin libm.so.6", "cannot load plug-in file libm.so.6"},
        {"--width 0", "--width needs a whole number"},
    };
    for (const auto &c : cases) {
        const RunResult r = run(c.args + " -q -o " + path("x.png"));
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << ": " << r.output;
        // One line of error; usage mistakes add a pointer to --help.
        const std::string first = r.output.substr(0, r.output.find('\n'));
        EXPECT_EQ(first.rfind("dirt-render: error: ", 0), 0u) << r.output;
    }
}

TEST_F(DirtRender, HelpListsEveryOption) {
    const RunResult r = run("--help");
    EXPECT_EQ(r.status, 0);
    for (const char *option : {"--output", "--width", "--height", "--samples", "--threads", "--frames", "--compare",
                               "--set", "--save-scene", "--plugin", "--quiet", "--help"})
        EXPECT_NE(r.output.find(option), std::string::npos) << option;
}

}  // namespace
