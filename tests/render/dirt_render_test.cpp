// Runs the dirt-render program as a user does and checks the images and messages it gives.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "render/image_output.h"
#include "render/png_image.h"
#include "tests/support/dirt_render_run.h"

namespace {

using testing_support::RunResult;

// The full path of the maths library: a shared library without `_mod_descrip`.
std::string libm_path() {
    Dl_info info{};
    double (*cosine)(double) = std::cos;
    return dladdr(reinterpret_cast<void *>(cosine), &info) && info.dli_fname ? info.dli_fname : "";
}

RunResult run(const std::string &args) { return testing_support::run_dirt_render(args); }

class DirtRender : public testing_support::ScratchFolder {};

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
                               "--set", "--save-scene", "--plugin", "--quiet", "--help", "--mask", "--depth",
                               "--no-ground", "--up", "--smoothing-angle", "--version"})
        EXPECT_NE(r.output.find(option), std::string::npos) << option;
    // An example of each form a setting's value takes.
    for (const char *example : {"dirt_width=0.3", "sample_theta=45", "sample_count=16", "use_color=1",
                                "dirt_color=0.2,0.1,0", "\"envelope\":", "\"texture\":"})
        EXPECT_NE(r.output.find(example), std::string::npos) << example;
}

// A floor under a ceiling 0.25 above it, seen from between them. With the sampling angle
// and jitter at 0 every sample ray leaves at the shader's smallest polar angle, half a
// degree, and meets the ceiling at 0.25 / cos(0.5 degrees); at a width of 0.5 and falloff 2
// the weight is 1 - ratio^2 times the amount, at every spot of the floor.
double known_weight(double amount) {
    const double ratio = 0.25 / std::cos(0.008726646259971648) / 0.5;
    return (1.0 - std::pow(ratio, 2.0)) * amount;
}

const char *const kKnownWeightScene = R"({
  "camera": {"position": [0, 0.2, 0], "look_at": [0, 0, 0.0001], "fov": 40},
  "objects": [{"name": "Floor", "primitives": [{"type": "floor", "size": 8, "cells": 4, "surface": "Floor"}]},
              {"name": "Ceiling", "primitives": [{"type": "quad", "corner": [-4, 0.25, -4], "u": [8, 0, 0], "v": [0, 0, 8], "surface": "Ceiling"}]}],
  "surfaces": [{"object": "Floor", "name": "Floor", "color": [0.6, 0.6, 0.6],
                "dirt": {"dirt_width": 0.5, "dirt_falloff": 2, "sample_theta": 0, "sample_jitter": 0, "sample_count": 4}}],
  "render": {"width": 16, "height": 12, "samples": 4}
})";

TEST_F(DirtRender, MaskPixelsAreTheWeightThePlugInApplied) {
    write("known.json", kKnownWeightScene);
    for (const double amount : {1.0, 0.5, 1.5}) {
        const RunResult r = run(path("known.json") + " -q -o " + path("b.exr") + " --depth float --mask " +
                                path("m.exr") + " --set dirt_amount=" + std::to_string(amount));
        ASSERT_EQ(r.status, 0) << r.output;
        render::RgbImage mask;
        std::string error;
        ASSERT_TRUE(render::read_exr(path("m.exr"), mask, &error)) << error;
        ASSERT_EQ(mask.width, 16);
        for (int y = 0; y < mask.height; ++y)
            for (int x = 0; x < mask.width; ++x)
                ASSERT_NEAR(mask.pixel(x, y)[0], known_weight(amount), 1e-6) << x << "," << y << " amount " << amount;
    }
    // The beauty image's diffuse moved by the same weight: from the surface's 1.0 towards the
    // dirt's 0.5, so a spot lit the same way is 1 - w / 2 as bright as without the shader.
    const RunResult c = run(path("known.json") + " -q --compare -o " + path("c.exr") + " --depth float");
    ASSERT_EQ(c.status, 0) << c.output;
    render::RgbImage both;
    std::string error;
    ASSERT_TRUE(render::read_exr(path("c.exr"), both, &error)) << error;
    EXPECT_NEAR(static_cast<double>(both.pixel(8, 6)[0]) / static_cast<double>(both.pixel(16 + 8, 6)[0]),
                1.0 - known_weight(1.0) / 2.0, 1e-6);
}

TEST_F(DirtRender, ImageFormatsAndFrameNamesFollowTheFileNames) {
    const RunResult r = run("--width 16 --height 10 --samples 1 -q --frames 2-3 -o " + path("f_####.exr") +
                            " --mask " + path("m_##.exr") + " --depth half");
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char *name : {"f_0002.exr", "f_0003.exr", "m_02.exr", "m_03.exr"})
        EXPECT_EQ(bytes(name).substr(0, 4), "v/1\x01") << name;
    if (access("/usr/bin/exrheader", X_OK) == 0) {
        const std::string command = "exrheader " + path("f_0002.exr") + " 2>&1";
        FILE *pipe = popen(command.c_str(), "r");
        std::string out;
        char buf[256];
        while (size_t n = fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
        EXPECT_EQ(pclose(pipe), 0) << out;
        EXPECT_NE(out.find("R, 16-bit floating-point"), std::string::npos) << out;
        EXPECT_NE(out.find("(0 0) - (15 9)"), std::string::npos) << out;
    }
}

TEST_F(DirtRender, OutputMistakesAreReportedBeforeRendering) {
    const struct {
        std::string args, message;
    } cases[] = {
        {"-o " + path("out.jpg"), "cannot write .jpg images"},
        {"-o " + path("missing/out.png"), "cannot write " + path("missing/out.png")},
        {"-o " + path("a.png") + " --mask " + path("missing/m.exr"), "cannot write"},
        {"-o " + path("a.png") + " --mask " + path("a.png"), "both be written"},
        {"-o " + path("a.png") + " --depth float", "depth 8 or 16"},
        {"-o " + path("a.exr") + " --depth 3", "--depth needs"},
    };
    for (const auto &c : cases) {
        const RunResult r = run(c.args + " --width 4000 --height 4000");
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << ": " << r.output;
        EXPECT_EQ(r.output.find("spots shaded"), std::string::npos) << "nothing is rendered: " << c.args;
    }
    EXPECT_NE(access(path("out.jpg").c_str(), F_OK), 0);
}

TEST_F(DirtRender, DoubtfulSettingsWarnButRender) {
    const RunResult r = run(std::string("--width 8 --height 6 --samples 1 -q -o ") + path("w.png") +
                            " --set dirt_amount=1.5 --set dirt_width=-1 --set dirt_falloff=-0.5 --set sample_count=64"
                            " --set sample_itr=8");
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char *text : {"warning: surface \"Floor\": dirt_amount is 150 %", "dirt_width is -1",
                             "dirt_falloff is -0.5", "= 512 rays per spot"})
        EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
    const RunResult none = run(std::string("--width 8 --height 6 --samples 1 -q -o ") + path("n.png") +
                               " --set sample_itr=0");
    EXPECT_NE(none.output.find("casts no rays"), std::string::npos) << none.output;
    const RunResult fine = run(std::string("--width 8 --height 6 --samples 1 -q -o ") + path("f.png"));
    EXPECT_EQ(fine.output.find("warning"), std::string::npos) << fine.output;

    write("empty.json", R"({"camera": {"position": [0, 1, -3]}})");
    const RunResult empty = run(path("empty.json") + " -q -o " + path("e.png"));
    EXPECT_EQ(empty.status, 0) << empty.output;
    EXPECT_NE(empty.output.find("no polygon to shade"), std::string::npos) << empty.output;
}

TEST_F(DirtRender, SetTakesColoursAsListsAndTheNamesSavedStatesUse) {
    const std::string base = std::string(kSmall) + " --set use_color=1 --set use_bump=1 ";
    ASSERT_EQ(run(base + "--set dirt_color=0.9,0.1,0 --set dirt_bump=0.5 -o " + path("a.png")).status, 0);
    ASSERT_EQ(run(base + "--set 'dirt_color=[0.9, 0.1, 0]' --set bump=0.5 -o " + path("b.png")).status, 0);
    ASSERT_EQ(run(base + "-o " + path("c.png")).status, 0);
    EXPECT_EQ(bytes("a.png"), bytes("b.png"));
    EXPECT_NE(bytes("a.png"), bytes("c.png"));

    const RunResult slip = run(std::string(kSmall) + " --set dirt_widht=0.2");
    EXPECT_NE(slip.output.find("unknown setting \"dirt_widht\" (did you mean dirt_width?)"), std::string::npos)
        << slip.output;
    write("input.json", R"({"objects": [{"name": "A", "primitives": [{"type": "box"}]}],
        "surfaces": [{"object": "A", "name": "Default", "dirt": {"dirt_Kd": {"value": 0.3, "texture": [
          {"type": "gradient", "input": "Ambient Occlusion Low", "keys": [[0, 1], [1, 0]]}]}}}]})");
    const RunResult input = run(path("input.json") + " -q -o " + path("i.png"));
    EXPECT_NE(input.status, 0);
    EXPECT_NE(input.output.find("did you mean Ambient Occlusion (Low)"), std::string::npos) << input.output;
}

}  // namespace

