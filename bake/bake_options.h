// Command-line options of baking: what `dirt-render --bake` writes instead of images.
//
// | Option            | Values             | Default  | Meaning                                   |
// |-------------------|--------------------|----------|-------------------------------------------|
// | --bake MODE       | vertex, texture    | (render) | bake the dirt instead of rendering        |
// | --bake-channel C  | weight, color      | weight   | the mask's weight, or the shaded colour   |
// | --bake-size N     | 1 .. 16384         | 1024     | texture bakes: N x N texels               |
// | --bake-padding P  | 0 .. 16384         | 4        | texture bakes: texels the islands grow by |
//
// The options are taken out of the command line before the renderer's own options are
// read, so that the renderer's parser need not know them.
#ifndef BAKE_BAKE_OPTIONS_H
#define BAKE_BAKE_OPTIONS_H

#include <string>
#include <vector>

namespace bake {

enum class BakeMode { None, Vertex, Texture };
enum class BakeChannel { Weight, Color };

constexpr int kDefaultBakeSize = 1024;
constexpr int kDefaultBakePadding = 4;
constexpr int kMaxBakeSize = 16384;

struct BakeOptions {
    BakeMode mode = BakeMode::None;
    BakeChannel channel = BakeChannel::Weight;
    int size = kDefaultBakeSize;
    int padding = kDefaultBakePadding;
    // A scene file's bake.output (one name or several) and bake.objects; the command line's
    // -o comes first.
    std::vector<std::string> outputs;
    std::vector<std::string> objects;
    // Which were given on the command line (a scene file's bake settings fill the others).
    bool mode_given = false, channel_given = false, size_given = false, padding_given = false;
};

// Removes the bake options from `args` (argv without the program name), filling
// `options`. False with a one-line reason for a missing or malformed value.
bool take_bake_options(std::vector<std::string> &args, BakeOptions &options, std::string *error);

const char *mode_name(BakeMode mode);
const char *channel_name(BakeChannel channel);
bool parse_mode(const std::string &text, BakeMode &mode);
bool parse_channel(const std::string &text, BakeChannel &channel);

// The bake part of --help.
const char *bake_usage();

}  // namespace bake

#endif
