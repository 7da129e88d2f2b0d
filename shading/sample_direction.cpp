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

Vec3 sample_direction(const SampleFrame &frame, double theta, double phi) {
    const Vec3 &N = frame.N, &U = frame.U, &V = frame.V;
    const double cp = std::cos(phi), sp = std::sin(phi);
    const Vec3 W(cp * U.x + sp * V.x, cp * U.y + sp * V.y, cp * U.z + sp * V.z);
    const double ct = std::cos(theta), st = std::sin(theta);
    const Vec3 D(ct * N.x + st * W.x, ct * N.y + st * W.y, ct * N.z + st * W.z);
    return vec_normalized(D);
}

Vec3 sample_direction(Vec3 N, double theta, double phi, Vec3 T1, Vec3 T2) {
    return sample_direction(sample_frame(N, T1, T2), theta, phi);
}

}  // namespace ormel
