// Checked reading of JSON values for scene files and shader settings: every mistake
// becomes a JsonError carrying a one-line message that names the offending place.
#ifndef RENDER_JSON_READ_H
#define RENDER_JSON_READ_H

#include <nlohmann/json.hpp>

#include <initializer_list>
#include <string>
#include <vector>

#include "refhost/scene.h"
#include "render/host_names.h"

namespace render {

struct JsonError {
    std::string message;
};

// The text with every control character (line breaks, escapes, DEL, the C1 controls) and
// every byte that is not part of valid UTF-8 written as \xNN, so that a message quoting a
// file's content or a name stays one line, cannot drive a terminal and shows every byte.
std::string one_line(const std::string &text);

[[noreturn]] inline void json_fail(const std::string &message) { throw JsonError{one_line(message)}; }

constexpr double kDegree = 3.14159265358979323846 / 180.0;

// Fails unless obj is an object whose keys are all among allowed.
void check_keys(const nlohmann::json &obj, const std::string &where,
                std::initializer_list<const char *> allowed);
// The same for a list of scene_keys.h; an unknown key's message names the nearest ones.
void check_keys(const nlohmann::json &obj, const std::string &where, const std::vector<const char *> &allowed);
double json_number(const nlohmann::json &v, const std::string &what);
// A number from lo to hi; the message names the range.
double json_number(const nlohmann::json &v, const std::string &what, double lo, double hi);
// A whole number from lo to hi: never wrapped into range.
int json_integer(const nlohmann::json &v, const std::string &what, int lo, int hi);
std::string json_text(const nlohmann::json &v, const std::string &what);
Vec3d json_vec3(const nlohmann::json &v, const std::string &what);
// A position, length or scale: within kMaxCoordinate of zero.
double json_coordinate(const nlohmann::json &v, const std::string &what);
Vec3d json_point(const nlohmann::json &v, const std::string &what);
// [r, g, b] into out when three, else one number copied into all three.
void json_values(const nlohmann::json &v, bool three, const std::string &what, double out[3]);

// Parses a document of at most kMaxJsonDepth levels of nesting; anything else (bad syntax,
// a number beyond double range, deeper nesting) fails with a JsonError that names `what`.
// Strings are bytes: see render/json_bytes.h for those that are not UTF-8.
nlohmann::json parse_json(const std::string &text, const std::string &what);
// The same for text that may be JSON (a command-line value): false, and no error, when it
// is not; deeper nesting still fails with a JsonError.
bool try_parse_json(const std::string &text, const std::string &what, nlohmann::json &value);

}  // namespace render

#endif
