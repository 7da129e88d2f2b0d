#include "gradients/occlusion.h"

#include <cmath>

namespace ormel {

AtomicWord occlusion_random_state(1u);

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kTwoToMinus32 = 2.3283064365386963e-10;
constexpr uint32_t kMultiplier = 1566083941u;
constexpr uint32_t kIncrement = 1u;

const Vec3 kWorldX(1.0, 0.0, 0.0);
const Vec3 kWorldY(0.0, 1.0, 0.0);

}  // namespace

double occlusion_random() {
    // Load and exchange are two separate atomic steps with no lock around the pair: two
    // threads may draw the same number, which only costs a little stratification.
    const uint32_t s = occlusion_random_state.load();
    const uint32_t next = s * kMultiplier + kIncrement;  // unsigned: wraps modulo 2^32
    occlusion_random_state.exchange(next);
    return static_cast<double>(next) * kTwoToMinus32;
}

double occlusion_fraction(const LWMicropol *spot, Vec3 p, Vec3 n, int32_t rings,
                          int32_t sectors, int half) {
    if (!spot || !spot->rayCast) return 0.0;
    // An empty pattern has no rays to count; it must not divide by zero.
    if (rings <= 0 || sectors <= 0) return 0.0;
    n = vec_normalized(n);

    // A tangent frame about n, from whichever world axis is further from it (ties: X).
    const Vec3 axis =
        std::fabs(vec_dot(kWorldY, n)) < std::fabs(vec_dot(kWorldX, n)) ? kWorldY : kWorldX;
    const Vec3 t1 = vec_normalized(vec_cross(n, axis));
    const Vec3 t2 = vec_normalized(vec_cross(n, t1));

    double position[3];
    p.store(position);
    const double ring_count = static_cast<double>(rings);
    const double sector_count = static_cast<double>(sectors);
    int64_t hits = 0;
    for (int32_t k = 0; k < rings; ++k) {
        // Rings of equal solid angle, from the normal (k = 0) down to the horizon.
        const double theta_lo = std::acos(1.0 - static_cast<double>(k) / ring_count);
        const double theta_hi = std::acos(1.0 - static_cast<double>(k + 1) / ring_count);
        for (int32_t j = 0; j < sectors; ++j) {
            // First draw: polar angle within the ring; second: azimuth within the sector.
            const double u = occlusion_random();
            const double theta = theta_hi - u * (theta_hi - theta_lo);
            const double v = occlusion_random();
            const double phi = (static_cast<double>(j) + v) * kTwoPi / sector_count;
            const Vec3 dir = std::cos(theta) * n +
                             std::sin(theta) * (std::cos(phi) * t1 + std::sin(phi) * t2);

            bool blocked;
            if (half && vec_dot(kWorldY, dir) < 0.0) {
                // Below the horizontal plane counts as blocked without casting.
                blocked = true;
            } else {
                double direction[3];
                dir.store(direction);
                blocked = spot->rayCast(position, direction) > 0.0;
            }
            if (blocked) ++hits;
        }
    }
    return static_cast<double>(hits) / (ring_count * sector_count);
}

}  // namespace ormel
