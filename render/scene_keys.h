// The keys of scene files, one list per kind of JSON object, in one place: the scene reader
// refuses any other key, and the test of docs/scene-format.md holds the reference to them.
#ifndef RENDER_SCENE_KEYS_H
#define RENDER_SCENE_KEYS_H

#include <utility>
#include <vector>

namespace render {

using KeyList = std::vector<const char *>;

namespace scene_keys {
extern const KeyList scene, camera, ambient, light, object, surface, render, bake;
extern const KeyList box, floor, sphere, stairs, quad;        // primitives, by type
extern const KeyList setting, envelope, layer;                 // animated shader settings
}  // namespace scene_keys

// Every list, by the name the reference gives its table.
const std::vector<std::pair<const char *, const KeyList *>> &scene_key_lists();

}  // namespace render

#endif
