#include "render/pass_report.h"

#include <cstdio>

namespace render {

FrameStats &operator+=(FrameStats &total, const FrameStats &frame) {
    total.spots_shaded += frame.spots_shaded;
    total.plugin_rays += frame.plugin_rays;
    total.seconds += frame.seconds;
    return total;
}

FrameStats PassTotals::all() const {
    FrameStats sum = image;
    sum += plain;
    sum += mask;
    return sum;
}

std::string pass_summary(const PassTotals &totals, int threads, const std::string &note) {
    const FrameStats all = totals.all();
    const double secs = all.seconds > 0.0 ? all.seconds : 1e-9;
    char passes[160];
    int n = std::snprintf(passes, sizeof passes, "image %.2f s", totals.image.seconds);
    if (totals.compare && n > 0 && n < static_cast<int>(sizeof passes))
        n += std::snprintf(passes + n, sizeof passes - n, ", without the shader %.2f s", totals.plain.seconds);
    if (totals.with_mask && n > 0 && n < static_cast<int>(sizeof passes))
        std::snprintf(passes + n, sizeof passes - n, ", mask %.2f s", totals.mask.seconds);
    char text[400];
    std::snprintf(text, sizeof text,
                  "%ld spots shaded, %ld rays cast by the plug-in in %.2f s render time (%s), %.0f spots/s, "
                  "%.0f rays/s (%d threads)",
                  all.spots_shaded, all.plugin_rays, all.seconds, passes, all.spots_shaded / secs,
                  all.plugin_rays / secs, threads);
    return text + note;
}

}  // namespace render
