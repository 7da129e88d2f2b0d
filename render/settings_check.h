// Warnings for settings that the plug-in takes but that are almost surely a mistake, and for
// scenes that give the shader nothing to do. Nothing here refuses a value: the plug-in's
// own ranges stand.
#ifndef RENDER_SETTINGS_CHECK_H
#define RENDER_SETTINGS_CHECK_H

#include <string>
#include <vector>

#include "refhost/scene.h"
#include "refhost/shader_server.h"
#include "render/host_names.h"
#include "render/scene_file.h"

namespace render {

// Rays per spot above this many make a render very slow.
constexpr long long kSlowRaysPerSpot = 256;

// One line per doubtful setting of each shaded surface, read from its instance through the
// plug-in's panel at the time of every frame rendered:
// - dirt_amount above 100 % or below 0;
// - dirt_width at or below 0, dirt_falloff at or below 0;
// - sample_count or sample_itr at or below 0 (no rays), or more than kSlowRaysPerSpot rays
//   per spot, with an estimate of the rays a frame may cast.
std::vector<std::string> check_settings(Host &host, const ShaderServer &server, const SceneDescription &desc);

// A warning when no object of the scene has a polygon to shade; empty otherwise.
std::string check_scene_geometry(const Scene &scene);

}  // namespace render

#endif
