// Image files as dirt-render writes them: the format from the file name's extension, the
// pixel depth chosen by the user, frame numbers in the name, and a check that a file can be
// written before any rendering is spent on it.
//
// | Extension | Depths            | Beauty                          | Mask                        |
// |-----------|-------------------|---------------------------------|-----------------------------|
// | .png      | 8 (default), 16   | RGB, sRGB-encoded, clamped 0..1 | grey, linear, clamped 0..1  |
// | .exr      | half (default), float | RGB, linear, unclamped      | one channel Y, unclamped    |
#ifndef RENDER_IMAGE_OUTPUT_H
#define RENDER_IMAGE_OUTPUT_H

#include <string>

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

// The file of one frame: a run of '#' is filled with the frame number, zero-padded to the
// run's length ("frame_####.exr", frame 7: "frame_0007.exr"); without one, several frames
// put "_0007" before the extension and a single frame keeps the name as it is.
std::string frame_file_name(const std::string &pattern, int frame, bool several);

// Whether the file can be created or overwritten, without changing it. False with a
// one-line reason.
bool check_writable(const std::string &path, std::string *error);

// Writes a rendered image. The mask writer takes the first channel as the mask value.
bool write_beauty(const std::string &path, ImageFormat format, const RgbImage &image, std::string *error);
bool write_mask(const std::string &path, ImageFormat format, const RgbImage &mask, std::string *error);

// Reads an OpenEXR file's channels R, G, B (a file with Y alone gives grey) as floats.
bool read_exr(const std::string &path, RgbImage &image, std::string *error);

}  // namespace render

#endif
