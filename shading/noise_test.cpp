#include "shading/noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace ormel {
namespace {

TEST(NoiseRand, FirstDraws) {
    uint32_t state = 1;
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724};
    for (int e : expected) EXPECT_EQ(noise_rand(state), e);
}

TEST(NoiseTables, CheckValues) {
    const NoiseTables &t = noise_tables();
    EXPECT_EQ(t.p[0], 0);
    EXPECT_EQ(t.p[1], 253);
    EXPECT_EQ(t.p[2], 163);
    EXPECT_EQ(t.p[3], 241);
    EXPECT_NEAR(t.g3[0].x, 0.7614807, 1e-7);
    EXPECT_NEAR(t.g3[0].y, -0.1788326, 1e-7);
    EXPECT_NEAR(t.g3[0].z, 0.6230297, 1e-7);
    // g3[0] comes from the draws 26500, 19169, 15724 divided by its length.
    const double x = (26500 % 512 - 256) / 256.0, y = (19169 % 512 - 256) / 256.0,
                 z = (15724 % 512 - 256) / 256.0;
    const double len = std::sqrt(x * x + y * y + z * z);
    EXPECT_EQ(t.g3[0], Vec3(x / len, y / len, z / len));
}

TEST(NoiseTables, PermutationAndRepeatedTail) {
    const NoiseTables &t = noise_tables();
    std::vector<int> seen(256, 0);
    for (int i = 0; i < 256; ++i) {
        ASSERT_GE(t.p[i], 0);
        ASSERT_LT(t.p[i], 256);
        ++seen[t.p[i]];
        EXPECT_NEAR(vec_length(t.g3[i]), 1.0, 1e-15);
    }
    for (int n : seen) EXPECT_EQ(n, 1);
    for (int i = 0; i < 258; ++i) {
        EXPECT_EQ(t.p[256 + i], t.p[i]);
        EXPECT_EQ(t.g3[256 + i], t.g3[i]);
    }
}

TEST(GradientNoise, CheckValueAndIntegerLattice) {
    EXPECT_NEAR(gradient_noise(Vec3(0.5, 0.5, 0.5)), 0.3018489, 1e-7);
    for (double x : {-5000.0, -4097.0, -1.0, 0.0, 3.0, 1e6}) {
        for (double y : {-2.0, 0.0, 17.0}) {
            EXPECT_EQ(gradient_noise(Vec3(x, y, -7.0)), 0.0) << x << " " << y;
        }
    }
}

TEST(GradientNoise, ContinuousAcrossCellBorders) {
    for (double border : {1.0, -3.0, 255.0, 256.0}) {
        const double below = gradient_noise(Vec3(border - 1e-9, 0.3, 0.7));
        const double above = gradient_noise(Vec3(border + 1e-9, 0.3, 0.7));
        EXPECT_NEAR(below, above, 1e-7) << border;
    }
}

TEST(GradientNoise, BeyondMinus4096UsesNegativeFraction) {
    // t = -0.5 truncates to 0, so r0 = -0.5; the value must still be finite and smooth.
    const double v = gradient_noise(Vec3(-4096.5, 0.25, 0.25));
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_NEAR(v, gradient_noise(Vec3(-4096.5 + 1e-9, 0.25, 0.25)), 1e-7);
}

TEST(GradientNoise, HugeAndNonFiniteCoordinatesAreDefined) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double c : {3e9, -3e9, 1e300, -1e300, inf, -inf, nan}) {
        const double v = gradient_noise(Vec3(c, 0.5, 0.5));
        EXPECT_TRUE(std::isfinite(v)) << c;
        EXPECT_LE(std::fabs(v), 2.0) << c;
    }
    // Past 2^31 the lattice keeps its period of 256 cells.
    const double big = 4294967296.0 + 0.25 - 4096.0;  // t = 2^32 + 0.25
    EXPECT_EQ(gradient_noise(Vec3(big, 0.5, 0.5)), gradient_noise(Vec3(0.25 - 4096.0, 0.5, 0.5)));
    // Just inside the 32-bit range the ordinary path applies.
    EXPECT_TRUE(std::isfinite(gradient_noise(Vec3(2147483647.0 - 4096.0 + 0.5, 0.1, 0.1))));
}

TEST(GradientNoise, IdenticalWhenManyThreadsAreFirst) {
    // Each thread computes values that must match the single-threaded ones.
    std::vector<Vec3> points;
    for (int i = 0; i < 64; ++i) points.emplace_back(i * 0.37, i * -0.11, i * 0.05 + 0.5);
    std::vector<std::vector<double>> results(8);
    std::vector<std::thread> threads;
    for (auto &r : results) {
        threads.emplace_back([&r, &points] {
            for (const Vec3 &p : points) r.push_back(gradient_noise(p));
        });
    }
    for (auto &t : threads) t.join();
    for (const auto &r : results) EXPECT_EQ(r, results[0]);
    for (size_t i = 0; i < points.size(); ++i) EXPECT_EQ(results[0][i], gradient_noise(points[i]));
}

}  // namespace
}  // namespace ormel
