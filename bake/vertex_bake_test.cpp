// Vertex bakes of a box on a floor, against render spots at the same points, and the
// files they are written to, read back through Assimp.
#include "bake/vertex_bake.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "bake/bake_run.h"
#include "bake/mesh_export.h"
#include "refhost/spot_record.h"
#include "refhost/vec3d_math.h"
#include "render/mask.h"
#include "tests/support/bake_scene.h"

namespace bake {
namespace {

using namespace refhost;
using namespace vmath;

class VertexBake : public testing_support::BakeScene {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(load(testing_support::box_on_floor_document()));
        char tmpl[] = "/tmp/bake-test-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override {
        std::system(("rm -rf " + dir).c_str());
        BakeScene::TearDown();
    }

    // The object's vertices baked to their dirt weights, with the mask's shaders bound.
    std::vector<BakedMesh> bake_weights(const Item &object, int threads, size_t *compared = nullptr) {
        render::MaskShaders mask(host, server);
        std::string error;
        EXPECT_TRUE(mask.create(&error)) << error;
        mask.bind();
        mask.begin();
        const auto g = build_object_geometry(host.scene(), object, 0.0);
        std::vector<BakedMesh> meshes = vertex_layout(object, *g);
        render::RayCaster caster(host.scene());
        EXPECT_TRUE(caster.ready(&error)) << error;
        bake_vertices(caster, *g, meshes, threads, {});
        // Render spots at the same points, as the mask pass shades them: a ray from five
        // metres out along the vertex's normal. Every coordinate is a multiple of 0.5, so
        // the hit lands on the vertex exactly, where the ray reaches it: not under the box,
        // nor on the outer edges of the floor, which rays along them may miss.
        render::RayCaster::Scope scope(caster);
        size_t count = 0;
        for (const BakedMesh &m : meshes) {
            for (const BakedVertex &v : m.vertices) {
                SpotRecord render_spot;
                const Vec3d from = add(v.position, mul(5.0, v.normal));
                if (caster.shade(from, neg(v.normal), &render_spot.access) != 5.0) continue;
                ++count;
                EXPECT_EQ(v.value.x, render_spot.access.color[0])
                    << object.name << " vertex at " << v.position.x << " " << v.position.y << " " << v.position.z;
            }
        }
        mask.end();
        if (compared) *compared = count;
        return meshes;
    }

    static const BakedVertex *find(const std::vector<BakedMesh> &meshes, Vec3d p, Vec3d n) {
        for (const BakedMesh &m : meshes)
            for (const BakedVertex &v : m.vertices)
                if (length(sub(v.position, p)) < 1e-9 && length(sub(v.normal, n)) < 1e-9) return &v;
        return nullptr;
    }

    std::string dir;
};

TEST_F(VertexBake, ContactVerticesAreDirtyFarOnesCleanEachAsARenderSpot) {
    size_t compared = 0;
    const std::vector<BakedMesh> floor = bake_weights(object("Floor"), 2, &compared);
    ASSERT_EQ(vertex_count(floor), 17 * 17);
    // All but the 64 on the outer edges and the 9 under the box.
    EXPECT_GE(compared, 17u * 17u - 64u - 9u);
    const BakedVertex *beside = find(floor, {1.0, 0, 0}, {0, 1, 0});
    const BakedVertex *far = find(floor, {4.0, 0, 4.0}, {0, 1, 0});
    ASSERT_TRUE(beside && far);
    EXPECT_GT(beside->value.x, 0.1);
    EXPECT_EQ(far->value.x, 0.0);

    // The box's corners split by face (its surface is not smoothed): 6 faces x 4.
    const std::vector<BakedMesh> box = bake_weights(object("Box"), 2, &compared);
    ASSERT_EQ(vertex_count(box), 24);
    EXPECT_GE(compared, 8u);
    const BakedVertex *top = find(box, {0.5, 1, 0.5}, {0, 1, 0});
    const BakedVertex *side_low = find(box, {0.5, 0, 0.5}, {1, 0, 0});
    ASSERT_TRUE(top && side_low);
    EXPECT_EQ(top->value.x, 0.0);
    // The side's lowest corner lies in the floor's plane: its rays do not see the floor
    // (the caster's self-hit rule), as a render spot there does not.
    EXPECT_GE(side_low->value.x, 0.0);
}

// The whole run: files written through Assimp's exporter, read back through its importer.
TEST_F(VertexBake, WrittenFilesReadBackWithTheirVerticesAndColours) {
    const std::vector<BakedMesh> floor = bake_weights(object("Floor"), 1);
    BakeRequest request;
    request.options.mode = BakeMode::Vertex;
    request.outputs = {dir + "/{object}.ply", dir + "/{object}.glb"};
    BakeSummary summary;
    std::string error;
    ASSERT_TRUE(run_bake(host, server, request, summary, &error)) << error;
    EXPECT_EQ(summary.points, 17 * 17 + 24);

    for (const char *name : {"/Floor.glb", "/Floor.ply"}) {
        Assimp::Importer importer;
        const aiScene *s = importer.ReadFile(dir + name, aiProcess_JoinIdenticalVertices);
        ASSERT_TRUE(s) << name << ": " << importer.GetErrorString();
        ASSERT_EQ(s->mNumMeshes, 1u) << name;
        const aiMesh *m = s->mMeshes[0];
        ASSERT_EQ(m->mNumVertices, 17u * 17u) << name;
        ASSERT_TRUE(m->HasVertexColors(0)) << name;
        // The surface's own colour as the material's, though the weight pass blackens it.
        aiColor3D base;
        if (std::string(name).find(".glb") != std::string::npos) {
            ASSERT_EQ(s->mMaterials[m->mMaterialIndex]->Get(AI_MATKEY_COLOR_DIFFUSE, base), AI_SUCCESS);
            EXPECT_NEAR(base.g, 0.7f, 1e-6f);
        }
        // PLY holds bytes (the exporter truncates); glTF floats.
        const double tolerance = std::string(name).find(".ply") != std::string::npos ? 1.0 / 255.0 : 1e-6;
        for (unsigned i = 0; i < m->mNumVertices; ++i) {
            const aiVector3D &p = m->mVertices[i];
            const BakedVertex *v = find(floor, {p.x, p.y, p.z}, {0, 1, 0});
            ASSERT_TRUE(v) << name << " vertex " << i;
            EXPECT_NEAR(m->mColors[0][i].r, v->value.x, tolerance) << name << " vertex " << i;
            EXPECT_NEAR(m->mColors[0][i].g, v->value.x, tolerance);
        }
    }
    // The PLY file is ASCII with byte colours.
    std::ifstream ply(dir + "/Floor.ply");
    std::stringstream text;
    text << ply.rdbuf();
    EXPECT_NE(text.str().find("format ascii 1.0"), std::string::npos);
    EXPECT_NE(text.str().find("property uchar red\nproperty uchar green\nproperty uchar blue"), std::string::npos);
}

TEST_F(VertexBake, RefusesWhatItCannotWriteBeforeWriting) {
    BakeRequest request;
    request.options.mode = BakeMode::Vertex;
    request.outputs = {dir + "/a.obj"};
    BakeSummary summary;
    std::string error;
    EXPECT_FALSE(run_bake(host, server, request, summary, &error));
    EXPECT_NE(error.find(".ply, .glb or .gltf"), std::string::npos) << error;
    // A texture bake of objects without texture coordinates.
    request.options.mode = BakeMode::Texture;
    request.outputs = {dir + "/{object}.png"};
    EXPECT_FALSE(run_bake(host, server, request, summary, &error));
    EXPECT_NE(error.find("has no texture coordinates"), std::string::npos) << error;
    EXPECT_EQ(access((dir + "/Floor.png").c_str(), F_OK), -1);
}

}  // namespace
}  // namespace bake
