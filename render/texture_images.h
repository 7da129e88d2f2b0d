// The scene's texture images after the shaders are set up: a stored shader state names its
// images by file, and one whose file cannot be read would leave the texture without
// pixels, rendering as if it were not there.
#ifndef RENDER_TEXTURE_IMAGES_H
#define RENDER_TEXTURE_IMAGES_H

#include <string>

#include "refhost/scene.h"
#include "render/host_names.h"

namespace render {

// Empty when every image of the scene has its pixels; else a one-line reason naming the
// first file that could not be read.
std::string unreadable_texture_image(const Scene &scene);

}  // namespace render

#endif
