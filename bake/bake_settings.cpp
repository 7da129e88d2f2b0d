#include "bake/bake_settings.h"

#include "render/json_read.h"
#include "render/scene_keys.h"

namespace bake {

namespace {

// One text, or a non-empty array of them.
std::vector<std::string> texts(const nlohmann::json &v, const std::string &what) {
    if (!v.is_array()) return {render::json_text(v, what)};
    if (v.empty()) render::json_fail(what + " must name at least one");
    std::vector<std::string> out;
    for (const nlohmann::json &t : v) out.push_back(render::json_text(t, what));
    return out;
}

}  // namespace

bool read_bake_settings(const nlohmann::json &doc, BakeOptions &o, std::string *error) {
    if (!doc.is_object() || !doc.contains("bake")) return true;
    try {
        const nlohmann::json &b = doc["bake"];
        render::check_keys(b, "bake", render::scene_keys::bake);
        if (b.contains("mode") && !o.mode_given && !parse_mode(render::json_text(b["mode"], "bake.mode"), o.mode))
            render::json_fail("bake.mode must be \"vertex\" or \"texture\"");
        if (b.contains("channel") && !o.channel_given &&
            !parse_channel(render::json_text(b["channel"], "bake.channel"), o.channel))
            render::json_fail("bake.channel must be \"weight\" or \"color\"");
        if (b.contains("size") && !o.size_given) o.size = render::json_integer(b["size"], "bake.size", 1, kMaxBakeSize);
        if (b.contains("padding") && !o.padding_given)
            o.padding = render::json_integer(b["padding"], "bake.padding", 0, kMaxBakeSize);
        if (b.contains("output")) o.outputs = texts(b["output"], "bake.output");
        if (b.contains("objects")) o.objects = texts(b["objects"], "bake.objects");
    } catch (const render::JsonError &e) {
        if (error) *error = e.message;
        return false;
    }
    return true;
}

nlohmann::json bake_settings_json(const BakeRequest &r) {
    nlohmann::json b = {{"mode", mode_name(r.options.mode)},
                        {"channel", channel_name(r.options.channel)},
                        {"size", r.options.size},
                        {"padding", r.options.padding}};
    // The names in force, so that the saved scene bakes the same files.
    b["output"] = r.outputs.size() == 1 ? nlohmann::json(r.outputs[0]) : nlohmann::json(r.outputs);
    if (!r.objects.empty()) b["objects"] = r.objects;
    return b;
}

}  // namespace bake
