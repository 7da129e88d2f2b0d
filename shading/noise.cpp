#include "shading/noise.h"

#include <cmath>

namespace ormel {

namespace {

// A gradient component from one draw: a multiple of 1/256 in [-1, 0.99609375].
double gradient_component(uint32_t &state) {
    return static_cast<double>((noise_rand(state) % (kNoiseB + kNoiseB)) - kNoiseB) / kNoiseB;
}

NoiseTables build_tables() {
    NoiseTables t{};
    uint32_t state = 1;
    for (int i = 0; i < kNoiseB; ++i) {
        t.p[i] = i;
        // The 1-D and 2-D gradients are never read, but drawing them keeps the
        // sequence, and so every table entry, as it has always been.
        for (int unused = 0; unused < 3; ++unused) gradient_component(state);
        const double x = gradient_component(state);
        const double y = gradient_component(state);
        const double z = gradient_component(state);
        const double len = std::sqrt(x * x + y * y + z * z);
        t.g3[i] = Vec3(x / len, y / len, z / len);
    }
    for (int i = kNoiseB - 1; i > 0; --i) {
        const int j = noise_rand(state) % kNoiseB;
        const int k = t.p[i];
        t.p[i] = t.p[j];
        t.p[j] = k;
    }
    for (int i = 0; i < kNoiseB + 2; ++i) {
        t.p[kNoiseB + i] = t.p[i];
        t.g3[kNoiseB + i] = t.g3[i];
    }
    return t;
}

// Lattice cell index (0..255) and fraction of one coordinate.
struct LatticeCoord {
    int b0, b1;
    double r0, r1;
};

inline LatticeCoord lattice(double coord) {
    const double t = coord + 4096.0;
    int b0;
    double r0;
    if (t > -2147483649.0 && t < 2147483648.0) {
        // Fits a 32-bit integer: truncate toward zero.
        const int32_t k = static_cast<int32_t>(t);
        b0 = k & 255;
        r0 = t - k;
    } else if (std::isfinite(t)) {
        // Too large for 32 bits: the same truncation done in doubles, with the cell index
        // taken modulo 256 as the two's-complement value would give it.
        const double k = std::trunc(t);
        b0 = static_cast<int>(std::fmod(k, 256.0)) & 255;
        r0 = t - k;
    } else {
        // Infinity or NaN: treated as a lattice point, so the axis adds no variation.
        b0 = 0;
        r0 = 0.0;
    }
    return {b0, (b0 + 1) & 255, r0, r0 - 1.0};
}

inline double s_curve(double t) { return t * t * (3.0 - 2.0 * t); }

inline double lerp(double t, double m, double n) { return m + t * (n - m); }

inline double at(const Vec3 &q, double x, double y, double z) { return x * q.x + y * q.y + z * q.z; }

// Built while the module is loaded, before any thread can ask for noise, so that a noise
// value reads the tables without a first-use test.
const NoiseTables g_tables = build_tables();

}  // namespace

int noise_rand(uint32_t &state) {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFFu);
}

const NoiseTables &noise_tables() { return g_tables; }

double gradient_noise(const Vec3 &P) {
    const NoiseTables &t = g_tables;
    const int *p = t.p;
    const Vec3 *g3 = t.g3;

    const LatticeCoord x = lattice(P.x);
    const LatticeCoord y = lattice(P.y);
    const LatticeCoord z = lattice(P.z);

    const int i = p[x.b0];
    const int j = p[x.b1];
    const int b00 = p[i + y.b0];
    const int b10 = p[j + y.b0];
    const int b01 = p[i + y.b1];
    const int b11 = p[j + y.b1];

    const double sx = s_curve(x.r0);
    const double sy = s_curve(y.r0);
    const double sz = s_curve(z.r0);

    const double e00 = lerp(sx, at(g3[b00 + z.b0], x.r0, y.r0, z.r0), at(g3[b10 + z.b0], x.r1, y.r0, z.r0));
    const double e10 = lerp(sx, at(g3[b01 + z.b0], x.r0, y.r1, z.r0), at(g3[b11 + z.b0], x.r1, y.r1, z.r0));
    const double f0 = lerp(sy, e00, e10);
    const double e01 = lerp(sx, at(g3[b00 + z.b1], x.r0, y.r0, z.r1), at(g3[b10 + z.b1], x.r1, y.r0, z.r1));
    const double e11 = lerp(sx, at(g3[b01 + z.b1], x.r0, y.r1, z.r1), at(g3[b11 + z.b1], x.r1, y.r1, z.r1));
    const double f1 = lerp(sy, e01, e11);
    return lerp(sz, f0, f1);
}

}  // namespace ormel
