// The direction of one sample ray about a normal.
#ifndef ORMEL_SHADING_SAMPLE_DIRECTION_H
#define ORMEL_SHADING_SAMPLE_DIRECTION_H

#include <cmath>

#include "common/vec.h"

namespace ormel {

// The azimuth frame about N: U and V span the plane perpendicular to N. It depends only on
// N, T1 and T2, so a spot works it out once for all its sample rays.
struct SampleFrame {
    Vec3 N, U, V;
};
SampleFrame sample_frame(Vec3 N, Vec3 T1, Vec3 T2);

// Unit direction at polar angle theta from the frame's N and azimuth phi about it. Inline:
// the sample loop calls it for every ray.
inline Vec3 sample_direction(const SampleFrame &frame, double theta, double phi) {
    const Vec3 &N = frame.N, &U = frame.U, &V = frame.V;
    const double cp = std::cos(phi), sp = std::sin(phi);
    const Vec3 W(cp * U.x + sp * V.x, cp * U.y + sp * V.y, cp * U.z + sp * V.z);
    const double ct = std::cos(theta), st = std::sin(theta);
    const Vec3 D(ct * N.x + st * W.x, ct * N.y + st * W.y, ct * N.z + st * W.z);
    return vec_normalized(D);
}

// Unit direction at polar angle theta from N and azimuth phi about it; the azimuth frame
// follows whichever of T1 and T2 is less aligned with N (T1 on a tie).
Vec3 sample_direction(Vec3 N, double theta, double phi, Vec3 T1, Vec3 T2);

}  // namespace ormel

#endif
