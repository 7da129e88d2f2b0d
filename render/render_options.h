// Command-line options of dirt-render.
#ifndef RENDER_RENDER_OPTIONS_H
#define RENDER_RENDER_OPTIONS_H

#include <string>
#include <vector>
#include "render/host_names.h"
#include "render/limits.h"

namespace render {

struct RenderOptions {
    std::string input;        // scene file (.json) or object file; empty: the demo scene
    std::string output;       // empty: the scene's own
    std::string plugin;       // empty: next to the program, else the build's
    std::string save_scene;   // write the scene back here
    std::string mask;         // write the dirt mask here too; empty: none
    std::string depth;        // pixel depth of the images; empty: the scene's, else the format's
    bool ground = true;       // object renders: a ground plane under the object
    int width = 0, height = 0, samples = 0;  // 0: the scene's own
    int threads = 0;          // 0: all cores
    bool frames_given = false;
    int first_frame = 0, last_frame = 0;
    bool compare = false;     // also render without the shader, side by side
    bool quiet = false;       // no progress bar or summary
    bool help = false;
    bool version = false;     // --version: the plug-in's version and the build
    std::string up;           // object renders: the file's up axis ("y", "-z", ...); empty: as the file states
    std::vector<std::string> smoothing;  // --smoothing-angle: "DEGREES" or "NAME=DEGREES"
    std::vector<std::string> settings;  // name=value overrides of the dirt settings
    Limits limits;            // --max-memory, --max-rays-per-spot, --import-timeout
};

// Parses argv; false with a one-line reason in *error.
bool parse_render_options(int argc, const char *const *argv, RenderOptions &options, std::string *error);

// The text of --help.
const char *render_usage();

}  // namespace render

#endif
