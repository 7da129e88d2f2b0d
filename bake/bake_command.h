// dirt-render's bake mode: the request a command line and its scene make, checked before
// anything is loaded or written, and the summary line.
#ifndef BAKE_BAKE_COMMAND_H
#define BAKE_BAKE_COMMAND_H

#include <string>

#include "bake/bake_run.h"
#include "render/render_options.h"
#include "render/scene_file.h"

namespace bake {

// The request for a run: outputs from -o (else the defaults from the input's name), the
// frames, fps, samples and depth in force, the files read. False with a one-line reason
// when an output cannot be written (format, place, or a file the run reads).
bool make_bake_request(const render::RenderOptions &options, const render::SceneDescription &scene,
                       const BakeOptions &bake, BakeRequest &request, std::string *error);

// A warning for bake options given to a run that does not bake; empty when there is none.
std::string idle_bake_options(const BakeOptions &bake);

// "1234 vertices baked: 1234 spots, 56789 rays cast by the plug-in, 0.50 s, 2468 spots/s (2 threads)".
std::string bake_summary_line(const BakeRequest &request, const BakeSummary &summary);

}  // namespace bake

#endif
