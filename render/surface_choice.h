// Surfaces chosen by name on the command line: --set SURFACE:NAME=VALUE (or
// OBJECT/SURFACE:NAME=VALUE where surfaces of several objects share a name), --no-dirt
// SURFACE, and the table --list-surfaces prints.
#ifndef RENDER_SURFACE_CHOICE_H
#define RENDER_SURFACE_CHOICE_H

#include <string>
#include <vector>

#include "refhost/scene.h"
#include "render/host_names.h"
#include "render/scene_file.h"

namespace render {

// Splits "SCOPE:NAME=VALUE" into its scope and "NAME=VALUE": the scope is what stands before
// the last ':' ahead of the first '='; empty (every surface) when there is none.
std::string setting_scope(const std::string &text, std::string *rest);

// Whether a scope ("SURFACE" or "OBJECT/SURFACE") names the surface.
bool scope_names(const std::string &scope, const Surface &surface);

// Empty when the scope names at least one of the scene's surfaces; else a one-line reason
// for the option, with the nearest surface names.
std::string unmatched_scope(const Scene &scene, const std::string &scope, const std::string &option);

// Takes the dirt shader off every surface a scope names, in the scene description and its
// document (so that a saved scene keeps it off).
void remove_dirt(SceneDescription &desc, const std::vector<std::string> &scopes);

// One line per surface: object, surface, polygons, smoothing angle, whether the shader is
// on, under a heading.
std::string surface_table(const Scene &scene);

}  // namespace render

#endif
