#include "bake/bake_options.h"

#include <cerrno>
#include <cstdlib>

namespace bake {

namespace {

bool parse_count(const std::string &s, int lo, int hi, int &out) {
    if (s.empty()) return false;
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

const char *mode_name(BakeMode mode) {
    return mode == BakeMode::Vertex ? "vertex" : mode == BakeMode::Texture ? "texture" : "none";
}

const char *channel_name(BakeChannel channel) { return channel == BakeChannel::Color ? "color" : "weight"; }

bool parse_mode(const std::string &text, BakeMode &mode) {
    if (text == "vertex") return mode = BakeMode::Vertex, true;
    if (text == "texture") return mode = BakeMode::Texture, true;
    return false;
}

bool parse_channel(const std::string &text, BakeChannel &channel) {
    if (text == "weight") return channel = BakeChannel::Weight, true;
    if (text == "color" || text == "colour") return channel = BakeChannel::Color, true;
    return false;
}

bool take_bake_options(std::vector<std::string> &args, BakeOptions &o, std::string *error) {
    auto fail = [&](const std::string &msg) {
        if (error) *error = msg;
        return false;
    };
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        const bool known = arg == "--bake" || arg == "--bake-channel" || arg == "--bake-size" || arg == "--bake-padding";
        // A value of another option (-o --bake, say) is not an option.
        if (!known) {
            rest.push_back(arg);
            continue;
        }
        if (i + 1 >= args.size()) return fail(arg + " needs a value (see --help)");
        const std::string &v = args[++i];
        if (arg == "--bake") {
            if (!parse_mode(v, o.mode)) return fail("--bake needs vertex or texture");
            o.mode_given = true;
        } else if (arg == "--bake-channel") {
            if (!parse_channel(v, o.channel)) return fail("--bake-channel needs weight or color");
            o.channel_given = true;
        } else if (arg == "--bake-size") {
            if (!parse_count(v, 1, kMaxBakeSize, o.size))
                return fail("--bake-size needs a whole number from 1 to " + std::to_string(kMaxBakeSize));
            o.size_given = true;
        } else {
            if (!parse_count(v, 0, kMaxBakeSize, o.padding))
                return fail("--bake-padding needs a whole number from 0 to " + std::to_string(kMaxBakeSize));
            o.padding_given = true;
        }
    }
    args = std::move(rest);
    return true;
}

const char *bake_usage() {
    return "\n"
           "baking (instead of an image, the dirt on the object itself):\n"
           "  --bake vertex         every vertex of each shaded object gets the dirt; -o names a\n"
           "                        .ply (ASCII, red/green/blue 0-255), .glb or .gltf (COLOR_0);\n"
           "                        without -o, NAME-dirt.ply and NAME-dirt.glb (NAME-dirt.png for\n"
           "                        textures), NAME the input's\n"
           "                          dirt-render model.lwo --bake vertex -o model-dirt.glb\n"
           "  --bake texture        a texture in the object's first UV set, each texel the average\n"
           "                        of --samples points of the surface inside it; -o names a .png\n"
           "                        (--depth 8 or 16) or .exr (float, unclamped)\n"
           "                          dirt-render model.gltf --bake texture -o dirt.png --bake-size 512\n"
           "  --bake-channel C      weight (default): the dirt mask's weight, 0 clean to 1 full dirt;\n"
           "                        color: the shader's colour on the surface's base colour, unlit\n"
           "                          dirt-render model.obj --bake vertex --bake-channel color -o c.ply\n"
           "  --bake-size N         texture bakes: N x N texels (default 1024)\n"
           "                          dirt-render model.gltf --bake texture --bake-size 2048 -o d.exr\n"
           "  --bake-padding P      texture bakes: texels outside the UV islands filled by growing\n"
           "                        them P texels (default 4), so that seams do not bleed\n"
           "                          dirt-render model.gltf --bake texture --bake-padding 8 -o d.png\n"
           "  A scene file bakes every object that carries the shader, one file each: {object} in\n"
           "  the name takes the object's name, else several objects add _NAME before the\n"
           "  extension; a run of # takes the frame number (--frames bakes each frame).\n"
           "  Object files bake the object alone (its ground plane still casts dirt; --no-ground).\n";
}

}  // namespace bake
