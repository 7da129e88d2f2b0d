// "LW Image List 3" over the scene's images. LWImageID is an Image*.
//
// Pixels are kept as floats from 0 to 1; 8-bit queries scale them by 255. load reads PNG
// files (when the host is built with libpng) and names the image after the file's last
// path component; a file that is already in the list is not loaded twice.
// sceneSave writes the image's name and file name as two strings; sceneLoad reads them
// back and answers the scene's image of that file name, else loads the file, else adds
// an image without pixels under the saved name.
#ifndef REFHOST_IMAGE_LIST_H
#define REFHOST_IMAGE_LIST_H

#include <string>

#include "host/lwsdk.h"
#include "refhost/scene.h"

namespace refhost {

const LWImageList &image_list_funcs();

// Reads a PNG file into an image's size and pixels, and writes an image as an 8-bit RGB
// PNG file; false when the host has no PNG support or the file cannot be used.
bool read_png(const std::string &path, Image &image);
bool write_png(const std::string &path, const Image &image);

}  // namespace refhost

#endif
