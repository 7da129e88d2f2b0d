#include "render/progress.h"

#include <algorithm>
#include <cmath>

namespace render {

std::string duration_text(double seconds) {
    const long s = std::lround(std::max(0.0, seconds));
    char text[48];
    if (s < 60) std::snprintf(text, sizeof text, "%ld s", s);
    else if (s < 3600) std::snprintf(text, sizeof text, "%ld min %02ld s", s / 60, s % 60);
    else std::snprintf(text, sizeof text, "%ld h %02ld min", s / 3600, s / 60 % 60);
    return text;
}

std::string progress_line(int frame, int frames, double done, double seconds_left) {
    constexpr int kWidth = 30;
    const double share = std::clamp(done, 0.0, 1.0);
    const int filled = static_cast<int>(share * kWidth);
    const std::string bar = std::string(filled, '#') + std::string(kWidth - filled, ' ');
    char text[160];
    std::snprintf(text, sizeof text, "frame %d of %d [%s] %3d%%", frame, frames, bar.c_str(),
                  static_cast<int>(share * 100.0));
    std::string line = text;
    line += seconds_left >= 0.0 ? ", " + duration_text(seconds_left) + " left" : ", estimating";
    return line;
}

ProgressBar::ProgressBar(bool enabled, int frames, int passes, FILE *out)
    : enabled_(enabled), frames_(std::max(1, frames)), passes_(std::max(1, passes)), out_(out),
      start_(std::chrono::steady_clock::now()) {}

void ProgressBar::update(int frame, int pass, double share) {
    if (!enabled_) return;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (elapsed < 1.0) return;
    // Every pass of every frame counts as one equal share of the job.
    const double done = (frame * passes_ + pass + std::clamp(share, 0.0, 1.0)) / (static_cast<double>(frames_) * passes_);
    const double left = done > 0.0 ? elapsed * (1.0 - done) / done : -1.0;
    // Padded so that a shorter line covers a longer one before it.
    std::fprintf(out_, "\r%-78s", progress_line(frame + 1, frames_, done, left).c_str());
    std::fflush(out_);
    shown_ = true;
}

void ProgressBar::finish() {
    if (!shown_) return;
    std::fputc('\n', out_);
    std::fflush(out_);
    shown_ = false;
}

}  // namespace render
