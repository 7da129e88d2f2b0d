#include "refhost/png_image.h"

#include <cmath>

#include "refhost/image_list.h"

namespace refhost {

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

// The image list's codec stores the file's 8-bit values as they are (0 to 1); here they
// are sRGB-encoded on the way out and decoded on the way in.
bool write_png(const std::string &path, const RgbImage &image, std::string *error) {
    Image encoded;
    encoded.width = image.width;
    encoded.height = image.height;
    encoded.rgb.resize(image.rgb.size());
    for (size_t i = 0; i < image.rgb.size(); ++i) encoded.rgb[i] = linear_to_srgb8(image.rgb[i]) / 255.0f;
    if (write_png(path, encoded)) return true;
    if (error) *error = "cannot write " + path;
    return false;
}

bool read_png(const std::string &path, RgbImage &image, std::string *error) {
    Image encoded;
    if (!read_png(path, encoded)) {
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

}  // namespace refhost
