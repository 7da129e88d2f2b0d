// Running the dirt-render program as a user does, in a scratch folder of the test's own.
#ifndef ORMEL_TESTS_SUPPORT_DIRT_RENDER_RUN_H
#define ORMEL_TESTS_SUPPORT_DIRT_RENDER_RUN_H

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "render/png_image.h"

namespace testing_support {

struct RunResult {
    bool exited = false;  // false: ended by a signal (the time-out's included)
    int status = -1;      // the exit status when it exited
    std::string output;   // stdout and stderr together

    // The lines of output, without the last newline.
    int lines() const {
        int n = 0;
        for (char c : output) n += c == '\n';
        return n + (!output.empty() && output.back() != '\n');
    }
};

// Runs `prefix dirt-render args` through the shell, stopping it after a minute so that a
// hang fails the test instead of the test run.
inline RunResult run_dirt_render(const std::string &args, const std::string &prefix = "") {
    const std::string command = prefix + "timeout -s KILL 60 " + DIRT_RENDER_PATH + " " + args + " 2>&1";
    RunResult r;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, pipe)) r.output.append(buf, n);
    const int status = pclose(pipe);
    // The shell reports a signal that ended its child as status 128 + signal.
    r.exited = WIFEXITED(status) && WEXITSTATUS(status) < 128;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/dirt-render-test-XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

    std::string path(const std::string &name) const { return dir_ + "/" + name; }
    void write(const std::string &name, const std::string &text) const { std::ofstream(path(name)) << text; }
    bool exists(const std::string &name) const { return access(path(name).c_str(), F_OK) == 0; }
    std::string bytes(const std::string &name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    // A PNG of the folder, decoded to linear values; a failure to read it fails the test.
    render::RgbImage image(const std::string &name) const {
        render::RgbImage img;
        std::string error;
        EXPECT_TRUE(render::read_png(path(name), img, &error)) << error;
        return img;
    }

    std::string dir_;
};

}  // namespace testing_support

#endif
