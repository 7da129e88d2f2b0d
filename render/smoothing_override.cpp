#include "render/smoothing_override.h"

#include <algorithm>
#include <cstdlib>

#include "render/json_read.h"
#include "render/setting_names.h"

namespace render {

using nlohmann::json;

namespace {

void drop_file_normals(Scene &scene, const Surface &surface) {
    Item *object = scene.find_object_by_filename(surface.object_filename);
    if (!object) return;
    for (const auto &layer : object->layers)
        for (const auto &polygon : layer->mesh.polygons)
            if (polygon->surface == surface.name) polygon->normals.clear();
}

// The surface's entry in the document's "surfaces", made when there is none.
json &document_entry(json &doc, const Surface &surface) {
    if (!doc.contains("surfaces") || !doc["surfaces"].is_array()) doc["surfaces"] = json::array();
    for (json &e : doc["surfaces"])
        if (e.is_object() && e.value("object", "") == surface.object_filename && e.value("name", "") == surface.name)
            return e;
    doc["surfaces"].push_back(json{{"object", surface.object_filename}, {"name", surface.name}});
    return doc["surfaces"].back();
}

}  // namespace

bool apply_smoothing_overrides(Scene &scene, SceneDescription &desc, const std::vector<std::string> &overrides,
                               std::string *error) {
    for (const std::string &text : overrides) {
        const size_t eq = text.rfind('=');
        const std::string name = eq == std::string::npos ? "" : text.substr(0, eq);
        const double degrees = std::strtod(text.c_str() + (eq == std::string::npos ? 0 : eq + 1), nullptr);
        std::vector<std::string> names;
        bool matched = false;
        for (const auto &s : scene.surfaces()) {
            names.push_back(s->name);
            if (std::find(names.begin(), names.end(), s->object_filename) == names.end())
                names.push_back(s->object_filename);
            if (!name.empty() && s->name != name && s->object_filename != name) continue;
            matched = true;
            s->values.smoothing_angle = degrees * kDegree;
            drop_file_normals(scene, *s);
            document_entry(desc.document, *s)["smoothing_angle"] = degrees;
        }
        if (!matched && !name.empty()) {
            if (error) *error = "--smoothing-angle: no surface or object is named \"" + name + "\"" + did_you_mean(name, names);
            return false;
        }
    }
    return true;
}

}  // namespace render
