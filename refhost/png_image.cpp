#include "refhost/png_image.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace refhost {

namespace {

struct FileCloser {
    void operator()(FILE *f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

}  // namespace

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

bool write_png(const std::string &path, const RgbImage &image, std::string *error) {
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        if (error) *error = "out of memory writing " + path;
        return false;
    }
    std::vector<unsigned char> row(static_cast<size_t>(image.width) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        if (error) *error = "cannot write " + path;
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        const float *src = image.pixel(0, y);
        for (size_t i = 0; i < row.size(); ++i) row[i] = linear_to_srgb8(src[i]);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool read_png(const std::string &path, RgbImage &image, std::string *error) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    unsigned char sig[8];
    if (std::fread(sig, 1, 8, file.get()) != 8 || png_sig_cmp(sig, 0, 8)) {
        if (error) *error = path + " is not a PNG image";
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_read_struct(&png, &info, nullptr);
        if (error) *error = "out of memory reading " + path;
        return false;
    }
    std::vector<unsigned char> pixels;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        if (error) *error = "corrupt PNG image " + path;
        return false;
    }
    png_init_io(png, file.get());
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    // Normalise every format to 8-bit RGB.
    png_set_strip_16(png);
    png_set_palette_to_rgb(png);
    png_set_expand_gray_1_2_4_to_8(png);
    png_set_gray_to_rgb(png);
    png_set_strip_alpha(png);
    png_read_update_info(png, info);
    const int w = static_cast<int>(png_get_image_width(png, info));
    const int h = static_cast<int>(png_get_image_height(png, info));
    const size_t stride = png_get_rowbytes(png, info);
    pixels.resize(stride * h);
    rows.resize(h);
    for (int y = 0; y < h; ++y) rows[y] = pixels.data() + stride * y;
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);

    image.width = w;
    image.height = h;
    image.rgb.resize(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x) image.rgb[static_cast<size_t>(y) * w * 3 + x] = srgb8_to_linear(rows[y][x]);
    return true;
}

}  // namespace refhost
