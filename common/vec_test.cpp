#include "common/vec.h"

#include <gtest/gtest.h>

namespace ormel {
namespace {

TEST(Vec, NormalizeWritesBothAndZeroLengthGivesZero) {
    Vec3 v(3.0, 0.0, 4.0), out;
    Vec3 &r = vec_normalize(v, out);
    EXPECT_EQ(&r, &out);
    EXPECT_EQ(v, Vec3(0.6, 0.0, 0.8));
    EXPECT_EQ(out, Vec3(0.6, 0.0, 0.8));

    Vec3 zero, zout(1.0, 1.0, 1.0);
    vec_normalize(zero, zout);
    EXPECT_EQ(zout, Vec3(0.0, 0.0, 0.0));
}

TEST(Vec, TinyVectorsAreStillNormalised) {
    // Only an exactly zero length is degenerate.
    const Vec3 n = vec_normalized(Vec3(1e-150, 0.0, 0.0));
    EXPECT_EQ(n, Vec3(1.0, 0.0, 0.0));
}

TEST(Vec, NormalizedLeavesInputAlone) {
    const Vec3 v(0.0, 2.0, 0.0);
    EXPECT_EQ(vec_normalized(v), Vec3(0.0, 1.0, 0.0));
    EXPECT_EQ(v, Vec3(0.0, 2.0, 0.0));
}

TEST(Vec, CrossDotAndReflect) {
    EXPECT_EQ(vec_cross(Vec3(1, 0, 0), Vec3(0, 1, 0)), Vec3(0, 0, 1));
    EXPECT_EQ(vec_cross(Vec3(0, 1, 0), Vec3(1, 0, 0)), Vec3(0, 0, -1));
    EXPECT_EQ(vec_dot(Vec3(1, 2, 3), Vec3(4, -5, 6)), 12.0);
    // Reflect normalises both inputs first.
    EXPECT_EQ(vec_reflect(Vec3(2, -2, 0), Vec3(0, 5, 0)),
              vec_normalized(Vec3(1, 1, 0)));
    EXPECT_EQ(vec_length(Vec3(2, 3, 6)), 7.0);
}

}  // namespace
}  // namespace ormel
