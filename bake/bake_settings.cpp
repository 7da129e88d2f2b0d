#include "bake/bake_settings.h"

#include "render/json_read.h"
#include "render/scene_keys.h"

namespace bake {

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
        if (b.contains("output")) o.output = render::json_text(b["output"], "bake.output");
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
    // One file a bake: the name is the scene's to keep. A vertex bake's pair of default
    // names is what a scene without one gets anyway.
    if (r.outputs.size() == 1) b["output"] = r.outputs[0];
    return b;
}

}  // namespace bake
