// Loading stored instances from untrusted bytes: one shader instance loads the bytes in
// each storage mode through the reference host, and must come out usable.
#ifndef ORMEL_TESTS_FUZZ_INSTANCE_LOAD_TARGET_H
#define ORMEL_TESTS_FUZZ_INSTANCE_LOAD_TARGET_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Loads the bytes into a fresh instance in binary and in text mode. Aborts (so that the
// fuzzer reports it) when a load or save leaves a block open, or when the instance's save,
// once loaded into a fresh instance, does not save and load back unchanged.
void load_both_modes(const uint8_t *data, size_t size);

// The stored form of a new and of an edited instance in one mode, for seeding the corpus.
std::string saved_new_instance(int io_mode);
std::string saved_edited_instance(int io_mode);

}  // namespace fuzz

#endif
