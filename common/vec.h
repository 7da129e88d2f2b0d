// Vector operations on the host's three-double vector.
//
// Only an exactly zero length counts as degenerate: no epsilon is used anywhere, so
// tiny but non-zero vectors are still normalised.
#ifndef ORMEL_COMMON_VEC_H
#define ORMEL_COMMON_VEC_H

#include <cmath>

#include "host/lwtypes.h"

namespace ormel {

// A value type for the host's LWDVector, so that vectors can be returned and passed by value.
struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;

    Vec3() = default;
    constexpr Vec3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
    explicit Vec3(const double v[3]) : x(v[0]), y(v[1]), z(v[2]) {}

    void store(double out[3]) const { out[0] = x; out[1] = y; out[2] = z; }
    double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

inline Vec3 operator+(const Vec3 &a, const Vec3 &b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3 &a, const Vec3 &b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(const Vec3 &a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(double s, const Vec3 &a) { return {s * a.x, s * a.y, s * a.z}; }
inline bool operator==(const Vec3 &a, const Vec3 &b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline bool operator!=(const Vec3 &a, const Vec3 &b) { return !(a == b); }

// Small and called for every sample ray, so defined here where the compiler can inline
// them; the arithmetic is the same in whichever order it is inlined (no contraction).
inline double vec_length(const Vec3 &v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// Divides v by its length in place (zero when the length is exactly 0), copies it into
// out and returns out.
inline Vec3 &vec_normalize(Vec3 &v, Vec3 &out) {
    const double len = vec_length(v);
    if (len == 0.0) {
        v = Vec3();
    } else {
        v = Vec3(v.x / len, v.y / len, v.z / len);
    }
    out = v;
    return out;
}

// Normalises v in place and returns it.
inline Vec3 &vec_normalize(Vec3 &v) { return vec_normalize(v, v); }

inline Vec3 vec_normalized(const Vec3 &v) {
    Vec3 copy = v;
    return vec_normalize(copy);
}

inline Vec3 vec_cross(const Vec3 &a, const Vec3 &b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline double vec_dot(const Vec3 &a, const Vec3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// d' - 2 (d'.n') n' with d' and n' the normalised inputs.
inline Vec3 vec_reflect(const Vec3 &d, const Vec3 &n) {
    const Vec3 dn = vec_normalized(d);
    const Vec3 nn = vec_normalized(n);
    return dn - (2.0 * vec_dot(dn, nn)) * nn;
}

}  // namespace ormel

#endif
