#include "shading/sample_direction.h"

#include <cmath>

namespace ormel {

SampleFrame sample_frame(Vec3 N, Vec3 T1, Vec3 T2) {
    const double k1 = std::fabs(vec_dot(T1, N));
    const double k2 = std::fabs(vec_dot(T2, N));
    const Vec3 S = k2 < k1 ? T2 : T1;

    // U and V span the plane perpendicular to N; phi = 0 points along U.
    const Vec3 U = vec_normalized(vec_cross(N, S));
    const Vec3 V = vec_normalized(vec_cross(N, U));
    return {N, U, V};
}

Vec3 sample_direction(Vec3 N, double theta, double phi, Vec3 T1, Vec3 T2) {
    return sample_direction(sample_frame(N, T1, T2), theta, phi);
}

}  // namespace ormel
