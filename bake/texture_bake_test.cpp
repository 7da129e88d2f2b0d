// Texture bakes of a floor whose UVs map it onto the middle of the texture, beside a box.
#include "bake/texture_bake.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#include "bake/bake_run.h"
#include "refhost/spot_record.h"
#include "refhost/vec3d_math.h"
#include "render/mask.h"
#include "tests/support/bake_scene.h"

namespace bake {
namespace {

using namespace refhost;
using namespace vmath;

// The floor, one 8 m quad, maps onto UV 0.25 .. 0.75: on a 16-texel texture, texels 4 to 11
// each way, a texel being half a metre.
constexpr int kSize = 16;

class TextureBakeTest : public testing_support::BakeScene {
protected:
    void SetUp() override {
        nlohmann::json doc = testing_support::box_on_floor_document();
        doc["objects"][0]["primitives"][0]["cells"] = 1;
        // The box off the texel centres' grid (half-metres), so that none lies on its edges.
        doc["objects"][1]["primitives"][0]["min"] = {-0.25, 0, -0.25};
        doc["objects"][1]["primitives"][0]["max"] = {0.75, 1, 0.75};
        ASSERT_NO_FATAL_FAILURE(load(doc));
        for (const auto &layer : object("Floor").layers)
            for (const auto &polygon : layer->mesh.polygons)
                for (const Point *p : polygon->vertices)
                    polygon->uvs.push_back({0.25f + (p->base[0] + 4.0f) / 16.0f, 0.25f + (p->base[2] + 4.0f) / 16.0f});
        char tmpl[] = "/tmp/bake-test-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override {
        std::system(("rm -rf " + dir).c_str());
        BakeScene::TearDown();
    }

    TextureBake bake_floor(int samples, int padding, int threads) {
        render::MaskShaders mask(host, server);
        std::string error;
        EXPECT_TRUE(mask.create(&error)) << error;
        mask.bind();
        mask.begin();
        const auto g = build_object_geometry(host.scene(), object("Floor"), 0.0);
        render::RayCaster caster(host.scene());
        EXPECT_TRUE(caster.ready(&error)) << error;
        TextureBake out;
        bake_texture(caster, *g, uv_triangles(*g), kSize, samples, padding, threads, {}, out);
        if (samples == 1) expect_texels_are_render_spots(caster, out);
        mask.end();
        return out;
    }

    // With one sample a texel is the spot at its centre: the same as a render spot there,
    // seen from straight above.
    void expect_texels_are_render_spots(const render::RayCaster &caster, const TextureBake &bake) {
        render::RayCaster::Scope scope(caster);
        int compared = 0;
        for (int ty = 4; ty < 12; ++ty) {
            for (int tx = 4; tx < 12; ++tx) {
                const double x = tx - 7.5, z = 7.5 - ty;
                SpotRecord spot;
                if (caster.shade({x, 5.0, z}, {0, -1, 0}, &spot.access) != 5.0) continue;  // the box is above
                ++compared;
                EXPECT_NEAR(bake.value[ty * kSize + tx].x, spot.access.color[0], 1e-6) << tx << ", " << ty;
            }
        }
        EXPECT_EQ(compared, 64 - 1);  // the centre at (0.5, 0.5) is under the box
    }

    BakeRequest texture_request(const std::string &name, int threads) const {
        BakeRequest r;
        r.options.mode = BakeMode::Texture;
        r.options.size = kSize;
        r.options.padding = 2;
        r.threads = threads;
        r.outputs = {dir + "/" + name};
        r.objects = {"Floor"};
        return r;
    }

    std::string read(const std::string &name) const {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string dir;
};

TEST_F(TextureBakeTest, TexelCentresAreSpotsThereAndDirtGathersBesideTheBox) {
    const TextureBake bake = bake_floor(1, 0, 2);
    // The texel centred a quarter metre beside the box is dirty; the island's corner clean.
    EXPECT_GT(bake.value[7 * kSize + 7].x, 0.1);
    EXPECT_EQ(bake.value[4 * kSize + 4].x, 0.0);
    EXPECT_EQ(bake.overlapping_points, 0);
}

TEST_F(TextureBakeTest, PaddingFillsExactlyPTexelsPastTheIsland) {
    for (int padding : {0, 1, 3}) {
        const TextureBake bake = bake_floor(4, padding, 2);
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                // Texels from the island, counted as a king moves.
                const int d = std::max({4 - x, x - 11, 4 - y, y - 11, 0});
                const Texel expected = d == 0 ? Texel::Island : d <= padding ? Texel::Padding : Texel::Empty;
                EXPECT_EQ(bake.state[y * kSize + x], expected) << "padding " << padding << " at " << x << ", " << y;
                if (expected == Texel::Empty) {
                    EXPECT_EQ(bake.value[y * kSize + x].x, 0.0);
                }
            }
        }
        // The padding carries the island's edge outwards: a corner texel's value reaches
        // the texel diagonally past it.
        if (padding > 0) {
            EXPECT_EQ(bake.value[3 * kSize + 3].x, bake.value[4 * kSize + 4].x);
        }
    }
}

// UVs are whatever a file holds: far outside the texture, not numbers at all.
TEST_F(TextureBakeTest, WildUvsCoverNothing) {
    const auto g = build_object_geometry(host.scene(), object("Floor"), 0.0);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<UvTriangle> wild(3);
    wild[0].uv = {{{-3e38f, -3e38f}, {3e38f, -3e38f}, {0.0f, 3e38f}}};
    wild[1].uv = {{{nan, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}}};
    wild[2].uv = {{{2e9f, 0.5f}, {inf, 0.0f}, {2e9f, 1.0f}}};
    for (UvTriangle &t : wild) t.polygon = 0;
    render::RayCaster caster(host.scene());
    TextureBake out;
    bake_texture(caster, *g, wild, kSize, 4, 2, 1, {}, out);
    // The first covers every texel, which is fine; the others none.
    EXPECT_EQ(out.overlapping_points, 0);
    EXPECT_EQ(triangles_outside_unit_square(wild), 3);
}

TEST_F(TextureBakeTest, OneThreadAndTwoWriteTheSameBytes) {
    BakeSummary summary;
    std::string error;
    ASSERT_TRUE(run_bake(host, server, texture_request("one.exr", 1), summary, &error)) << error;
    ASSERT_TRUE(run_bake(host, server, texture_request("two.exr", 2), summary, &error)) << error;
    EXPECT_FALSE(read("one.exr").empty());
    EXPECT_EQ(read("one.exr"), read("two.exr"));
    BakeRequest vertices = texture_request("one.ply", 1);
    vertices.options.mode = BakeMode::Vertex;
    ASSERT_TRUE(run_bake(host, server, vertices, summary, &error)) << error;
    vertices.outputs = {dir + "/two.ply"};
    vertices.threads = 2;
    ASSERT_TRUE(run_bake(host, server, vertices, summary, &error)) << error;
    EXPECT_EQ(read("one.ply"), read("two.ply"));
}

TEST_F(TextureBakeTest, OverlappingUvsAreCountedForTheWarning) {
    // A second floor layer on the same UVs.
    Item &floor = object("Floor");
    const Polygon &first = *floor.layers[0]->mesh.polygons[0];
    Mesh &extra = floor.add_layer(1).mesh;
    std::vector<Point *> corners;
    for (const Point *p : first.vertices) corners.push_back(extra.add_point(p->base[0], -1.0f, p->base[2]));
    extra.add_polygon(corners, "Floor")->uvs = first.uvs;
    std::vector<std::string> warnings;
    BakeRequest r = texture_request("overlap.png", 2);
    r.warn = [&](const std::string &w) { warnings.push_back(w); };
    BakeSummary summary;
    std::string error;
    ASSERT_TRUE(run_bake(host, server, r, summary, &error)) << error;
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("UVs overlap"), std::string::npos) << warnings[0];
}

}  // namespace
}  // namespace bake
