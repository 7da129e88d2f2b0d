// Smoothing angles from the command line (--smoothing-angle): on every surface, or on the
// surfaces and objects of a name, over what the scene file or the object file says.
#ifndef RENDER_SMOOTHING_OVERRIDE_H
#define RENDER_SMOOTHING_OVERRIDE_H

#include <string>
#include <vector>

#include "refhost/scene.h"
#include "render/host_names.h"
#include "render/scene_file.h"

namespace render {

// Applies each "DEGREES" or "NAME=DEGREES" in turn (the last one for a surface wins): the
// surface's smoothing angle is set and the normals its file gave its polygons are dropped,
// as a scene file's "smoothing_angle" does, and the document records the angle so that
// --save-scene keeps it. NAME is a surface's name or an object's. False with a one-line
// reason (and the nearest names) when a NAME matches nothing.
bool apply_smoothing_overrides(Scene &scene, SceneDescription &desc, const std::vector<std::string> &overrides,
                               std::string *error);

}  // namespace render

#endif
