// Image files as dirt-render writes them: the format from the file name's extension, the
// pixel depth chosen by the user, frame numbers in the name. (render/output_plan.h checks
// that every file can be written before any rendering is spent on it.)
//
// | Extension | Depths            | Beauty                          | Mask                        |
// |-----------|-------------------|---------------------------------|-----------------------------|
// | .png      | 8 (default), 16   | RGB, sRGB-encoded, clamped 0..1 | grey, linear, clamped 0..1  |
// | .exr      | half (default), float | RGB, linear, unclamped      | one channel Y, unclamped    |
#ifndef RENDER_IMAGE_OUTPUT_H
#define RENDER_IMAGE_OUTPUT_H

#include <string>
#include <vector>

#include "render/host_names.h"
#include "render/png_image.h"

namespace render {

enum class ImageFormat { Png8, Png16, ExrHalf, ExrFloat };

// The format of a file name with a depth ("" for the extension's default, "8", "16",
// "half" or "float"). False with a one-line reason for an extension or depth it cannot
// write.
bool image_format_for(const std::string &path, const std::string &depth, ImageFormat &format,
                      std::string *error);

// The depth names `image_format_for` takes, for messages and help.
const char *image_depths();

// The file of one frame: the last run of '#' in the file's name (not in its folders), of
// any length, is filled with the frame number, zero-padded to the run's length, a negative
// frame's sign before the padding ("frame_####.exr", frame 7: "frame_0007.exr", frame -7:
// "frame_-0007.exr"); other runs stay as they are. Without one, several frames put "_0007"
// before the extension and a single frame keeps the name as it is.
std::string frame_file_name(const std::string &pattern, int frame, bool several);

// Writes a rendered image, atomically (render/atomic_file.h): a failed write leaves the
// file as it was. The mask writer takes the first channel as the mask value.
bool write_beauty(const std::string &path, ImageFormat format, const RgbImage &image, std::string *error);
bool write_mask(const std::string &path, ImageFormat format, const RgbImage &mask, std::string *error);

// A beauty image with its coverage (channel 0 of `coverage`, 0 to 1) as alpha: PNG RGBA
// with straight colour, OpenEXR R, G, B premultiplied as rendered and A.
bool write_beauty_alpha(const std::string &path, ImageFormat format, const RgbImage &image, const RgbImage &coverage,
                        std::string *error);

// One channel of a multi-layer OpenEXR file: its name ("dirt.Y", "N.X") and the image and
// channel it holds. Every image is of the same size.
struct ExrChannel {
    std::string name;
    const RgbImage *image;
    int channel;
};
// Writes the channels to an .exr file, half unless the format is ExrFloat.
bool write_exr_layers(const std::string &path, ImageFormat format, const std::vector<ExrChannel> &channels,
                      std::string *error);

// Reads an OpenEXR file's channels R, G, B (a file with Y alone gives grey) as floats.
bool read_exr(const std::string &path, RgbImage &image, std::string *error);

}  // namespace render

#endif
