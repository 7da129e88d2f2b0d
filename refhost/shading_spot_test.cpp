#include "refhost/shading_spot.h"

#include <gtest/gtest.h>

#include <cmath>


namespace refhost {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Two quads meeting at a right angle along the edge x = 0, y = 0: A lies flat facing +y,
// B hangs down from the edge facing +x. A pentagon and a triangle lie elsewhere.
class ShadingSpotTest : public ::testing::Test {
protected:
    void SetUp() override {
        object = &scene.add_object("Crease", "crease.lwo");
        surface_a = &scene.add_surface(*object, "A");
        surface_b = &scene.add_surface(*object, "B");
        Mesh &mesh = object->add_layer(0).mesh;
        Point *e0 = mesh.add_point(0, 0, 0), *e1 = mesh.add_point(0, 0, 1);
        Point *a0 = mesh.add_point(-1, 0, 0), *a1 = mesh.add_point(-1, 0, 1);
        Point *b2 = mesh.add_point(0, -1, 1), *b3 = mesh.add_point(0, -1, 0);
        quad_a = mesh.add_polygon({a0, a1, e1, e0}, "A");
        quad_b = mesh.add_polygon({e0, e1, b2, b3}, "A");
        triangle = mesh.add_polygon({mesh.add_point(5, 0, 0), mesh.add_point(5, 0, 1), mesh.add_point(6, 0, 0)}, "B");
        std::vector<Point *> ring;
        for (int k = 0; k < 5; ++k)
            ring.push_back(mesh.add_point(static_cast<float>(10 + std::cos(-k * 2 * kPi / 5)), 0.0f,
                                          static_cast<float>(std::sin(-k * 2 * kPi / 5))));
        pentagon = mesh.add_polygon(ring, "B");
        line = mesh.add_polygon({a0, b3}, "A");
    }

    Scene scene;
    Item *object = nullptr;
    Surface *surface_a = nullptr, *surface_b = nullptr;
    Polygon *quad_a = nullptr, *quad_b = nullptr, *triangle = nullptr, *pentagon = nullptr, *line = nullptr;
};

TEST_F(ShadingSpotTest, CornersAndWeightsFollowThePolygonShape) {
    SpotRecord record;
    LWShaderAccess &sa = record.access;
    ASSERT_TRUE(make_shading_spot(scene, *object, *triangle, {0, 0.25, 0.5}, record));
    EXPECT_EQ(sa.verts[0], to_id(triangle->vertices[0]));
    EXPECT_EQ(sa.verts[2], to_id(triangle->vertices[2]));
    EXPECT_EQ(sa.verts[3], nullptr);
    EXPECT_EQ(sa.weights[0], 0.25f);
    EXPECT_EQ(sa.weights[1], 0.25f);
    EXPECT_EQ(sa.weights[2], 0.5f);
    EXPECT_EQ(sa.weights[3], 0.0f);
    EXPECT_DOUBLE_EQ(sa.wPos[0], 5.5);
    EXPECT_DOUBLE_EQ(sa.wPos[2], 0.25);
    EXPECT_EQ(sa.polygon, to_id(triangle));
    EXPECT_EQ(sa.polNum, 2);
    // Seen head-on from one unit above.
    EXPECT_DOUBLE_EQ(sa.raySource[1], 1.0);
    EXPECT_DOUBLE_EQ(sa.cosine, 1.0);
    EXPECT_EQ(sa.rayCast, nullptr) << "the caster's to install";

    // A quad's second fan triangle weighs corners 0, 2 and 3.
    ASSERT_TRUE(make_shading_spot(scene, *object, *quad_a, {1, 0.25, 0.25}, record));
    EXPECT_EQ(sa.verts[3], to_id(quad_a->vertices[3]));
    EXPECT_EQ(sa.weights[0], 0.5f);
    EXPECT_EQ(sa.weights[1], 0.0f);
    EXPECT_EQ(sa.weights[2], 0.25f);
    EXPECT_EQ(sa.weights[3], 0.25f);
    EXPECT_DOUBLE_EQ(sa.wPos[0], -0.5);

    // Larger polygons list the three corners of the fan triangle.
    ASSERT_TRUE(make_shading_spot(scene, *object, *pentagon, {2, 0.0, 1.0}, record));
    EXPECT_EQ(sa.verts[1], to_id(pentagon->vertices[3]));
    EXPECT_EQ(sa.verts[2], to_id(pentagon->vertices[4]));
    EXPECT_EQ(sa.weights[2], 1.0f);
    EXPECT_EQ(sa.verts[3], nullptr);
    EXPECT_EQ(sa.gNorm[1], 1.0);

    EXPECT_FALSE(make_shading_spot(scene, *object, *pentagon, {3, 0.0, 0.0}, record));
    EXPECT_FALSE(make_shading_spot(scene, *object, *line, {0, 0.0, 0.0}, record));
    Polygon stranger;
    EXPECT_FALSE(make_shading_spot(scene, *object, stranger, {0, 0.0, 0.0}, record));
}

TEST_F(ShadingSpotTest, NormalsAreSmoothedWithinTheSurfaceAngle) {
    SpotRecord record;
    LWShaderAccess &sa = record.access;
    const PolygonSpot on_edge{1, 0.5, 0.5};  // corners 2 and 3 of A: the shared edge
    // Flat shading: the facet normal.
    ASSERT_TRUE(make_shading_spot(scene, *object, *quad_a, on_edge, record));
    EXPECT_EQ(sa.wNorm0[0], 0.0);
    EXPECT_EQ(sa.wNorm0[1], 1.0);

    // 100 degrees takes in the hanging quad; 80 does not.
    surface_a->values.smoothing_angle = 100.0 * kPi / 180.0;
    ASSERT_TRUE(make_shading_spot(scene, *object, *quad_a, on_edge, record));
    EXPECT_NEAR(sa.wNorm0[0], std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(sa.wNorm0[1], std::sqrt(0.5), 1e-12);
    EXPECT_EQ(sa.wNorm[0], sa.wNorm0[0]);
    EXPECT_EQ(sa.gNorm[0], 0.0);
    EXPECT_EQ(sa.gNorm[1], 1.0);

    surface_a->values.smoothing_angle = 80.0 * kPi / 180.0;
    ASSERT_TRUE(make_shading_spot(scene, *object, *quad_a, on_edge, record));
    EXPECT_EQ(sa.wNorm0[0], 0.0);

    // Polygons of another surface never smooth into each other.
    surface_a->values.smoothing_angle = 100.0 * kPi / 180.0;
    quad_b->surface = "B";
    ASSERT_TRUE(make_shading_spot(scene, *object, *quad_a, on_edge, record));
    EXPECT_EQ(sa.wNorm0[0], 0.0);
}

TEST_F(ShadingSpotTest, CornerNormalsFromAFileRuleOverTheSmoothingAngle) {
    // Corner normals leaning +x along A's edge with B and straight up at its outer edge,
    // as a file's vertex normals give them; the object is turned a quarter about y and
    // stretched along x, which turns and squeezes the normals with it.
    const float r = static_cast<float>(std::sqrt(0.5));
    quad_a->normals = {{0, 1, 0}, {0, 1, 0}, {r, r, 0}, {r, r, 0}};
    surface_a->values.smoothing_angle = 0.0;  // would be flat without them
    object->motion.rotation.set({kPi / 2, 0, 0});
    object->motion.scale.set({2, 1, 1});
    SpotRecord record;
    LWShaderAccess &sa = record.access;
    ASSERT_TRUE(make_shading_spot(scene, *object, *quad_a, {1, 0.5, 0.5}, record));  // on the shared edge
    // The polygon's own normal stays in gNorm.
    EXPECT_NEAR(sa.gNorm[0], 0.0, 1e-12);
    EXPECT_NEAR(sa.gNorm[1], 1.0, 1e-12);
    // Object (1, 1, 0) by the inverse transpose of the stretch: (0.5, 1, 0); turned so that +x
    // goes to -z: (0, 1, -0.5), then unit length.
    const double len = std::sqrt(1.25);
    EXPECT_NEAR(sa.wNorm[0], 0.0, 1e-7);
    EXPECT_NEAR(sa.wNorm[1], 1.0 / len, 1e-7);
    EXPECT_NEAR(sa.wNorm[2], -0.5 / len, 1e-7);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(sa.wNorm0[k], sa.wNorm[k]);

    // Midway across the quad the corner normals mix by the spot's weights.
    ASSERT_TRUE(make_shading_spot(scene, *object, *quad_a, {0, 0.25, 0.25}, record));
    EXPECT_GT(sa.wNorm[1], 1.0 / len);
    EXPECT_LT(sa.wNorm[2], 0.0);

    // Normals that do not match the corners are not used.
    quad_a->normals.pop_back();
    ASSERT_TRUE(make_shading_spot(scene, *object, *quad_a, {1, 0.5, 0.5}, record));
    EXPECT_NEAR(sa.wNorm[2], 0.0, 1e-12);
}

TEST_F(ShadingSpotTest, TransformsAndSurfaceValuesComeFromTheObject) {
    object->motion.rotation.set({kPi / 2, 0, 0});  // +Z turns to +X
    object->motion.scale.set({1, 2, 4});
    object->motion.position.set({0, 0, 7});
    surface_b->values.color[2] = 0.25;
    surface_b->values.glossiness = 0.75;
    SpotRecord record;
    LWShaderAccess &sa = record.access;
    ASSERT_TRUE(make_shading_spot(scene, *object, *triangle, {0, 0.0, 0.0}, record));
    EXPECT_EQ(sa.objID, to_id(object));
    // Object corner (5, 0, 0) scaled to (5, 0, 0), turned to (0, 0, -5), moved to (0, 0, 2).
    EXPECT_NEAR(sa.wPos[0], 0.0, 1e-12);
    EXPECT_NEAR(sa.wPos[2], 2.0, 1e-12);
    EXPECT_EQ(sa.oPos[0], 5.0);
    // Object to world: the scaled forward axis (0, 0, 4) turned to (4, 0, 0) in column 2.
    EXPECT_NEAR(sa.oXfrm[2], 4.0, 1e-12);
    EXPECT_NEAR(sa.oXfrm[4], 2.0, 1e-12);
    // World to object undoes it: world +X is object +Z over 4.
    EXPECT_NEAR(sa.wXfrm[6], 0.25, 1e-12);
    EXPECT_EQ(sa.color[2], 0.25);
    EXPECT_EQ(sa.roughness, 0.25);
    EXPECT_EQ(sa.eta, 1.0);
}

}  // namespace
}  // namespace refhost
