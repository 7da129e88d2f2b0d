// dirt-render --bake as a user runs it.
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#include <algorithm>
#include <cstdio>
#include <fstream>

#include "tests/support/dirt_render_run.h"

namespace {

using testing_support::run_dirt_render;

class BakeCommand : public testing_support::ScratchFolder {
protected:
    testing_support::RunResult run(const std::string &args) { return run_dirt_render(args, "cd " + dir_ + " && "); }
};

TEST_F(BakeCommand, VertexBakeOfAModelWritesPlyAndGlbWithDirtInItsCrevices) {
    const std::string lwo = "/usr/share/assimp/models/LWO/LWO2/hierarchy.lwo";
    if (access(lwo.c_str(), R_OK) != 0) GTEST_SKIP() << "assimp-testmodels is not installed";
    const auto r = run("--bake vertex " + lwo);
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char *name : {"hierarchy-dirt.ply", "hierarchy-dirt.glb"}) {
        Assimp::Importer importer;
        const aiScene *s = importer.ReadFile(path(name), 0);
        ASSERT_TRUE(s) << name << ": " << importer.GetErrorString();
        unsigned clean = 0, dirty = 0;
        for (unsigned m = 0; m < s->mNumMeshes; ++m) {
            ASSERT_TRUE(s->mMeshes[m]->HasVertexColors(0)) << name;
            for (unsigned i = 0; i < s->mMeshes[m]->mNumVertices; ++i) {
                const float w = s->mMeshes[m]->mColors[0][i].r;
                clean += w == 0.0f;
                dirty += w > 0.3f;
            }
        }
        EXPECT_GT(clean, 100u) << name;
        EXPECT_GT(dirty, 100u) << name;
    }
    // Baking it again over the file it reads is refused, and leaves it as it was.
    const auto again = run("hierarchy-dirt.ply --bake vertex -o hierarchy-dirt.ply");
    EXPECT_EQ(again.status, 1) << again.output;
    EXPECT_NE(again.output.find("will not write over"), std::string::npos) << again.output;
    // Nor over an object file a scene reads.
    write("scene.json", R"({"objects": [{"name": "M", "file": "hierarchy-dirt.glb"}],
                           "surfaces": [{"object": "M", "name": "Default", "dirt": true}]})");
    const auto scene = run("scene.json --bake vertex -o hierarchy-dirt.glb");
    EXPECT_NE(scene.output.find("will not write over"), std::string::npos) << scene.output;
}

// A scene saved during a bake bakes the same files again.
TEST_F(BakeCommand, SavedSceneBakesTheSameBytes) {
    write("box.obj",
          "v -1 0 -1\nv 1 0 -1\nv 1 0 1\nv -1 0 1\nv 0 0 0\nv 0 1 0\nv 0.5 0 0\n"
          "f 1 4 3 2\nf 5 6 7\n");
    const auto first = run("box.obj --bake vertex --save-scene saved.json");
    ASSERT_EQ(first.status, 0) << first.output;
    const std::string ply = bytes("box-dirt.ply"), glb = bytes("box-dirt.glb");
    ASSERT_FALSE(ply.empty() || glb.empty());
    std::remove(path("box-dirt.ply").c_str());
    std::remove(path("box-dirt.glb").c_str());
    const auto again = run("saved.json");
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(bytes("box-dirt.ply"), ply);
    EXPECT_EQ(bytes("box-dirt.glb"), glb);
    EXPECT_FALSE(exists("box-dirt_Ground.ply")) << "the ground plane is not baked";
}

// Each frame bakes the dirt of its time: here the amount falls from full to none in a second.
TEST_F(BakeCommand, FramesBakeTheDirtOfTheirTime) {
    write("scene.json", R"({
      "objects": [{"name": "Floor", "primitives": [{"type": "floor", "size": 4, "cells": 8, "surface": "Floor"}]},
                  {"name": "Box", "primitives": [{"type": "box", "min": [-0.5, 0, -0.5], "max": [0.5, 1, 0.5], "surface": "Box"}]}],
      "surfaces": [{"object": "Floor", "name": "Floor",
                    "dirt": {"dirt_width": 1.0, "dirt_amount": {"envelope": [[0, 1.0], [1, 0.0]]}}}],
      "render": {"fps": 1}})");
    const auto r = run("scene.json --bake vertex --frames 0-1 -o 'floor_#.glb'");
    ASSERT_EQ(r.status, 0) << r.output;
    float highest[2] = {0.0f, 0.0f};
    for (int frame = 0; frame < 2; ++frame) {
        Assimp::Importer importer;
        const aiScene *s = importer.ReadFile(path("floor_" + std::to_string(frame) + ".glb"), 0);
        ASSERT_TRUE(s && s->mNumMeshes == 1) << importer.GetErrorString();
        for (unsigned i = 0; i < s->mMeshes[0]->mNumVertices; ++i)
            highest[frame] = std::max(highest[frame], s->mMeshes[0]->mColors[0][i].r);
    }
    EXPECT_GT(highest[0], 0.1f);
    EXPECT_EQ(highest[1], 0.0f);
    EXPECT_FALSE(exists("floor_0_Box.glb")) << "only objects that carry the shader are baked";
}

TEST_F(BakeCommand, MistakesAreOneLineAndWriteNothing) {
    struct Case {
        const char *args;
        int status;
        const char *says;
    } cases[] = {
        {"--bake pixels", 2, "--bake needs vertex or texture"},
        {"--bake-size 0 --bake texture", 2, "--bake-size needs"},
        {"--bake vertex -o out.png", 1, "must end in .ply, .glb or .gltf"},
        {"--bake vertex -o out.ply --mask out.png", 1, "--mask and --compare do not go with it"},
        {"--bake texture -o out.ply", 1, "out.ply"},
        {"--bake texture -o out.png --save-scene saved.json", 1, "has no texture coordinates"},
    };
    for (const Case &c : cases) {
        const auto r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.output;
        EXPECT_EQ(r.lines(), c.status == 2 ? 2 : 1) << r.output;  // status 2 adds "try --help"
        EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
        EXPECT_FALSE(exists("out.png") || exists("out.ply") || exists("saved.json")) << c.args;
    }
    // A .gltf output's buffer goes beside it as NAME.bin: never over a buffer the run reads.
    const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    std::ofstream(path("tri.bin"), std::ios::binary).write(reinterpret_cast<const char *>(corners), sizeof corners);
    write("model.gltf", R"({"asset": {"version": "2.0"}, "buffers": [{"uri": "tri.bin", "byteLength": 36}],
        "bufferViews": [{"buffer": 0, "byteLength": 36}], "accessors": [{"bufferView": 0, "componentType": 5126,
        "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [1, 1, 0]}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}], "nodes": [{"mesh": 0}],
        "scenes": [{"nodes": [0]}], "scene": 0})");
    const std::string buffer = bytes("tri.bin");
    const auto over = run("model.gltf --bake vertex -o tri.gltf");
    EXPECT_EQ(over.status, 1) << over.output;
    EXPECT_NE(over.output.find("will not write over"), std::string::npos) << over.output;
    EXPECT_EQ(bytes("tri.bin"), buffer);
    EXPECT_FALSE(exists("tri.gltf"));

    const auto idle = run("--bake-size 64 --width 8 --height 8 -o out.png");
    EXPECT_EQ(idle.status, 0) << idle.output;
    EXPECT_NE(idle.output.find("warning: --bake-size without --bake"), std::string::npos) << idle.output;
}

}  // namespace
