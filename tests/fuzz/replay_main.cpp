// Runs a fuzz target without libFuzzer: over stored files, every prefix of them and a
// fixed set of deterministic mutations, so that ordinary builds (and their sanitizers)
// exercise the loaders on hostile data too. Also writes the target's own seeds.
//
//   TARGET_replay [--prefixes] [--mutations N] PATH...   (files or directories)
//   TARGET_replay --write-seeds DIR
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "refhost/block_io.h"
#include "tests/fuzz/target.h"

namespace {

void run(const std::string &bytes) { fuzz::run_input(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()); }

// One of a few damages a stored scene may suffer.
std::string mutate(const std::string &in, std::mt19937 &rng) {
    std::string s = in;
    if (s.empty()) return std::string(1, static_cast<char>(rng()));
    const size_t at = rng() % s.size();
    switch (rng() % 6) {
    case 0:  // a few random bytes
        for (int k = 0; k < 4; ++k) s[rng() % s.size()] = static_cast<char>(rng());
        break;
    case 1:  // a flipped bit
        s[at] = static_cast<char>(s[at] ^ (1 << (rng() % 8)));
        break;
    case 2:  // a cut-out span
        s.erase(at, std::min<size_t>(s.size() - at, 1 + rng() % 16));
        break;
    case 3:  // a repeated span
        s.insert(at, s.substr(at, 1 + rng() % 32));
        break;
    case 4:  // a size or count word made huge or negative
        for (size_t k = at; k < std::min(s.size(), at + 4); ++k) s[k] = static_cast<char>(k == at ? 0x7F : 0xFF);
        break;
    default:  // a digit or brace changed in text
        s[at] = "0123456789{}\"-\\ "[rng() % 16];
        break;
    }
    return s;
}

}  // namespace

int main(int argc, char **argv) {
    bool prefixes = false;
    int mutations = 0;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--write-seeds" && i + 1 < argc) return fuzz::write_seeds(argv[++i]) ? 0 : 1;
        if (arg == "--prefixes") {
            prefixes = true;
        } else if (arg == "--mutations" && i + 1 < argc) {
            mutations = std::atoi(argv[++i]);
        } else if (std::filesystem::is_directory(arg)) {
            for (const auto &entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file()) files.push_back(entry.path().string());
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: %s [--prefixes] [--mutations N] PATH... | --write-seeds DIR\n", argv[0]);
        return 2;
    }
    std::sort(files.begin(), files.end());
    size_t runs = 0;
    for (size_t f = 0; f < files.size(); ++f) {
        std::string bytes;
        if (!refhost::read_file(files[f], bytes)) {
            std::fprintf(stderr, "cannot read %s\n", files[f].c_str());
            return 1;
        }
        run(bytes);
        ++runs;
        if (prefixes)
            for (size_t n = 0; n < bytes.size(); ++n, ++runs) run(bytes.substr(0, n));
        std::mt19937 rng(static_cast<unsigned>(f + 1));
        std::string current = bytes;
        for (int m = 0; m < mutations; ++m, ++runs) {
            // Damage accumulates for a while, then starts again from the stored file.
            current = m % 8 == 0 ? mutate(bytes, rng) : mutate(current, rng);
            run(current);
        }
    }
    std::printf("%zu inputs from %zu files loaded\n", runs, files.size());
    return 0;
}
