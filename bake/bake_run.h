// A bake run of dirt-render: the dirt of every object that carries the shader, at each
// frame, into vertex colours or a texture, written whole or not at all.
//
// Every check comes before any work: the outputs' formats and names, that each can be
// written and none is a file the run reads, that texture bakes have texture coordinates,
// and the memory a texture takes. Weight bakes bind the mask's shader copies (see
// render/mask.h) around the whole run.
#ifndef BAKE_BAKE_RUN_H
#define BAKE_BAKE_RUN_H

#include <functional>
#include <string>
#include <vector>

#include "bake/bake_options.h"
#include "render/work_pool.h"
#include "refhost/host.h"
#include "refhost/shader_server.h"

namespace bake {

struct BakeRequest {
    BakeOptions options;
    // File name patterns: {object} takes the object's name (else several objects add
    // _NAME before the extension) and a run of # the frame number (else several frames add
    // _0001). Vertex bakes may name several files, one per format.
    std::vector<std::string> outputs;
    std::string depth;  // images: "" (8 for .png, float for .exr), "8", "16", "half", "float"
    int first_frame = 0, last_frame = 0;
    double fps = 30.0;
    int samples = 4;   // texture bakes: points per texel
    int threads = 0;   // 0: every core
    double scene_bytes = 0.0;  // the scene's estimated memory, which the bake's adds to
    // The objects to bake, by name; none: every object that carries the shader. An object
    // file's bake names its object, not the ground plane under it.
    std::vector<std::string> objects;
    // Files the run read, which it never writes (with the scene's images).
    std::vector<std::string> inputs;
    bool progress = false;            // show the progress line
    std::function<void(const std::string &)> warn, note;
};

struct BakeSummary {
    render::PoolStats stats;  // summed over every object and frame
    long points = 0;  // vertices or texels baked
};

// The output names a run with no -o writes: NAME-dirt.ply and NAME-dirt.glb for vertex
// bakes, NAME-dirt.png for textures, NAME being the input's stem ("dirt" for none).
std::vector<std::string> default_bake_outputs(BakeMode mode, const std::string &input);

// One output's name for an object at a frame.
std::string bake_file_name(const std::string &pattern, const std::string &object, bool several_objects, int frame,
                           bool several_frames);

// The checks run_bake makes before any work, alone: to refuse before anything else (a saved
// scene) is written. False with a one-line reason.
bool check_bake(refhost::Host &host, const refhost::ShaderServer &server, const BakeRequest &request,
                std::string *error);

// Runs the bake; false with a one-line reason (nothing is written after a refusal).
bool run_bake(refhost::Host &host, const refhost::ShaderServer &server, const BakeRequest &request,
              BakeSummary &summary, std::string *error);

}  // namespace bake

#endif
