#include "render/surface_choice.h"

#include <cmath>
#include <cstdio>

#include "render/json_read.h"
#include "render/setting_names.h"

namespace render {

std::string setting_scope(const std::string &text, std::string *rest) {
    const size_t eq = text.find('=');
    const size_t colon = text.rfind(':', eq == std::string::npos ? std::string::npos : eq);
    if (colon == std::string::npos || (eq != std::string::npos && colon > eq)) {
        if (rest) *rest = text;
        return "";
    }
    if (rest) *rest = text.substr(colon + 1);
    return text.substr(0, colon);
}

bool scope_names(const std::string &scope, const Surface &surface) {
    if (scope == surface.name) return true;
    return scope == surface.object_filename + "/" + surface.name;
}

std::string unmatched_scope(const Scene &scene, const std::string &scope, const std::string &option) {
    std::vector<std::string> names;
    for (const auto &s : scene.surfaces()) {
        if (scope_names(scope, *s)) return "";
        names.push_back(s->name);
        names.push_back(s->object_filename + "/" + s->name);
    }
    return option + ": no surface is named \"" + scope + "\"" + did_you_mean(scope, names) +
           " (--list-surfaces lists them)";
}

void remove_dirt(SceneDescription &desc, const std::vector<std::string> &scopes) {
    auto named = [&](const Surface &s) {
        for (const std::string &scope : scopes)
            if (scope_names(scope, s)) return true;
        return false;
    };
    std::vector<ShaderSettings> kept;
    for (ShaderSettings &s : desc.shaders)
        if (!named(*s.surface)) kept.push_back(std::move(s));
    desc.shaders = std::move(kept);
    nlohmann::json &surfaces = desc.document["surfaces"];
    if (!surfaces.is_array()) return;
    for (nlohmann::json &e : surfaces) {
        if (!e.is_object()) continue;
        Surface probe;
        probe.name = e.value("name", "");
        probe.object_filename = e.value("object", "");
        if (named(probe)) {
            e["dirt"] = false;
            e.erase("dirt_state");
        }
    }
}

std::string surface_table(const Scene &scene) {
    std::string out = "object / surface: polygons, smoothing angle, dirt shader\n";
    for (const auto &s : scene.surfaces()) {
        long polygons = 0;
        if (const Item *object = scene.find_object_by_filename(s->object_filename))
            for (const auto &layer : object->layers)
                for (const auto &p : layer->mesh.polygons) polygons += p->surface == s->name;
        char line[96];
        std::snprintf(line, sizeof line, ": %ld polygons, smoothing %g degrees, dirt %s\n", polygons,
                      s->values.smoothing_angle / kDegree, s->shaders.empty() ? "off" : "on");
        out += s->object_filename + "/" + s->name + line;
    }
    return out;
}

}  // namespace render
