// The demo scene with the dirt shader on every surface, loaded through the built plug-in
// file as dirt-render loads it: the common set-up of the benchmark programs.
#ifndef ORMEL_BENCH_BENCH_SCENE_H
#define ORMEL_BENCH_BENCH_SCENE_H

#include <string>

#include "refhost/host.h"
#include "refhost/plugin.h"
#include "render/scene_file.h"
#include "render/shader_setup.h"

namespace bench {

class BenchScene {
public:
    // Builds the scene (the demo scene, or the scene file text given) and binds the
    // plug-in's shader to its surfaces with the scene's settings; ok() tells whether it
    // worked, error() why not.
    explicit BenchScene(const std::string &scene_json = std::string());
    ~BenchScene();
    BenchScene(const BenchScene &) = delete;
    BenchScene &operator=(const BenchScene &) = delete;

    bool ok() const { return error_.empty(); }
    const std::string &error() const { return error_; }

    refhost::Host host;
    render::SceneDescription desc;
    refhost::PluginFile plugin;
    refhost::ShaderServer server;

    // The surface of the given name, or null.
    refhost::Surface *surface(const char *name);

private:
    std::string error_;
    bool applied_ = false;
};

}  // namespace bench

#endif
