// The work the shaders of a scene ask for, held against the limits (render/limits.h)
// once every setting, stored state and command-line override is in place.
#ifndef RENDER_SHADER_LIMITS_H
#define RENDER_SHADER_LIMITS_H

#include <string>

#include "refhost/host.h"
#include "refhost/shader_server.h"
#include "render/host_names.h"
#include "render/scene_file.h"

namespace render {

// Rays the instance casts per shaded spot: sample_count × sample_itr as its panel reads
// them (zero when either is zero or less), before any stepping through foreign objects.
long long shader_rays_per_spot(Host &host, const ShaderServer &server, LWInstance instance);

// False, with a one-line reason naming the surface and the settings, when a surface's
// shader asks for more rays per spot than the limit allows.
bool check_shader_limits(Host &host, const ShaderServer &server, const SceneDescription &desc, std::string *error);

}  // namespace render

#endif
