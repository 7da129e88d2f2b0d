#include "bake/mesh_export.h"

#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace bake {
namespace {

class MeshExport : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/bake-export-XXXXXX";
        dir = mkdtemp(tmpl);
        BakedMesh m;
        m.surface = "Skin";
        const Vec3d values[4] = {{1.5, 0.5, -0.5}, {0.0, 1.0, 0.25}, {1e300, 0.0, 0.0}, {0.1, 0.2, 0.3}};
        for (int i = 0; i < 4; ++i) {
            BakedVertex v;
            v.position = {static_cast<double>(i & 1), static_cast<double>(i >> 1), 0.0};
            v.normal = {0, 0, 1};
            v.value = values[i];
            m.vertices.push_back(v);
        }
        m.faces = {{0, 1, 3, 2}};
        meshes = {m};
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    std::string dir;
    std::vector<BakedMesh> meshes;
};

// PLY holds bytes: rounded and clamped, never wrapped. glTF keeps the values as they are.
TEST_F(MeshExport, PlyBytesAreRoundedAndClampedGltfKeepsTheValues) {
    std::string error;
    ASSERT_TRUE(export_baked_meshes(dir + "/m.ply", meshes, &error)) << error;
    std::ifstream in(dir + "/m.ply");
    std::stringstream text;
    text << in.rdbuf();
    const std::string body = text.str().substr(text.str().find("end_header\n") + 11);
    // x y z nx ny nz red green blue alpha, a line a vertex.
    EXPECT_NE(body.find("0 0 1 255 128 0 255\n"), std::string::npos) << body;
    EXPECT_NE(body.find("0 0 1 0 255 64 255\n"), std::string::npos) << body;
    EXPECT_NE(body.find("0 0 1 255 0 0 255\n"), std::string::npos) << body;
    EXPECT_NE(body.find("4 0 1 3 2\n"), std::string::npos) << "the quad stays a quad: " << body;

    ASSERT_TRUE(export_baked_meshes(dir + "/m.gltf", meshes, &error)) << error;
    EXPECT_EQ(access((dir + "/m.bin").c_str(), F_OK), 0) << "the buffer beside it";
    Assimp::Importer importer;
    const aiScene *s = importer.ReadFile(dir + "/m.gltf", 0);
    ASSERT_TRUE(s && s->mNumMeshes == 1) << importer.GetErrorString();
    ASSERT_TRUE(s->mMeshes[0]->HasVertexColors(0));
    float highest = 0.0f;
    for (unsigned i = 0; i < s->mMeshes[0]->mNumVertices; ++i) highest = std::max(highest, s->mMeshes[0]->mColors[0][i].r);
    EXPECT_EQ(highest, 1e30f) << "a value beyond a float's reach is bounded, not infinite";
    EXPECT_EQ(s->mMeshes[0]->mColors[0][0].r, 1.5f);
}

TEST_F(MeshExport, RefusesOtherFormatsAndWritesNothing) {
    std::string error;
    EXPECT_FALSE(export_baked_meshes(dir + "/m.obj", meshes, &error));
    EXPECT_NE(error.find(".ply, .glb or .gltf"), std::string::npos);
    EXPECT_FALSE(export_baked_meshes(dir + "/missing/m.glb", meshes, &error));
    EXPECT_NE(error.find("m.glb"), std::string::npos) << error;
    EXPECT_EQ(access((dir + "/m.obj").c_str(), F_OK), -1);
}

}  // namespace
}  // namespace bake
