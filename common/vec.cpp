#include "common/vec.h"

#include <cmath>

namespace ormel {

double vec_length(const Vec3 &v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

Vec3 &vec_normalize(Vec3 &v, Vec3 &out) {
    const double len = vec_length(v);
    if (len == 0.0) {
        v = Vec3();
    } else {
        v = Vec3(v.x / len, v.y / len, v.z / len);
    }
    out = v;
    return out;
}

Vec3 vec_normalized(const Vec3 &v) {
    Vec3 copy = v;
    return vec_normalize(copy);
}

Vec3 vec_cross(const Vec3 &a, const Vec3 &b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double vec_dot(const Vec3 &a, const Vec3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 vec_reflect(const Vec3 &d, const Vec3 &n) {
    const Vec3 dn = vec_normalized(d);
    const Vec3 nn = vec_normalized(n);
    return dn - (2.0 * vec_dot(dn, nn)) * nn;
}

}  // namespace ormel
