// The summary line of a render: what each pass (the image, the image without the shader,
// the dirt mask) took, and everything together.
#ifndef RENDER_PASS_REPORT_H
#define RENDER_PASS_REPORT_H

#include <string>

#include "render/renderer.h"

namespace render {

struct PassTotals {
    FrameStats image, plain, mask;  // over every frame; plain: --compare's pass without the shader
    bool compare = false, with_mask = false;

    FrameStats all() const;
};

FrameStats &operator+=(FrameStats &total, const FrameStats &frame);

// "N spots shaded, M rays cast by the plug-in in T s (image A s, mask B s), S spots/s,
// R rays/s (K threads)" and `note`.
std::string pass_summary(const PassTotals &totals, int threads, const std::string &note);

}  // namespace render

#endif
