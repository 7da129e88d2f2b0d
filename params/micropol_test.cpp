#include "params/micropol.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/shading_fakes.h"

namespace ormel {
namespace {

const Vec3 kWorld[3] = {Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1)};

TEST(DominantAxis, LargestAbsoluteDotTiesToLowerIndex) {
    EXPECT_EQ(dominant_axis(Vec3(0, 0, 1), kWorld), 2);
    EXPECT_EQ(dominant_axis(Vec3(0, 0, -1), kWorld), 2);
    EXPECT_EQ(dominant_axis(Vec3(1, 1, 0), kWorld), 0);
    EXPECT_EQ(dominant_axis(Vec3(0, 1, 1), kWorld), 1);
    EXPECT_EQ(dominant_axis(Vec3(0, -2, 1), kWorld), 1);
    EXPECT_EQ(dominant_axis(Vec3(0, 0, 0), kWorld), 0);
}

struct FillMicropol : ::testing::Test {
    fake::Installed host;
    fake::Mesh mesh;
    LWShaderAccess spot;
    LWSurfaceID surface = reinterpret_cast<LWSurfaceID>(0x5eed);

    FillMicropol() {
        // A triangle in the object's xy plane.
        const int p0 = mesh.point(0, 0, 0), p1 = mesh.point(1, 0, 0), p2 = mesh.point(0, 1, 0);
        const int tri = mesh.polygon({p0, p1, p2});
        mesh.polygon({p0, p1});
        host.add_object(fake::item_id(1), &mesh);
        spot = fake::make_spot(fake::item_id(1), fake::polygon_id(tri), Vec3(1, 2, 3), Vec3(0, 1, 0));
        spot.raySource[0] = 0.5, spot.raySource[1] = -1, spot.raySource[2] = 3;
        spot.wNorm[0] = 0.6, spot.wNorm[1] = 0.8, spot.wNorm[2] = 0;
        spot.oPos[0] = -4;
        spot.spotSize = 0.01, spot.rayLength = 12, spot.cosine = 0.7, spot.polNum = 9;
        spot.verts[1] = fake::point_id(p1);
        spot.weights[1] = 0.75f;
        spot.vertsWPos[2][1] = 2.5f;
        // The world transform turns the object's z into world x.
        const double w[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0};
        for (int k = 0; k < 9; ++k) spot.wXfrm[k] = w[k];
    }
};

TEST_F(FillMicropol, CopiesTheSpotAndFillsItsOwnFields) {
    LWMicropol mp;
    std::memset(&mp, 0xff, sizeof mp);
    fill_micropol(&mp, &spot, surface);
    EXPECT_EQ(host->init_mp.load(), 1);
    EXPECT_EQ(mp.txVal, 0.25) << "fields the host initialises are kept";
    EXPECT_EQ(mp.VertexIndexes, nullptr) << "but not the host's corner record, which describes no spot of ours";
    EXPECT_EQ(Vec3(mp.oPos), Vec3(-4, 2, 3));
    EXPECT_EQ(Vec3(mp.wPos), Vec3(1, 2, 3));
    EXPECT_EQ(Vec3(mp.oScl), Vec3(1, 1, 1));
    EXPECT_EQ(Vec3(mp.gNorm), Vec3(0, 1, 0));
    EXPECT_EQ(Vec3(mp.wNorm), Vec3(0.6, 0.8, 0));
    EXPECT_EQ(Vec3(mp.ray), Vec3(0.5, 3, 0)) << "wPos - raySource, not normalised";
    EXPECT_EQ(mp.bumpHeight, 0.4);
    EXPECT_EQ(mp.spotSize, 0.01);
    EXPECT_EQ(Vec3(mp.raySource), Vec3(0.5, -1, 3));
    EXPECT_EQ(mp.rayLength, 12.0);
    EXPECT_EQ(mp.cosine, 0.7);
    EXPECT_EQ(mp.wXfrm[2], 1.0);
    EXPECT_EQ(mp.oXfrm[4], 1.0);
    EXPECT_EQ(mp.objID, fake::item_id(1));
    EXPECT_EQ(mp.srfID, surface);
    EXPECT_EQ(mp.verts[1], spot.verts[1]);
    EXPECT_EQ(mp.weights[1], 0.75f);
    EXPECT_EQ(mp.vertsWPos[2][1], 2.5f);
    EXPECT_EQ(mp.polNum, 9);
    EXPECT_EQ(mp.context, 0);
    EXPECT_EQ(mp.rayCast, spot.rayCast);
    EXPECT_EQ(mp.rayShade, spot.rayShade);
    EXPECT_EQ(mp.userData, nullptr);
    EXPECT_EQ(mp.polygon, spot.polygon);
    EXPECT_EQ(mp.wAxis, 1);
    // The triangle's undeformed normal is +z, whatever the world transform.
    EXPECT_EQ(mp.oAxis, 2);
    EXPECT_EQ(mesh.destroyed.load(), 1) << "the mesh record is released";
}

TEST_F(FillMicropol, ObjectAxisFallsBackToTheTransformColumns) {
    LWMicropol mp;
    // gNorm (0, 0, 1) in world space lies along the transform's first column (0, 0, -1).
    spot.gNorm[0] = 0, spot.gNorm[1] = 0, spot.gNorm[2] = 1;

    // A line polygon has no base normal.
    spot.polygon = fake::polygon_id(1);
    fill_micropol(&mp, &spot, surface);
    EXPECT_EQ(mp.wAxis, 2);
    EXPECT_EQ(mp.oAxis, 0);

    spot.polygon = nullptr;
    fill_micropol(&mp, &spot, surface);
    EXPECT_EQ(mp.oAxis, 0);

    spot.polygon = fake::polygon_id(0);
    host->withhold_meshes = true;
    fill_micropol(&mp, &spot, surface);
    EXPECT_EQ(mp.oAxis, 0);

    // Without the object service, and with an identity transform, both axes agree.
    host->withhold_meshes = false;
    host_services.object_info = nullptr;
    for (int k = 0; k < 9; ++k) spot.wXfrm[k] = (k % 4 == 0) ? 1.0 : 0.0;
    fill_micropol(&mp, &spot, surface);
    EXPECT_EQ(mp.oAxis, 2);
    EXPECT_EQ(mp.oAxis, mp.wAxis);
}

TEST_F(FillMicropol, PolygonBaseNormalIsTheUnnormalisedCross) {
    double out[3] = {9, 9, 9};
    // A long thin triangle: both edges are normalised first, the cross is not.
    const int p0 = mesh.point(0, 0, 0), p1 = mesh.point(4, 0, 0), p2 = mesh.point(3, 3, 0);
    const int tri = mesh.polygon({p0, p1, p2});
    ASSERT_TRUE(polygon_base_normal(&mesh.record, fake::polygon_id(tri), out));
    EXPECT_DOUBLE_EQ(out[2], std::sqrt(0.5));
    EXPECT_EQ(out[0], 0.0);

    double untouched[3] = {9, 9, 9};
    EXPECT_FALSE(polygon_base_normal(&mesh.record, fake::polygon_id(1), untouched));
    EXPECT_FALSE(polygon_base_normal(&mesh.record, nullptr, untouched));
    EXPECT_EQ(Vec3(untouched), Vec3(9, 9, 9));
}

}  // namespace
}  // namespace ormel
