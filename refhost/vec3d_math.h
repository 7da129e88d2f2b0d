// Small double-precision vector helpers on the scene's Vec3d, for the ray caster and the
// spot builder.
#ifndef REFHOST_VEC3D_MATH_H
#define REFHOST_VEC3D_MATH_H

#include <cmath>

#include "refhost/scene.h"

namespace refhost {
namespace vmath {

inline Vec3d add(const Vec3d &a, const Vec3d &b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3d sub(const Vec3d &a, const Vec3d &b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3d mul(double s, const Vec3d &a) { return {s * a.x, s * a.y, s * a.z}; }
inline Vec3d neg(const Vec3d &a) { return {-a.x, -a.y, -a.z}; }
inline double dot(const Vec3d &a, const Vec3d &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3d cross(const Vec3d &a, const Vec3d &b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(const Vec3d &a) { return std::sqrt(dot(a, a)); }
// The unit vector along a, or zero when a has zero length.
inline Vec3d normalized(const Vec3d &a) {
    const double l = length(a);
    return l > 0.0 ? mul(1.0 / l, a) : Vec3d{};
}
inline Vec3d from(const double v[3]) { return {v[0], v[1], v[2]}; }
inline Vec3d from(const float v[3]) {
    return {static_cast<double>(v[0]), static_cast<double>(v[1]), static_cast<double>(v[2])};
}
inline void store(const Vec3d &v, double out[3]) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

}  // namespace vmath
}  // namespace refhost

#endif
