// Deliberate failures for the Windows build's test runner: run under Wine, each must reach
// ctest as a failure (the build marks both as expected to fail).
#include <gtest/gtest.h>

namespace {

TEST(Probe, FailingAssertion) { EXPECT_EQ(1, 2) << "a deliberate failure"; }

TEST(Probe, Crash) {
    int *volatile nowhere = nullptr;
    *nowhere = 42;
    SUCCEED();
}

}  // namespace
