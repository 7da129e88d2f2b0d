// The progress line dirt-render shows on a terminal during long work: which frame of how
// many, a bar over the whole job, and an estimate of the time left.
#ifndef RENDER_PROGRESS_H
#define RENDER_PROGRESS_H

#include <chrono>
#include <cstdio>
#include <string>

namespace render {

// The line for a job `done` (0 to 1) of the way through, at frame `frame` (1-based) of
// `frames`, with `seconds_left` to go (negative: not known yet).
std::string progress_line(int frame, int frames, double done, double seconds_left);

// "45 s", "3 min 05 s", "2 h 07 min".
std::string duration_text(double seconds);

class ProgressBar {
public:
    // A job of `frames` frames of `passes` passes each. Shown on `out` once the job has
    // taken a second, and only when `enabled`.
    ProgressBar(bool enabled, int frames, int passes, FILE *out = stderr);
    ~ProgressBar() { finish(); }
    ProgressBar(const ProgressBar &) = delete;
    ProgressBar &operator=(const ProgressBar &) = delete;

    // Frame `frame` (0-based within the job), pass `pass` (0-based), `share` (0 to 1) done.
    void update(int frame, int pass, double share);
    // Ends the line, when one was shown.
    void finish();

private:
    bool enabled_;
    int frames_, passes_;
    FILE *out_;
    std::chrono::steady_clock::time_point start_;
    bool shown_ = false;
};

}  // namespace render

#endif
