// "LW Image List 3" over the scene's images. LWImageID is an Image*.
//
// Pixels are kept as floats from 0 to 1; 8-bit queries scale them by 255. load reads a
// file through the host's image file reader (none unless one is installed: the renderer
// installs its PNG codec) and names the image after the file's last path component; a
// file that is already in the list is not loaded twice. Relative names are found in the
// image folder (set_image_folder).
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

class Host;

// Reads an image file into an image's size and pixels (0 to 1 as stored in the file);
// false when the file cannot be used.
using ImageFileReader = bool (*)(const std::string &path, Image &image);
void set_image_file_reader(Host &host, ImageFileReader reader);

// The folder in which relative image file names are found, as LightWave finds them in its
// content folder ("" or never set: the current folder). An image read from a file keeps
// the file's full path as its file name, so that a scene that stores it reads the same
// file from any folder.
void set_image_folder(Host &host, const std::string &folder);

}  // namespace refhost

#endif
