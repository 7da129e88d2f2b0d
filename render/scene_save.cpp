#include "render/scene_save.h"
#include "render/path_parts.h"

#include <climits>
#include <cstdlib>

#include "render/shader_setup.h"

namespace render {

using nlohmann::json;

namespace {


std::string canonical(const std::string &path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

json render_settings(const RenderSettings &rs) {
    json r = {{"width", rs.width},   {"height", rs.height},       {"samples", rs.samples},
              {"frames", json::array({rs.first_frame, rs.last_frame})},
              {"fps", rs.fps},       {"max_depth", rs.max_depth}, {"output", rs.output}};
    if (!rs.depth.empty()) r["depth"] = rs.depth;
    if (rs.exposure != 0.0) r["exposure"] = rs.exposure;
    if (rs.turntable > 0) r["turntable"] = rs.turntable;
    return r;
}

}  // namespace

json document_to_save(Host &host, const ShaderServer &server, const SceneDescription &desc,
                      const std::string &save_path) {
    json doc = scene_document_with_instances(host, server, desc);
    doc["render"] = render_settings(desc.render);
    const bool same_folder = canonical(folder_of(save_path)) == canonical(desc.base_dir.empty() ? "." : desc.base_dir);
    if (!same_folder && doc.contains("objects") && doc["objects"].is_array()) {
        for (json &object : doc["objects"]) {
            if (!object.is_object() || !object.contains("file") || !object["file"].is_string()) continue;
            const std::string file = object["file"].get<std::string>();
            if (file.empty() || file[0] == '/') continue;
            object["file"] = canonical(desc.base_dir + "/" + file);
        }
    }
    return doc;
}

}  // namespace render
