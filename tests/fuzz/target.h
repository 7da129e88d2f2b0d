// What every fuzz target offers its drivers: libFuzzer's entry point calls run_input, and
// the replay program (replay_main.cpp) runs stored and mutated inputs through it and
// writes the target's seed corpus.
#ifndef ORMEL_TESTS_FUZZ_TARGET_H
#define ORMEL_TESTS_FUZZ_TARGET_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Runs one input; aborts (so that the fuzzer reports it) when a check fails.
void run_input(const uint8_t *data, size_t size);

// Writes the seeds the target makes itself into dir; false when one cannot be written.
bool write_seeds(const std::string &dir);

}  // namespace fuzz

#endif
