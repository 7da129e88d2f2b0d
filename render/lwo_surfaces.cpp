#include "render/lwo_surfaces.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace render {

namespace {

uint32_t u4(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
uint32_t u2(const unsigned char *p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

float f4(const unsigned char *p) {
    const uint32_t bits = u4(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

bool is_id(const unsigned char *p, const char *id) { return std::memcmp(p, id, 4) == 0; }

// A null-terminated name padded to an even length, at [at, end): its length with the pad,
// or 0 when it does not end within the bytes.
size_t read_name(const unsigned char *at, const unsigned char *end, std::string &name) {
    const unsigned char *zero = static_cast<const unsigned char *>(std::memchr(at, 0, static_cast<size_t>(end - at)));
    if (!zero) return 0;
    name.assign(reinterpret_cast<const char *>(at), static_cast<size_t>(zero - at));
    const size_t length = static_cast<size_t>(zero - at) + 1;
    return length + (length & 1);
}

// One SURF chunk's body: its name, for LWO2 its source name, then subchunks of a four-byte
// ID, a two-byte length and their data, padded to an even length.
void read_surface(const unsigned char *at, const unsigned char *end, bool lwo2, std::map<std::string, double> &angles) {
    std::string name, source;
    size_t n = read_name(at, end, name);
    if (n == 0 || n > static_cast<size_t>(end - at)) return;
    at += n;
    if (lwo2) {
        n = read_name(at, end, source);
        if (n == 0 || n > static_cast<size_t>(end - at)) return;
        at += n;
    }
    double angle = 0.0;
    while (end - at >= 6) {
        const uint32_t length = u2(at + 4);
        if (length > static_cast<size_t>(end - at) - 6) break;
        if (is_id(at, "SMAN") && length >= 4) {
            const double a = static_cast<double>(f4(at + 6));
            angle = std::isfinite(a) ? std::fabs(a) : 0.0;
        }
        const size_t step = 6 + static_cast<size_t>(length) + (length & 1);
        if (step >= static_cast<size_t>(end - at)) break;
        at += step;
    }
    angles[name] = angle;
}

}  // namespace

bool is_lwo(const std::vector<unsigned char> &bytes) {
    if (bytes.size() < 12 || !is_id(bytes.data(), "FORM")) return false;
    const unsigned char *type = bytes.data() + 8;
    return is_id(type, "LWO2") || is_id(type, "LWOB") || is_id(type, "LWLO");
}

std::map<std::string, double> lwo_smoothing_angles(const std::vector<unsigned char> &bytes) {
    std::map<std::string, double> angles;
    if (!is_lwo(bytes)) return angles;
    const bool lwo2 = is_id(bytes.data() + 8, "LWO2");
    const unsigned char *at = bytes.data() + 12;
    const size_t form_end = std::min<size_t>(bytes.size(), 8 + static_cast<size_t>(u4(bytes.data() + 4)));
    const unsigned char *end = bytes.data() + std::max<size_t>(form_end, 12);
    while (end - at >= 8) {
        const uint32_t length = u4(at + 4);
        if (length > static_cast<size_t>(end - at) - 8) break;
        if (is_id(at, "SURF")) read_surface(at + 8, at + 8 + length, lwo2, angles);
        const size_t step = 8 + static_cast<size_t>(length) + (length & 1);
        if (step >= static_cast<size_t>(end - at)) break;
        at += step;
    }
    return angles;
}

std::vector<unsigned char> read_file_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace render
