// Command-line options of dirt-render.
#ifndef RENDER_RENDER_OPTIONS_H
#define RENDER_RENDER_OPTIONS_H

#include <string>
#include <vector>
#include "render/host_names.h"
#include "render/limits.h"

namespace render {

// The camera asked for on the command line; object renders frame the object with it,
// a scene's camera takes the position, target and field of view.
struct CameraChoice {
    bool view_given = false;
    double azimuth = 0.0, elevation = 0.0;  // degrees about the framed object
    bool position_given = false, look_at_given = false;
    Vec3d position, look_at;
    double fov = 0.0;        // degrees across the image's width; 0: the scene's own
    double distance = 0.0;   // object renders: from the object's centre; 0: framed to fit
    int turntable = 0;       // object renders: frames around the object; 0: none
};

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
    CameraChoice camera;
    bool skip_existing = false;  // frames whose outputs exist and decode are not rendered
    bool region_given = false;
    int region[4] = {0, 0, 0, 0};  // x0, y0, x1, y1: pixels x0 <= x < x1, y0 <= y < y1
    bool background_given = false;
    double background[3] = {0.0, 0.0, 0.0};  // linear colour where camera rays meet nothing
    bool alpha = false;       // RGBA: a transparent background
    std::string layers;       // the multi-layer OpenEXR file of each frame; empty: none
    bool list_surfaces = false;          // print the surfaces and stop
    std::vector<std::string> no_dirt;    // surfaces ("SURFACE", "OBJECT/SURFACE") without the shader
    bool ground_dirt = true;             // object renders: the shader on the ground plane
    double light_intensity = -1.0;       // object renders: the key light's; below 0: not given (1)
    std::string lights;                  // object renders: "key" (default) or "key-fill"
    bool exposure_given = false;
    double exposure = 0.0;    // stops: every pixel times 2^exposure
};

// Parses argv; false with a one-line reason in *error.
bool parse_render_options(int argc, const char *const *argv, RenderOptions &options, std::string *error);

// The text of --help, made from the option table.
std::string render_usage();

}  // namespace render

#endif
