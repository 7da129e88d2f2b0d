// The image settings in force: the scene's render settings with the command line's
// overrides, the command line winning. A scene's pixel depth that the file named with -o
// cannot take gives way to that format's default; a depth or a file name on the command
// line that cannot be written is the command line's mistake.
#ifndef RENDER_OUTPUT_CHOICE_H
#define RENDER_OUTPUT_CHOICE_H

#include <string>

#include "render/render_options.h"
#include "render/scene_file.h"

namespace render {

// Applies the command line's size, samples, frames, output and depth to `rs`. False with a
// one-line reason when the command line names an image or a depth that cannot be written
// together (a mistake on the command line: exit status 2).
// `images`: false when the run writes no image (a bake names its own files with -o).
bool apply_command_line_outputs(const RenderOptions &o, RenderSettings &rs, std::string *error, bool images = true);

}  // namespace render

#endif
