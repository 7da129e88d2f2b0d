#include "render/json_read.h"

#include "render/setting_names.h"

namespace render {

using nlohmann::json;

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

int json_integer(const json &v, const std::string &what) {
    if (!v.is_number_integer()) json_fail(what + " must be a whole number");
    return v.get<int>();
}

std::string json_text(const json &v, const std::string &what) {
    if (!v.is_string()) json_fail(what + " must be a string");
    return v.get<std::string>();
}

Vec3d json_vec3(const json &v, const std::string &what) {
    if (!v.is_array() || v.size() != 3) json_fail(what + " must be an array of three numbers");
    return {json_number(v[0], what), json_number(v[1], what), json_number(v[2], what)};
}

void json_values(const json &v, bool three, const std::string &what, double out[3]) {
    if (three) {
        const Vec3d c = json_vec3(v, what);
        out[0] = c.x, out[1] = c.y, out[2] = c.z;
    } else {
        out[0] = out[1] = out[2] = json_number(v, what);
    }
}

}  // namespace render
