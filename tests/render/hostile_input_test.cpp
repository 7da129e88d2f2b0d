// dirt-render given what a careless or hostile user might: files that are damaged, too
// deep, too big or not files at all; numbers that would wrap or overflow; work without
// end. It renders, or it says in one line what is wrong and exits non-zero, writing nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <string>
#include <vector>

#include "render/png_image.h"
#include "tests/support/dirt_render_run.h"

namespace {

using testing_support::run_dirt_render;
using testing_support::RunResult;

// A box on a floor with the shader on the floor; `extra` goes into the surface's settings.
std::string box_scene(const std::string &dirt = "true", const std::string &render = "") {
    return R"({"camera": {"position": [0, 3, -4], "look_at": [0, 0, 0]},
      "objects": [{"name": "Floor", "primitives": [{"type": "floor", "size": 6, "cells": 2, "surface": "Floor"}]},
                  {"name": "Box", "primitives": [{"type": "box", "surface": "Box"}]}],
      "surfaces": [{"object": "Floor", "name": "Floor", "dirt": )" +
           dirt + "}]" + (render.empty() ? "" : ", \"render\": " + render) + "}";
}

std::string deep_json(int depth) { return "{\"objects\": " + std::string(depth, '[') + std::string(depth, ']') + "}"; }

// A glTF object file whose nodes form one chain, each the only child of the one before.
std::string deep_gltf(int depth) {
    std::string nodes;
    for (int i = 0; i + 1 < depth; ++i) nodes += "{\"children\": [" + std::to_string(i + 1) + "]},";
    return R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}], "nodes": [)" + nodes + "{}]}";
}

class HostileInput : public testing_support::ScratchFolder {
protected:
    // The run fails as it should: an exit status (no signal, no time-out), one line of
    // error naming what is wrong, and no image.
    void expect_refused(const std::string &args, const std::string &message, int status = 1) {
        const RunResult r = run_dirt_render(args + " -q -o " + path("out.png"));
        EXPECT_TRUE(r.exited) << args << ": " << r.output;
        EXPECT_EQ(r.status, status) << args << ": " << r.output;
        EXPECT_EQ(r.output.rfind("dirt-render: error: ", 0), 0u) << args << ": " << r.output;
        EXPECT_EQ(r.lines(), status == 2 ? 2 : 1) << args << ": " << r.output;  // usage adds a hint
        EXPECT_NE(r.output.find(message), std::string::npos) << args << ": " << r.output;
        EXPECT_FALSE(exists("out.png")) << args;
    }

};

TEST_F(HostileInput, DamagedOrOddFilesAreRefusedInOneLine) {
    write("one_ring.json", R"({"objects": [{"name": "A", "primitives": [{"type": "sphere", "rings": 1}]}]})");
    write("overflow.json", R"({"objects": [{"name": "A", "primitives": [{"type": "box", "max": [1e999, 1, 1]}]}]})");
    write("far.json", R"({"objects": [{"name": "A", "primitives": [{"type": "box", "max": [1e300, 1, 1]}]}]})");
    write("scaled.json", R"({"objects": [{"name": "A", "position": [0, 0, 0], "scale": [1e9, 1e9, 1e9],
        "primitives": [{"type": "box", "max": [1e9, 1, 1]}]}]})");
    write("camera.json", R"({"camera": {"position": [1e200, 0, 0]}, "objects": []})");
    write("deep.json", deep_json(100000));
    mkdir(path("folder.json").c_str(), 0755);
    mkfifo(path("pipe.json").c_str(), 0644);
    mkfifo(path("pipe.obj").c_str(), 0644);
    // A corrupted coordinate, as a damaged file may hold.
    write("corrupt.obj", "v 0 0 0\nv 1 0 0\nv 0 -2e38 1\nf 1 2 3\n");
    write("inf.obj", "v 0 0 0\nv 1 0 0\nv 0 1e39 1\nf 1 2 3\n");
    write("pipe_file.json", R"({"objects": [{"name": "A", "file": "pipe.obj"}]})");
    write("deep.gltf", deep_gltf(100000));
    write("empty.json", "");
    mkfifo(path("pipe.p").c_str(), 0644);
    const struct {
        std::string args, message;
    } cases[] = {
        {path("one_ring.json"), "objects[0].primitives[0].rings must be a whole number from 2 to"},
        {path("overflow.json"), "overflow.json: [json.exception.out_of_range.406] number overflow"},
        {path("far.json"), "objects[0].primitives[0].max must be a number from -1e+12 to 1e+12"},
        {path("scaled.json"), "scaled.json: objects[0]: a point lies at (1e+18"},
        {path("camera.json"), "camera.position must be a number from"},
        {path("deep.json"), "deep.json: arrays and objects nest more than 64 deep"},
        {path("folder.json"), "folder.json is a directory"},
        {path("pipe.json"), "pipe.json is not a regular file"},
        {path("pipe_file.json"), "objects[0].file: " + path("pipe.obj") + " is not a regular file"},
        {"--save-scene " + path("pipe.json"), "cannot write " + path("pipe.json") + ": it exists and is not a regular"},
        {path("corrupt.obj"), "corrupt.obj: a point lies at (0, -2e+38, 1)"},
        {path("inf.obj"), "is not finite in single precision"},
        {path("deep.gltf"), "cannot read mesh " + path("deep.gltf") + ": the importer crashes on it"},
        {path("empty.json"), "empty.json is empty"},
        {"--plugin " + path("pipe.p"), "cannot load plug-in file " + path("pipe.p") + ": not a regular file"},
    };
    for (const auto &c : cases) expect_refused(c.args, c.message);
    // A --set value is held to the scene file's nesting limit (copied whole, this one
    // overflowed the stack); it is the command line's mistake.
    expect_refused("--set 'dirt_amount={\"envelope\": " + std::string(50000, '[') + std::string(50000, ']') + "}'",
                   "--set dirt_amount: arrays and objects nest more than 64 deep", 2);
}

TEST_F(HostileInput, ImportsThatHangOrRunOutOfMemoryAreStoppedInOneLine) {
    // Headers that never end: the importer reads on for good.
    write("header.ply", "ply\nformat ascii 1.0");
    write("binary.ply", "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n");
    write("scene.json", R"({"objects": [{"name": "A", "file": "binary.ply"}]})");
    // Counts of billions in a few bytes: the importer allocates as it reads.
    write("huge.off", "OFF\n2000000000 1 0\n0 0 0\n");
    write("huge.ply", "ply\nformat ascii 1.0\nelement vertex 2000000000\nproperty float x\nproperty float y\n"
                      "property float z\nend_header\n0 0 0\n");
    const std::string timed_out = ": the import timed out after 0.5 s (raise the limit with --import-timeout S)";
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's allocator ends the process itself when the limit refuses it memory.
    const std::string exhausted = "";
#else
    const std::string exhausted = ": importing it needs more memory than the limit of ";
#endif
    const struct {
        std::string args, message;
    } cases[] = {
        {path("header.ply") + " --import-timeout 0.5", "cannot read mesh " + path("header.ply") + timed_out},
        {path("scene.json") + " --import-timeout 0.5",
         "scene.json: cannot read mesh " + path("binary.ply") + timed_out},
        {path("huge.off") + " --max-memory 64", "cannot read mesh " + path("huge.off") + exhausted},
        {path("huge.ply"), "cannot read mesh " + path("huge.ply") + exhausted},
        {"--import-timeout 0", "--import-timeout needs a number of seconds from 0.1 to 86400"},
    };
    for (const auto &c : cases) expect_refused(c.args, c.message, c.args.rfind("--", 0) == 0 ? 2 : 1);
    EXPECT_NE(run_dirt_render("--help").output.find("--import-timeout S"), std::string::npos);
}

TEST_F(HostileInput, WholeNumbersNeverWrap) {
    // 2^32 + 1 and 2^32 + 8 wrap to 1 and 8 in 32 bits; 2^32 to 0.
    write("width.json", box_scene("true", R"({"width": 4294967297, "height": 8})"));
    write("frames.json", box_scene("true", R"({"frames": [0, 4294967296]})"));
    write("cells.json", R"({"objects": [{"name": "A", "primitives": [{"type": "floor", "cells": 4294967304}]}]})");
    write("negative.json", R"({"objects": [{"name": "A", "primitives": [{"type": "stairs", "steps": -4294967293}]}]})");
    write("count.json", box_scene(R"({"sample_count": 4294967296})"));
    const struct {
        std::string args, message;
        int status;
    } cases[] = {
        {path("width.json"), "render.width must be a whole number from 1 to 16384", 1},
        {path("frames.json"), "render.frames must be a whole number from -1000000 to 1000000", 1},
        {path("cells.json"), "objects[0].primitives[0].cells must be a whole number from 1 to", 1},
        {path("negative.json"), "objects[0].primitives[0].steps must be a whole number from 1 to", 1},
        {path("count.json"), "sample_count must be a whole number from -2147483648 to 2147483647", 1},
        {"--set sample_count=4294967296", "--set: sample_count must be a whole number from -2147483648", 2},
        {"--set use_color=4294967297", "--set: use_color must be a whole number", 2},
        {"--width 4294967297", "--width needs a whole number from 1 to 16384", 2},
        {"--threads 18446744073709551617", "--threads needs a whole number from 1 to 1024", 2},
        {"--frames 0-4294967296", "--frames needs", 2},
        {"--max-memory 0", "--max-memory needs a whole number of MiB", 2},
    };
    for (const auto &c : cases) expect_refused(c.args, c.message, c.status);
}

TEST_F(HostileInput, WorkAndMemoryBeyondTheLimitsAreRefusedUntilRaised) {
    // Rays per spot, from the scene, the command line or a stored state.
    write("rays.json", box_scene(R"({"sample_count": 2147483647, "sample_itr": 2147483647})"));
    expect_refused(path("rays.json"),
                   "rays.json: surfaces[0]: sample_count × sample_itr asks for 4611686014132420609 rays per spot; "
                   "the limit is 0 to 1024 (raise it with --max-rays-per-spot N)");
    expect_refused("--set sample_count=2000", "surfaces[0]: sample_count × sample_itr asks for 4000 rays");
    const std::string small = " --width 8 --height 6 --samples 1 -q";
    const RunResult saved = run_dirt_render("--set sample_count=1500 --max-rays-per-spot 3000 --save-scene " +
                                            path("saved.json") + small + " -o " + path("saved.png"));
    ASSERT_EQ(saved.status, 0) << saved.output;
    expect_refused(path("saved.json"), "saved.json: surfaces[0]: sample_count × sample_itr asks for 3000 rays");
    const RunResult raised = run_dirt_render(path("saved.json") + " --max-rays-per-spot 3000" + small + " -o " +
                                             path("raised.png"));
    EXPECT_EQ(raised.status, 0) << raised.output;

    // Memory: primitives counted before they are built, the frame before it is made.
    write("floor.json", R"({"objects": [{"name": "A", "primitives": [{"type": "floor", "cells": 300}]}],
        "render": {"width": 8, "height": 8, "samples": 1}})");
    write("huge.json", R"({"objects": [{"name": "A", "primitives": [{"type": "sphere", "rings": 100000, "segments": 100000},
        {"type": "stairs", "steps": 1000000}]}]})");
    expect_refused(path("huge.json"), "objects[0].primitives[0]: the scene needs about");
    expect_refused(path("floor.json") + " --max-memory 16",
                   "MiB, beyond the memory limit of 16 MiB (raise it with --max-memory MIB)");
    expect_refused("--width 16384 --height 16384", "a 16384 x 16384 image: the scene needs about 8.0 GiB");
    const RunResult floor = run_dirt_render(path("floor.json") + " --max-memory 128 -q -o " + path("floor.png"));
    EXPECT_EQ(floor.status, 0) << floor.output;

    // Shader instances count too: each surface's takes some kilobytes, from a few bytes of file.
    std::string quads, surfaces;
    for (int i = 0; i < 3000; ++i) {
        const std::string name = "\"s" + std::to_string(i) + "\"";
        quads += std::string(i ? "," : "") + R"({"type": "quad", "surface": )" + name + "}";
        surfaces += std::string(i ? "," : "") + R"({"object": "A", "name": )" + name + R"(, "dirt": true})";
    }
    write("shaders.json", R"({"objects": [{"name": "A", "primitives": [)" + quads + "]}], \"surfaces\": [" + surfaces + "]}");
    expect_refused(path("shaders.json") + " --max-memory 16", "]: the scene needs about 16.0 MiB, beyond the memory limit of 16");

    const RunResult help = run_dirt_render("--help");
    EXPECT_NE(help.output.find("--max-memory MIB"), std::string::npos);
    EXPECT_NE(help.output.find("--max-rays-per-spot N"), std::string::npos);
}

TEST_F(HostileInput, ExtremeShaderValuesLeavePixelsFinite) {
    // Values the plug-in takes and writes out finite: the host's own shading must not turn
    // them into infinities or NaN (which an image shows as black). Pulled towards a huge
    // positive value, a pixel can only get brighter than without the shader.
    const char *settings[] = {
        "--set use_color=1 --set dirt_color=[1e308,1e308,1e308]",
        "--set use_Kd=1 --set dirt_Kd=1e308",
        "--set use_color=1 --set dirt_color=[1e308,1e308,1e308] --set use_Kd=1 --set dirt_Kd=1e308 "
        "--set use_Ks=1 --set dirt_Ks=1e308",
    };
    for (const char *s : settings) {
        const RunResult r = run_dirt_render(std::string(s) + " --compare --width 40 --height 25 --samples 1 -q -o " +
                                            path("x.png"));
        ASSERT_EQ(r.status, 0) << s << ": " << r.output;
        const render::RgbImage img = image("x.png");
        int brighter = 0;
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < 40; ++x) {
                for (int k = 0; k < 3; ++k)
                    ASSERT_GE(img.pixel(x, y)[k], img.pixel(40 + x, y)[k]) << s << " at " << x << "," << y;
                brighter += img.pixel(x, y)[1] > img.pixel(40 + x, y)[1];
            }
        EXPECT_GT(brighter, 20) << s;
    }
}

TEST_F(HostileInput, DegenerateGeometryAndScarceThreadsStillRender) {
    // Points and lines only: nothing to shade, said in a warning.
    write("points.obj", "v 0 0 0\nv 1 0 0\nv 0 1 1\np 1 2 3\nl 1 2\n");
    const RunResult points = run_dirt_render(path("points.obj") + " --width 8 --height 8 -q -o " + path("p.png"));
    EXPECT_EQ(points.status, 0) << points.output;
    EXPECT_NE(points.output.find("dirt-render: warning: " + path("points.obj") + " has no polygons"), std::string::npos)
        << points.output;
    EXPECT_TRUE(exists("p.png"));

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Under an address-space limit most of 1024 threads cannot start: the render goes on
    // with those that did. (Sanitizers reserve address space of their own.)
    const RunResult threads = run_dirt_render("--threads 1024 --width 24 --height 16 --samples 1 -o " + path("t.png"),
                                              "ulimit -v 600000; ");
    EXPECT_EQ(threads.status, 0) << threads.output;
    EXPECT_NE(threads.output.find("render threads"), std::string::npos) << threads.output;
    EXPECT_TRUE(exists("t.png"));
#endif
}

}  // namespace
