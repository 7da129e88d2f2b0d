// Reading and writing PNG images (8-bit sRGB on disk, linear floats in memory).
#ifndef RENDER_PNG_IMAGE_H
#define RENDER_PNG_IMAGE_H

#include <string>
#include <vector>

#include "refhost/scene.h"
#include "render/host_names.h"

namespace render {

// The host image list's codec: the file's 8-bit values as they are, 0 to 1. The reader is
// what the renderer installs as its host's image file reader.
// The writer replaces the file atomically (render/atomic_file.h); false, with a one-line
// reason in *error when given, when it cannot.
bool read_png_image(const std::string &path, Image &image);
bool write_png_image(const std::string &path, const Image &image, std::string *error = nullptr);

struct RgbImage {
    int width = 0, height = 0;
    std::vector<float> rgb;  // linear, width * height * 3, rows top to bottom

    float *pixel(int x, int y) { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
    const float *pixel(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// Linear to sRGB-encoded 8-bit, with clamping.
unsigned char linear_to_srgb8(float v);
float srgb8_to_linear(unsigned char v);

// Write as an 8-bit sRGB PNG, atomically; false with a reason in *error on failure.
bool write_png(const std::string &path, const RgbImage &image, std::string *error);
// Read any 8- or 16-bit PNG into linear RGB; false with a reason in *error on failure.
bool read_png(const std::string &path, RgbImage &image, std::string *error);

}  // namespace render

#endif
