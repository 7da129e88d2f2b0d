// What --version prints: the plug-in's own version, as its instances describe themselves
// to the host, and the build of dirt-render.
#ifndef RENDER_VERSION_INFO_H
#define RENDER_VERSION_INFO_H

#include <string>

namespace render {

// Loads the plug-in file, makes one instance on a scratch surface and asks its description
// line. False with a one-line reason when the plug-in cannot be loaded or activated.
bool plugin_description(const std::string &plugin_file, std::string &description, std::string *error);

}  // namespace render

#endif
