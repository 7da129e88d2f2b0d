#include "render/png_image.h"

#include <png.h>

#include <cmath>
#include <filesystem>

#include "render/atomic_file.h"
#include "render/limits.h"

namespace render {

bool read_png_image(const std::string &path, Image &image) {
    // Only regular files (a pipe or a device could block or never end), and only images
    // that fit the memory limit: a small file may claim a huge image.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) == 0 || ec) return false;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    if (!within_memory(image_file_bytes(png.width, png.height))) {
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> bytes(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgb.resize(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) image.rgb[i] = static_cast<float>(bytes[i]) / 255.0f;
    return true;
}

bool write_png_image(const std::string &path, const Image &image, std::string *error) {
    const size_t n = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3;
    if (image.width <= 0 || image.height <= 0 || image.rgb.size() < n) {
        if (error) *error = "cannot write " + path + ": the image has no pixels";
        return false;
    }
    std::vector<unsigned char> bytes(n);
    for (size_t i = 0; i < n; ++i) {
        const double v = static_cast<double>(image.rgb[i]);
        bytes[i] = !(v > 0.0) ? 0 : v >= 1.0 ? 255 : static_cast<unsigned char>(std::lround(v * 255.0));
    }
    return write_stream_atomically(
        path,
        [&](FILE *file, std::string *why) {
            png_image png{};
            png.version = PNG_IMAGE_VERSION;
            png.width = static_cast<png_uint_32>(image.width);
            png.height = static_cast<png_uint_32>(image.height);
            png.format = PNG_FORMAT_RGB;
            if (png_image_write_to_stdio(&png, file, 0, bytes.data(), 0, nullptr)) return true;
            *why = png.message;
            return false;
        },
        error);
}

unsigned char linear_to_srgb8(float v) {
    double c = std::isfinite(v) ? static_cast<double>(v) : 0.0;
    c = c <= 0.0 ? 0.0 : (c >= 1.0 ? 1.0 : c);
    const double s = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
    return static_cast<unsigned char>(std::lround(s * 255.0));
}

float srgb8_to_linear(unsigned char v) {
    const double s = v / 255.0;
    const double c = s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    return static_cast<float>(c);
}

// The image list keeps the file's 8-bit values as they are (0 to 1); here they
// are sRGB-encoded on the way out and decoded on the way in.
bool write_png(const std::string &path, const RgbImage &image, std::string *error) {
    Image encoded;
    encoded.width = image.width;
    encoded.height = image.height;
    encoded.rgb.resize(image.rgb.size());
    for (size_t i = 0; i < image.rgb.size(); ++i) encoded.rgb[i] = linear_to_srgb8(image.rgb[i]) / 255.0f;
    return write_png_image(path, encoded, error);
}

bool read_png(const std::string &path, RgbImage &image, std::string *error) {
    Image encoded;
    if (!read_png_image(path, encoded)) {
        if (error) *error = "cannot read PNG image " + path;
        return false;
    }
    image.width = encoded.width;
    image.height = encoded.height;
    image.rgb.resize(encoded.rgb.size());
    for (size_t i = 0; i < encoded.rgb.size(); ++i)
        image.rgb[i] = srgb8_to_linear(static_cast<unsigned char>(std::lround(encoded.rgb[i] * 255.0f)));
    return true;
}

}  // namespace render
