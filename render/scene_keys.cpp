#include "render/scene_keys.h"

namespace render {
namespace scene_keys {

const KeyList scene = {"camera", "ambient", "lights", "objects", "surfaces", "render", "bake", "background"};
const KeyList camera = {"name", "position", "rotation", "look_at", "zoom", "fov"};
const KeyList ambient = {"color", "intensity"};
const KeyList light = {"name",      "type",  "position",  "rotation",    "direction",  "color",
                       "intensity", "no_diffuse", "no_specular", "cone_angle", "cone_edge", "exclude"};
const KeyList object = {"name", "file", "up", "primitives", "position", "rotation", "scale"};
const KeyList surface = {"object",     "name",       "color",           "diffuse", "specular",
                         "glossiness", "reflection", "smoothing_angle", "dirt",    "dirt_state"};
const KeyList render = {"width", "height", "samples", "frames", "fps", "max_depth", "output", "depth", "exposure", "turntable"};
const KeyList bake = {"mode", "channel", "size", "padding", "output", "objects"};

const KeyList box = {"type", "surface", "min", "max"};
const KeyList floor = {"type", "surface", "size", "height", "cells"};
const KeyList sphere = {"type", "surface", "center", "radius", "rings", "segments"};
const KeyList stairs = {"type", "surface", "origin", "steps", "width", "rise", "run"};
const KeyList quad = {"type", "surface", "corner", "u", "v"};

const KeyList setting = {"value", "envelope", "texture"};
const KeyList envelope = {"keys", "shape"};
const KeyList layer = {"type", "opacity", "value", "invert", "size", "center", "axis", "image", "input", "item", "keys"};

}  // namespace scene_keys

const std::vector<std::pair<const char *, const KeyList *>> &scene_key_lists() {
    using namespace scene_keys;
    static const std::vector<std::pair<const char *, const KeyList *>> lists = {
        {"scene", &scene},   {"camera", &camera},     {"ambient", &ambient},   {"light", &light},
        {"object", &object}, {"box", &box},           {"floor", &floor},       {"sphere", &sphere},
        {"stairs", &stairs}, {"quad", &quad},         {"surface", &surface},   {"setting", &setting},
        {"envelope", &envelope}, {"layer", &layer},   {"render", &render},     {"bake", &bake},
    };
    return lists;
}

}  // namespace render
