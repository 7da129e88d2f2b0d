// Baking on every core: items 0 .. count − 1 handed out in chunks to worker threads, each
// of which writes only its own items' results, so the output is the same whatever the
// number of threads.
#ifndef BAKE_WORK_POOL_H
#define BAKE_WORK_POOL_H

#include <functional>

#include "render/ray_caster.h"

namespace bake {

struct PoolStats {
    long spots_shaded = 0;  // spots whose shaders ran, not counting those the shaders' rays shaded
    long plugin_rays = 0;   // rays the shaders cast
    double seconds = 0.0;
    int started_threads = 0;  // fewer than asked when the system would not start as many
};

// Runs `work(i)` for every item on up to `threads` threads (0: every core), each with the
// caster current for the host's ray functions. `progress` (may be empty) is told the share
// done a few times a second, on the calling thread. With no thread started, the calling
// thread does the work.
PoolStats run_pool(const render::RayCaster &caster, long count, int threads, const std::function<void(long)> &work,
                   const std::function<void(double)> &progress);

}  // namespace bake

#endif
