// Strings that are bytes, in JSON text.
//
// File names, surface names and item names are bytes: a Latin-1 `caf\xE9.obj` is a legal
// file name and a legal LightWave surface name, yet JSON text is UTF-8 and the JSON library
// refuses anything else. Scene files therefore carry such bytes in a way of their own:
//
// - Writing, a byte that is not part of valid UTF-8 is written as the escape \udcXX, XX
//   its value in hex (0x80 to 0xFF): the convention of "surrogate escapes", which keeps
//   the file valid JSON text. Everything else is written as usual.
// - Reading, an escape \udc80 to \udcff that does not follow a high surrogate (so is not
//   the second half of a character) gives back its byte, and so does a raw byte in a
//   string that is not part of valid UTF-8 (a scene file written by hand in Latin-1).
//
// A saved name therefore reloads to the same bytes. Inside, the parser and the writer see
// a marker in place of such a byte: a NUL followed by two hex digits, and a NUL stands
// for itself doubled (no name can hold these markers by accident: every NUL is doubled).
#ifndef RENDER_JSON_BYTES_H
#define RENDER_JSON_BYTES_H

#include <nlohmann/json.hpp>

#include <string>

namespace render {

// JSON text with each string's stray bytes and byte escapes turned into markers that the
// JSON parser takes; `unmark_bytes` turns the parsed strings back into the bytes.
std::string mark_bytes(const std::string &text);
void unmark_bytes(nlohmann::json &value);

// The value as JSON text (nlohmann's dump, `indent` as there), with stray bytes in its
// strings and keys escaped as above. Never throws for a string's content.
std::string dump_json(const nlohmann::json &value, int indent = -1);

// Whether the bytes are valid UTF-8 (as RFC 3629 defines it).
bool valid_utf8(const std::string &bytes);
// The length of the valid UTF-8 sequence at `at` (1 for ASCII), or 0 when the byte there
// does not start one.
size_t utf8_sequence_length(const std::string &bytes, size_t at);

}  // namespace render

#endif
