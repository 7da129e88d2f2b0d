#include "render/json_read.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "render/json_bytes.h"
#include "render/limits.h"
#include "render/setting_names.h"

namespace render {

using nlohmann::json;

namespace {

std::string number_text(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

}  // namespace

std::string one_line(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // Printable ASCII, and characters of valid UTF-8 but the C1 controls (U+0080 to
        // U+009F), which some terminals obey as escapes.
        const size_t n = byte >= 0x80 ? utf8_sequence_length(text, i) : (byte >= 0x20 && byte != 0x7F ? 1 : 0);
        const bool c1 = n == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (n > 0 && !c1) {
            out.append(text, i, n);
            i += n;
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        out += escaped;
        ++i;
    }
    return out;
}

void check_keys(const json &obj, const std::string &where, std::initializer_list<const char *> allowed) {
    if (!obj.is_object()) json_fail(where + " must be an object");
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        bool known = false;
        for (const char *a : allowed) known |= it.key() == a;
        if (!known) json_fail("unknown key \"" + it.key() + "\" in " + where);
    }
}

void check_keys(const json &obj, const std::string &where, const std::vector<const char *> &allowed) {
    if (!obj.is_object()) json_fail(where + " must be an object");
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        bool known = false;
        for (const char *a : allowed) known |= it.key() == a;
        if (!known)
            json_fail("unknown key \"" + it.key() + "\" in " + where +
                      did_you_mean(it.key(), std::vector<std::string>(allowed.begin(), allowed.end())));
    }
}

double json_number(const json &v, const std::string &what) {
    if (!v.is_number()) json_fail(what + " must be a number");
    return v.get<double>();
}

double json_number(const json &v, const std::string &what, double lo, double hi) {
    const double d = v.is_number() ? v.get<double>() : std::nan("");
    if (!(d >= lo && d <= hi))
        json_fail(what + " must be a number from " + number_text(lo) + " to " + number_text(hi));
    return d;
}

int json_integer(const json &v, const std::string &what, int lo, int hi) {
    // Held against the range as the 64-bit number the file holds, before any conversion
    // could wrap it into range.
    bool ok = false;
    long long n = 0;
    if (v.is_number_unsigned()) {
        const std::uint64_t u = v.get<std::uint64_t>();
        ok = u <= static_cast<std::uint64_t>(hi < 0 ? 0 : hi);
        n = ok ? static_cast<long long>(u) : 0;
    } else if (v.is_number_integer()) {
        n = v.get<std::int64_t>();
        ok = true;
    }
    if (!ok || n < lo || n > hi)
        json_fail(what + " must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
    return static_cast<int>(n);
}

std::string json_text(const json &v, const std::string &what) {
    if (!v.is_string()) json_fail(what + " must be a string");
    return v.get<std::string>();
}

Vec3d json_vec3(const json &v, const std::string &what) {
    if (!v.is_array() || v.size() != 3) json_fail(what + " must be an array of three numbers");
    return {json_number(v[0], what), json_number(v[1], what), json_number(v[2], what)};
}

double json_coordinate(const json &v, const std::string &what) {
    return json_number(v, what, -kMaxCoordinate, kMaxCoordinate);
}

Vec3d json_point(const json &v, const std::string &what) {
    if (!v.is_array() || v.size() != 3) json_fail(what + " must be an array of three numbers");
    return {json_coordinate(v[0], what), json_coordinate(v[1], what), json_coordinate(v[2], what)};
}

void json_values(const json &v, bool three, const std::string &what, double out[3]) {
    if (three) {
        const Vec3d c = json_vec3(v, what);
        out[0] = c.x, out[1] = c.y, out[2] = c.z;
    } else {
        out[0] = out[1] = out[2] = json_number(v, what);
    }
}

namespace {

// Parses at most kMaxJsonDepth levels deep, strings as bytes (render/json_bytes.h). False
// for text that is not JSON; deeper nesting fails with a JsonError naming `what`.
bool parse_within_depth(const std::string &text, const std::string &what, json &out, std::string *why) {
    // Deep nesting would overflow the stack later, in the library's recursive copies and
    // comparisons: it is refused while parsing, which keeps its own stack on the heap.
    const json::parser_callback_t depth_check = [&](int depth, json::parse_event_t, json &) {
        if (depth >= kMaxJsonDepth)  // the outermost level is depth 0
            json_fail(what + ": arrays and objects nest more than " + std::to_string(kMaxJsonDepth) + " deep");
        return true;
    };
    try {
        out = json::parse(mark_bytes(text), depth_check);
    } catch (const json::exception &e) {
        if (why) *why = e.what();
        return false;
    }
    unmark_bytes(out);
    return true;
}

}  // namespace

json parse_json(const std::string &text, const std::string &what) {
    json value;
    std::string why;
    if (!parse_within_depth(text, what, value, &why)) json_fail("malformed JSON in " + what + ": " + why);
    return value;
}

bool try_parse_json(const std::string &text, const std::string &what, json &value) {
    return parse_within_depth(text, what, value, nullptr);
}

}  // namespace render
