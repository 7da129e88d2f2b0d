#include "render/json_bytes.h"

#include <utility>

namespace render {

using nlohmann::json;

namespace {

const char kHex[] = "0123456789abcdef";

size_t utf8_length(const std::string &s, size_t at) {
    auto byte = [&](size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
    auto cont = [&](size_t i, unsigned lo = 0x80, unsigned hi = 0xBF) { return byte(i) >= lo && byte(i) <= hi; };
    const unsigned b = byte(at);
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) return cont(at + 1) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        const unsigned lo = b == 0xE0 ? 0xA0 : 0x80, hi = b == 0xED ? 0x9F : 0xBF;
        return cont(at + 1, lo, hi) && cont(at + 2) ? 3 : 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        const unsigned lo = b == 0xF0 ? 0x90 : 0x80, hi = b == 0xF4 ? 0x8F : 0xBF;
        return cont(at + 1, lo, hi) && cont(at + 2) && cont(at + 3) ? 4 : 0;
    }
    return 0;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The value of the four hex digits at `at`, or -1.
long hex4(const std::string &s, size_t at) {
    if (at + 4 > s.size()) return -1;
    long v = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const int d = hex_digit(s[i]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

std::string byte_marker(unsigned char b) { return std::string(1, '\0') + kHex[b >> 4] + kHex[b & 15]; }

// A string's bytes with every NUL doubled and every stray byte as its marker; unchanged
// (false) when it needs neither.
bool mark_string(const std::string &s, std::string &out) {
    bool needed = false;
    for (size_t i = 0; i < s.size() && !needed;) {
        const size_t n = s[i] == '\0' ? 0 : utf8_length(s, i);
        needed = n == 0;
        i += n;
    }
    if (!needed) return false;
    out.clear();
    for (size_t i = 0; i < s.size();) {
        const size_t n = s[i] == '\0' ? 0 : utf8_length(s, i);
        if (n > 0) {
            out.append(s, i, n);
            i += n;
        } else {
            out += s[i] == '\0' ? std::string(2, '\0') : byte_marker(static_cast<unsigned char>(s[i]));
            ++i;
        }
    }
    return true;
}

std::string unmark_string(const std::string &s) {
    if (s.find('\0') == std::string::npos) return s;
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (s[i] != '\0') {
            out += s[i++];
        } else if (i + 1 < s.size() && s[i + 1] == '\0') {
            out += '\0';
            i += 2;
        } else if (i + 2 < s.size() && hex_digit(s[i + 1]) >= 0 && hex_digit(s[i + 2]) >= 0) {
            out += static_cast<char>(hex_digit(s[i + 1]) * 16 + hex_digit(s[i + 2]));
            i += 3;
        } else {
            out += s[i++];  // not a marker of ours: kept as it is
        }
    }
    return out;
}

// Applies `change` to every string and key of the value (which the readers have held to a
// few dozen levels of nesting).
template <typename Change>
void change_strings(json &value, const Change &change) {
    if (value.is_string()) {
        change(value.get_ref<std::string &>());
    } else if (value.is_array()) {
        for (json &v : value) change_strings(v, change);
    } else if (value.is_object()) {
        bool keys_change = false;
        for (auto it = value.begin(); it != value.end(); ++it) {
            std::string key = it.key();
            change(key);
            keys_change |= key != it.key();
            change_strings(it.value(), change);
        }
        if (!keys_change) return;
        json renamed = json::object();
        for (auto it = value.begin(); it != value.end(); ++it) {
            std::string key = it.key();
            change(key);
            renamed[key] = std::move(it.value());
        }
        value = std::move(renamed);
    }
}

}  // namespace

size_t utf8_sequence_length(const std::string &bytes, size_t at) { return utf8_length(bytes, at); }

bool valid_utf8(const std::string &bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = utf8_length(bytes, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string mark_bytes(const std::string &text) {
    const std::string nul_escape = "\\u0000";
    std::string out;
    out.reserve(text.size());
    bool in_string = false, after_high_surrogate = false;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (!in_string || c == '"') {
            in_string = in_string ? false : c == '"';
            after_high_surrogate = false;
            out += c;
            ++i;
            continue;
        }
        if (c == '\\') {
            const long code = i + 1 < text.size() && text[i + 1] == 'u' ? hex4(text, i + 2) : -1;
            if (code < 0) {
                // Another escape (or a malformed one, which the parser reports): as it is.
                out.append(text, i, 2);
                i += 2;
                after_high_surrogate = false;
                continue;
            }
            if (code == 0) out += nul_escape + nul_escape;
            else if (code >= 0xDC80 && code <= 0xDCFF && !after_high_surrogate)
                out += nul_escape + kHex[(code >> 4) & 15] + kHex[code & 15];
            else out.append(text, i, 6);
            after_high_surrogate = code >= 0xD800 && code <= 0xDBFF;
            i += 6;
            continue;
        }
        after_high_surrogate = false;
        const size_t n = utf8_length(text, i);
        if (n > 0) {
            out.append(text, i, n);
            i += n;
        } else {
            const auto b = static_cast<unsigned char>(c);
            out += nul_escape + kHex[b >> 4] + kHex[b & 15];
            ++i;
        }
    }
    return out;
}

void unmark_bytes(json &value) {
    change_strings(value, [](std::string &s) { s = unmark_string(s); });
}

std::string dump_json(const json &value, int indent) {
    json marked = value;
    change_strings(marked, [](std::string &s) {
        std::string out;
        if (mark_string(s, out)) s = std::move(out);
    });
    const std::string text = marked.dump(indent);
    // The writer shows each marker's NUL as \u0000: a doubled one is a NUL, one followed
    // by two hex digits a byte.
    const std::string nul_escape = "\\u0000";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '\\') {
            out += text[i++];
            continue;
        }
        if (text.compare(i, nul_escape.size(), nul_escape) != 0) {
            out.append(text, i, 2);
            i += 2;
            continue;
        }
        i += nul_escape.size();
        if (text.compare(i, nul_escape.size(), nul_escape) == 0) {
            out += nul_escape;
            i += nul_escape.size();
        } else {
            out += "\\udc";
            out.append(text, i, 2);
            i += 2;
        }
    }
    return out;
}

}  // namespace render
