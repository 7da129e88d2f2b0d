#include "render/progress.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace render {
namespace {

TEST(Progress, LineShowsTheFrameTheShareAndTheTimeLeft) {
    EXPECT_EQ(progress_line(3, 24, 0.5, 75.0), "frame 3 of 24 [###############               ]  50%, 1 min 15 s left");
    EXPECT_EQ(progress_line(1, 1, 0.0, -1.0), "frame 1 of 1 [                              ]   0%, estimating");
    EXPECT_NE(progress_line(1, 1, 1.7, 0.0).find("[##############################] 100%, 0 s left"), std::string::npos);
    EXPECT_EQ(duration_text(59.6), "1 min 00 s");
    EXPECT_EQ(duration_text(7260), "2 h 01 min");
    EXPECT_EQ(duration_text(-5), "0 s");
}

TEST(Progress, BarStaysSilentWhenOffOrDuringTheFirstSecond) {
    char buffer[256] = {};
    FILE *out = fmemopen(buffer, sizeof buffer, "w");
    ASSERT_NE(out, nullptr);
    {
        ProgressBar off(false, 2, 1, out);
        off.update(1, 0, 0.5);
        ProgressBar young(true, 2, 1, out);
        young.update(0, 0, 0.5);
    }
    std::fflush(out);
    EXPECT_EQ(std::string(buffer), "");
    std::fclose(out);
}

}  // namespace
}  // namespace render
