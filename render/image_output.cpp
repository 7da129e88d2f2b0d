#include "render/image_output.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <Imath/half.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "render/atomic_file.h"

namespace render {

namespace {

// The extension after the last '.' of the file name (not of a folder), lower-cased; empty
// when there is none.
std::string extension_of(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// Where the extension's '.' stands, or the end of the name.
size_t extension_start(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path.size();
    return dot;
}

// The frame number in at least `digits` digits; the sign stands before the padding, so that
// frame -7 of "####" is "-0007". Any number of digits: a run of '#' may be long.
std::string frame_number(int frame, size_t digits) {
    const long long magnitude = frame < 0 ? -static_cast<long long>(frame) : frame;
    std::string number = std::to_string(magnitude);
    if (number.size() < digits) number.insert(0, digits - number.size(), '0');
    return frame < 0 ? "-" + number : number;
}

struct PngErrorContext {
    std::string message;
};

void png_error_to_context(png_structp png, png_const_charp message) {
    static_cast<PngErrorContext *>(png_get_error_ptr(png))->message = message ? message : "libpng error";
    png_longjmp(png, 1);
}

void png_warning_ignored(png_structp, png_const_charp) {}

// Writes rows of 8- or 16-bit samples (16-bit ones big-endian, as PNG stores them) to a
// stream. Everything the error path needs is made before setjmp and not touched after it.
bool png_rows_to_stream(FILE *file, int width, int height, int channels, int bit_depth, bool srgb,
                        std::vector<png_bytep> &rows, std::string *why) {
    PngErrorContext context;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, png_error_to_context, png_warning_ignored);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        *why = context.message.empty() ? "out of memory" : context.message;
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bit_depth,
                 channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (srgb) png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool write_png_samples(const std::string &path, int width, int height, int channels, int bit_depth, bool srgb,
                       const std::vector<unsigned char> &samples, std::string *error) {
    const size_t row_bytes = static_cast<size_t>(width) * channels * (bit_depth / 8);
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(samples.data() + row_bytes * y);
    return write_stream_atomically(
        path,
        [&](FILE *file, std::string *why) {
            return png_rows_to_stream(file, width, height, channels, bit_depth, srgb, rows, why);
        },
        error);
}

// OpenEXR's writer over the temporary file's descriptor. The writer puts its table of line
// offsets in place from its destructor, which swallows any exception: this stream keeps
// the first failure, so that a file the disk or a size limit cut short is never committed.
class ExrFileStream : public Imf::OStream {
public:
    ExrFileStream(int fd, const std::string &path) : Imf::OStream(path.c_str()), fd_(fd) {}

    void write(const char c[], int n) override {
        for (int done = 0; done < n;) {
            const ssize_t w = ::write(fd_, c + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) failed(w < 0 ? errno : EIO);
            done += static_cast<int>(w);
        }
    }
    uint64_t tellp() override {
        const off_t at = lseek(fd_, 0, SEEK_CUR);
        if (at < 0) failed(errno);
        return static_cast<uint64_t>(at);
    }
    void seekp(uint64_t pos) override {
        if (lseek(fd_, static_cast<off_t>(pos), SEEK_SET) < 0) failed(errno);
    }

    // The first failure's errno, or 0.
    int error() const { return error_; }

private:
    [[noreturn]] void failed(int e) {
        if (error_ == 0) error_ = e;
        throw std::runtime_error(std::strerror(e));
    }

    int fd_;
    int error_ = 0;
};

double clamp01(float v) {
    const double d = static_cast<double>(v);
    return !(d > 0.0) ? 0.0 : (d >= 1.0 ? 1.0 : d);
}

double srgb_encode(double c) { return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055; }

// 16-bit samples of every pixel's first `channels` channels, sRGB-encoded or linear.
std::vector<unsigned char> samples16(const RgbImage &image, int channels, bool srgb) {
    std::vector<unsigned char> out(static_cast<size_t>(image.width) * image.height * channels * 2);
    size_t at = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int k = 0; k < channels; ++k) {
                const double c = clamp01(image.pixel(x, y)[k]);
                const auto v = static_cast<uint16_t>(std::lround((srgb ? srgb_encode(c) : c) * 65535.0));
                out[at++] = static_cast<unsigned char>(v >> 8);
                out[at++] = static_cast<unsigned char>(v & 0xFF);
            }
    return out;
}

std::vector<unsigned char> mask_samples8(const RgbImage &mask) {
    std::vector<unsigned char> out(static_cast<size_t>(mask.width) * mask.height);
    size_t at = 0;
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x)
            out[at++] = static_cast<unsigned char>(std::lround(clamp01(mask.pixel(x, y)[0]) * 255.0));
    return out;
}

// RGBA samples of a beauty image and its coverage: straight (not premultiplied) colour,
// sRGB-encoded, as PNG keeps it; a pixel nothing covers is transparent black.
std::vector<unsigned char> rgba_samples(const RgbImage &image, const RgbImage &coverage, int bit_depth) {
    const int bytes = bit_depth / 8;
    const double top = bit_depth == 16 ? 65535.0 : 255.0;
    std::vector<unsigned char> out(static_cast<size_t>(image.width) * image.height * 4 * bytes);
    size_t at = 0;
    auto put = [&](double v) {
        const auto q = static_cast<uint16_t>(std::lround(v * top));
        if (bytes == 2) out[at++] = static_cast<unsigned char>(q >> 8);
        out[at++] = static_cast<unsigned char>(q & 0xFF);
    };
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const double a = clamp01(coverage.pixel(x, y)[0]);
            for (int k = 0; k < 3; ++k) {
                const double c = a > 0.0 ? static_cast<double>(image.pixel(x, y)[k]) / a : 0.0;
                put(srgb_encode(clamp01(static_cast<float>(c))));
            }
            put(a);
        }
    return out;
}

// Writes channels as half or float, each named and taken from one channel of an image of
// the same size.
bool write_exr(const std::string &path, bool use_half, const std::vector<ExrChannel> &channels, std::string *error) {
    const RgbImage &image = *channels.at(0).image;
    const size_t pixels = static_cast<size_t>(image.width) * image.height;
    try {
        Imf::Header header(image.width, image.height);
        header.compression() = Imf::ZIP_COMPRESSION;
        std::vector<std::vector<float>> floats(channels.size(), std::vector<float>(pixels));
        std::vector<std::vector<Imath::half>> halves(channels.size());
        Imf::FrameBuffer frame;
        std::vector<const char *> names;
        for (const ExrChannel &c : channels) names.push_back(c.name.c_str());
        for (size_t k = 0; k < names.size(); ++k) {
            const RgbImage &from = *channels[k].image;
            if (from.width != image.width || from.height != image.height)
                throw std::logic_error("the layers of an OpenEXR file differ in size");
            for (size_t i = 0; i < pixels; ++i) floats[k][i] = from.rgb[i * 3 + channels[k].channel];
            header.channels().insert(names[k], Imf::Channel(use_half ? Imf::HALF : Imf::FLOAT));
            if (use_half) {
                halves[k].assign(floats[k].begin(), floats[k].end());
                frame.insert(names[k], Imf::Slice(Imf::HALF, reinterpret_cast<char *>(halves[k].data()), sizeof(Imath::half),
                                                  sizeof(Imath::half) * image.width));
            } else {
                frame.insert(names[k], Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(floats[k].data()),
                                                  sizeof(float), sizeof(float) * image.width));
            }
        }
        AtomicFile target(path);
        if (!target.open(error)) return false;
        ExrFileStream stream(target.fd(), path);
        try {
            Imf::OutputFile file(stream, header);
            file.setFrameBuffer(frame);
            file.writePixels(image.height);
        } catch (const std::exception &e) {
            const std::string why = stream.error() ? std::strerror(stream.error()) : e.what();
            if (error) *error = "cannot write " + path + ": " + why;
            return false;
        }
        // The writer is gone: what its destructor wrote is in, or the stream says why not.
        if (stream.error()) {
            if (error) *error = "cannot write " + path + ": " + std::strerror(stream.error());
            return false;
        }
        return target.commit(error);
    } catch (const std::exception &e) {
        if (error) *error = "cannot write " + path + ": " + e.what();
        return false;
    }
}

}  // namespace

const char *image_depths() { return "8 or 16 for .png, half or float for .exr"; }

bool image_format_for(const std::string &path, const std::string &depth, ImageFormat &format, std::string *error) {
    const std::string ext = extension_of(path);
    auto fail = [&](const std::string &why) {
        if (error) *error = why;
        return false;
    };
    if (ext == "png") {
        if (depth.empty() || depth == "8") format = ImageFormat::Png8;
        else if (depth == "16") format = ImageFormat::Png16;
        else return fail("a .png image takes depth 8 or 16, not \"" + depth + "\"");
        return true;
    }
    if (ext == "exr") {
        if (depth.empty() || depth == "half") format = ImageFormat::ExrHalf;
        else if (depth == "float") format = ImageFormat::ExrFloat;
        else return fail("an .exr image takes depth half or float, not \"" + depth + "\"");
        return true;
    }
    if (ext.empty()) return fail(path + " has no extension: name it .png or .exr");
    return fail("cannot write ." + ext + " images (" + path + "): name it .png or .exr");
}

std::string frame_file_name(const std::string &pattern, int frame, bool several) {
    const size_t last = pattern.find_last_of('#');
    const size_t slash = pattern.find_last_of('/');
    if (last != std::string::npos && (slash == std::string::npos || last > slash)) {
        size_t first = last;
        while (first > 0 && pattern[first - 1] == '#') --first;
        return pattern.substr(0, first) + frame_number(frame, last - first + 1) + pattern.substr(last + 1);
    }
    if (!several) return pattern;
    const size_t dot = extension_start(pattern);
    return pattern.substr(0, dot) + "_" + frame_number(frame, 4) + pattern.substr(dot);
}

bool write_beauty(const std::string &path, ImageFormat format, const RgbImage &image, std::string *error) {
    switch (format) {
    case ImageFormat::Png8: return write_png(path, image, error);
    case ImageFormat::Png16:
        return write_png_samples(path, image.width, image.height, 3, 16, true, samples16(image, 3, true), error);
    case ImageFormat::ExrHalf:
    case ImageFormat::ExrFloat:
        return write_exr(path, format == ImageFormat::ExrHalf, {{"R", &image, 0}, {"G", &image, 1}, {"B", &image, 2}},
                         error);
    }
    return false;
}

bool write_beauty_alpha(const std::string &path, ImageFormat format, const RgbImage &image, const RgbImage &coverage,
                        std::string *error) {
    switch (format) {
    case ImageFormat::Png8:
    case ImageFormat::Png16: {
        const int bits = format == ImageFormat::Png8 ? 8 : 16;
        return write_png_samples(path, image.width, image.height, 4, bits, true, rgba_samples(image, coverage, bits),
                                 error);
    }
    case ImageFormat::ExrHalf:
    case ImageFormat::ExrFloat:
        return write_exr(path, format == ImageFormat::ExrHalf,
                         {{"R", &image, 0}, {"G", &image, 1}, {"B", &image, 2}, {"A", &coverage, 0}}, error);
    }
    return false;
}

bool write_exr_layers(const std::string &path, ImageFormat format, const std::vector<ExrChannel> &channels,
                      std::string *error) {
    return write_exr(path, format != ImageFormat::ExrFloat, channels, error);
}

bool write_mask(const std::string &path, ImageFormat format, const RgbImage &mask, std::string *error) {
    switch (format) {
    case ImageFormat::Png8: return write_png_samples(path, mask.width, mask.height, 1, 8, false, mask_samples8(mask), error);
    case ImageFormat::Png16:
        return write_png_samples(path, mask.width, mask.height, 1, 16, false, samples16(mask, 1, false), error);
    case ImageFormat::ExrHalf: return write_exr(path, true, {{"Y", &mask, 0}}, error);
    case ImageFormat::ExrFloat: return write_exr(path, false, {{"Y", &mask, 0}}, error);
    }
    return false;
}

bool read_exr(const std::string &path, RgbImage &image, std::string *error) {
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        image.width = window.max.x - window.min.x + 1;
        image.height = window.max.y - window.min.y + 1;
        image.rgb.assign(static_cast<size_t>(image.width) * image.height * 3, 0.0f);
        const bool grey = file.header().channels().findChannel("Y") && !file.header().channels().findChannel("R");
        char *base = reinterpret_cast<char *>(image.rgb.data()) -
                     (static_cast<ptrdiff_t>(window.min.x) + static_cast<ptrdiff_t>(window.min.y) * image.width) *
                         static_cast<ptrdiff_t>(3 * sizeof(float));
        const size_t x_stride = 3 * sizeof(float), y_stride = x_stride * static_cast<size_t>(image.width);
        Imf::FrameBuffer frame;
        if (grey) {
            frame.insert("Y", Imf::Slice(Imf::FLOAT, base, x_stride, y_stride));
        } else {
            const char *names[3] = {"R", "G", "B"};
            for (int k = 0; k < 3; ++k)
                frame.insert(names[k], Imf::Slice(Imf::FLOAT, base + k * sizeof(float), x_stride, y_stride));
        }
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        if (grey)
            for (size_t i = 0; i < image.rgb.size(); i += 3) image.rgb[i + 1] = image.rgb[i + 2] = image.rgb[i];
        return true;
    } catch (const std::exception &e) {
        if (error) *error = "cannot read " + path + ": " + e.what();
        return false;
    }
}

}  // namespace render
