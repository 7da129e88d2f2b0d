// Work on every core, for frames and bakes alike: items 0 .. count − 1 handed out in chunks
// to worker threads, each of which writes only its own items' results, so the output is the
// same whatever the number of threads.
#ifndef RENDER_WORK_POOL_H
#define RENDER_WORK_POOL_H

#include <functional>

#include "render/ray_caster.h"

namespace render {

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
// Items are handed out `chunk` at a time: small enough to spread the work, large enough
// that the shared counter is not touched per item.
PoolStats run_pool(const RayCaster &caster, long count, int threads, const std::function<void(long)> &work,
                   const std::function<void(double)> &progress, long chunk = 64);

}  // namespace render

#endif
