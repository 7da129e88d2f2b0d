#include "render/texture_images.h"

namespace render {

std::string unreadable_texture_image(const Scene &scene) {
    for (const auto &image : scene.images())
        if (image->width <= 0 || image->height <= 0 || image->rgb.empty())
            return "cannot read texture image " + (image->filename.empty() ? image->name : image->filename) +
                   " (named by a stored dirt_state)";
    return "";
}

}  // namespace render
