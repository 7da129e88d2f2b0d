#include "shading/sample_direction.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ormel {
namespace {

constexpr double kHalfPi = 1.5707963267948966;

const Vec3 kX(1, 0, 0), kY(0, 1, 0), kZ(0, 0, 1);

TEST(SampleDirection, ThetaZeroGivesNormal) {
    const Vec3 N = vec_normalized(Vec3(0.2, 0.9, -0.3));
    const Vec3 D = sample_direction(N, 0.0, 1.234, kX, kZ);
    EXPECT_NEAR(D.x, N.x, 1e-15);
    EXPECT_NEAR(D.y, N.y, 1e-15);
    EXPECT_NEAR(D.z, N.z, 1e-15);
}

TEST(SampleDirection, RightAngleLiesInTangentPlaneAndIsUnit) {
    const Vec3 N = vec_normalized(Vec3(0.2, 0.9, -0.3));
    for (double phi = 0.0; phi < 6.3; phi += 0.7) {
        const Vec3 D = sample_direction(N, kHalfPi, phi, kX, kZ);
        EXPECT_NEAR(vec_dot(D, N), 0.0, 1e-15);
        EXPECT_NEAR(vec_length(D), 1.0, 1e-15);
    }
}

TEST(SampleDirection, AzimuthFrameFollowsLessAlignedAxis) {
    // N = +Y: T1 = X and T2 = Z tie at 0, so the side axis is T1 = X:
    // U = N x X = -Z, V = N x U = -X.
    const Vec3 D0 = sample_direction(kY, kHalfPi, 0.0, kX, kZ);
    EXPECT_NEAR(D0.z, -1.0, 1e-15);
    const Vec3 D1 = sample_direction(kY, kHalfPi, kHalfPi, kX, kZ);
    EXPECT_NEAR(D1.x, -1.0, 1e-15);

    // T1 aligned with N: T2 is less aligned and becomes the side axis. U = Y x Z = X.
    const Vec3 D2 = sample_direction(kY, kHalfPi, 0.0, kY, kZ);
    EXPECT_NEAR(D2.x, 1.0, 1e-15);
}

TEST(SampleDirection, DegenerateInputs) {
    // Both axes parallel to N: U and V vanish, leaving N scaled by cos(theta).
    EXPECT_EQ(sample_direction(kY, 0.5, 1.0, kY, -1.0 * kY), kY);
    EXPECT_EQ(sample_direction(kY, kHalfPi * 2.0, 1.0, kY, kY), -1.0 * kY);
    // A zero normal gives a zero direction.
    EXPECT_EQ(sample_direction(Vec3(), 0.5, 1.0, kX, kZ), Vec3());
}

}  // namespace
}  // namespace ormel
