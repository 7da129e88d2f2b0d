// Three-dimensional gradient noise on doubles, with the tables it reads.
#ifndef ORMEL_SHADING_NOISE_H
#define ORMEL_SHADING_NOISE_H

#include <cstdint>

#include "common/vec.h"

namespace ormel {

constexpr int kNoiseB = 256;
constexpr int kNoiseTableSize = 2 * kNoiseB + 2;

// One draw of the table generator: advances state and yields an integer in 0..32767.
int noise_rand(uint32_t &state);

struct NoiseTables {
    int p[kNoiseTableSize];
    Vec3 g3[kNoiseTableSize];
};

// The tables, built when the module is loaded and read-only afterwards.
const NoiseTables &noise_tables();

// Gradient noise at P: exactly 0 at integer coordinates, smooth in between, finite for
// every input (coordinates too large for a 32-bit integer, infinities and NaN included).
double gradient_noise(const Vec3 &P);

}  // namespace ormel

#endif
