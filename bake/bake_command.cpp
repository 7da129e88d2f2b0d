#include "bake/bake_command.h"

#include <cstdio>

#include "bake/mesh_export.h"
#include "render/image_output.h"

namespace bake {

bool make_bake_request(const render::RenderOptions &o, const render::SceneDescription &desc, const BakeOptions &b,
                       BakeRequest &r, std::string *error) {
    if (!o.mask.empty() || o.compare) {
        if (error) *error = "a bake writes no image: --mask and --compare do not go with it";
        return false;
    }
    r.options = b;
    r.outputs = !o.output.empty()    ? std::vector<std::string>{o.output}
                : !b.outputs.empty() ? b.outputs
                                     : default_bake_outputs(b.mode, o.input);
    r.depth = o.depth.empty() ? desc.render.depth : o.depth;
    r.first_frame = o.frames_given ? o.first_frame : desc.render.first_frame;
    r.last_frame = o.frames_given ? o.last_frame : desc.render.last_frame;
    r.fps = desc.render.fps;
    r.samples = o.samples ? o.samples : desc.render.samples;
    r.threads = o.threads;
    r.scene_bytes = desc.memory_bytes;
    const bool scene_file = o.input.size() >= 5 && o.input.compare(o.input.size() - 5, 5, ".json") == 0;
    r.objects = b.objects;
    // An object file's scene: its object first, then the ground plane.
    if (!o.input.empty() && !scene_file && r.objects.empty() && desc.document.contains("objects") &&
        !desc.document["objects"].empty() && desc.document["objects"][0].contains("name"))
        r.objects = {desc.document["objects"][0]["name"].get<std::string>()};
    if (!o.input.empty()) r.inputs.push_back(o.input);
    if (!o.plugin.empty()) r.inputs.push_back(o.plugin);
    // The scene's object files (its images are the run's to add, from the scene).
    if (desc.document.is_object() && desc.document.contains("objects") && desc.document["objects"].is_array()) {
        for (const nlohmann::json &object : desc.document["objects"]) {
            if (!object.is_object() || !object.contains("file") || !object["file"].is_string()) continue;
            std::string file = object["file"].get<std::string>();
            if (!file.empty() && file[0] != '/' && !desc.base_dir.empty()) file = desc.base_dir + "/" + file;
            r.inputs.push_back(file);
        }
    }
    // The files the importer opened for the object files (an OBJ's material library, a glTF
    // file's buffers).
    r.inputs.insert(r.inputs.end(), desc.files_read.begin(), desc.files_read.end());
    // Each output's format and place, for the first frame, before anything is loaded.
    const bool several_frames = r.last_frame > r.first_frame;
    for (const std::string &pattern : r.outputs) {
        const std::string first = bake_file_name(pattern, "object", false, r.first_frame, several_frames);
        if (b.mode == BakeMode::Texture) {
            render::ImageFormat format;
            const bool exr = first.size() >= 4 && first.compare(first.size() - 4, 4, ".exr") == 0;
            if (!render::image_format_for(first, r.depth.empty() && exr ? "float" : r.depth, format, error))
                return false;
        } else {
            std::string format;
            if (!mesh_format_for(first, format, error)) return false;
        }
    }
    return true;
}

std::string idle_bake_options(const BakeOptions &b) {
    if (b.mode != BakeMode::None) return "";
    std::string given;
    for (const auto &[on, name] : {std::pair<bool, const char *>{b.channel_given, "--bake-channel"},
                                   {b.size_given, "--bake-size"},
                                   {b.padding_given, "--bake-padding"}})
        if (on) given += (given.empty() ? "" : ", ") + std::string(name);
    return given.empty() ? "" : given + " without --bake (or a scene's bake.mode) changes nothing: the scene renders";
}

std::string bake_summary_line(const BakeRequest &r, const BakeSummary &s) {
    const double secs = s.stats.seconds > 0.0 ? s.stats.seconds : 1e-9;
    char text[320];
    std::snprintf(text, sizeof text,
                  "%ld %s baked: %ld spots shaded, %ld rays cast by the plug-in, %.2f s bake time, %.0f spots/s, "
                  "%.0f rays/s (%d threads)",
                  s.points, r.options.mode == BakeMode::Texture ? "texels" : "vertices", s.stats.spots_shaded,
                  s.stats.plugin_rays, s.stats.seconds, static_cast<double>(s.stats.spots_shaded) / secs,
                  static_cast<double>(s.stats.plugin_rays) / secs, s.stats.started_threads);
    return text;
}

}  // namespace bake
