#include "render/image_output.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>

namespace render {
namespace {

TEST(ImageOutput, FormatComesFromTheExtensionAndTheDepth) {
    ImageFormat f;
    std::string error;
    const struct {
        const char *path, *depth;
        ImageFormat format;
    } good[] = {
        {"a.png", "", ImageFormat::Png8},      {"a.PNG", "16", ImageFormat::Png16},
        {"dir.v2/a.exr", "", ImageFormat::ExrHalf}, {"a.exr", "float", ImageFormat::ExrFloat},
        {"frame_####.exr", "half", ImageFormat::ExrHalf},
    };
    for (const auto &g : good) {
        ASSERT_TRUE(image_format_for(g.path, g.depth, f, &error)) << g.path << ": " << error;
        EXPECT_EQ(f, g.format) << g.path;
    }
    const struct {
        const char *path, *depth, *message;
    } bad[] = {
        {"out.jpg", "", "cannot write .jpg images"}, {"dir.v2/out", "", "has no extension"},
        {"a.png", "float", "depth 8 or 16"},         {"a.exr", "16", "depth half or float"},
    };
    for (const auto &b : bad) {
        EXPECT_FALSE(image_format_for(b.path, b.depth, f, &error)) << b.path;
        EXPECT_NE(error.find(b.message), std::string::npos) << error;
    }
}

TEST(ImageOutput, FrameNumbersFillTheHashRunElseGoBeforeTheExtension) {
    EXPECT_EQ(frame_file_name("frame_####.exr", 7, true), "frame_0007.exr");
    EXPECT_EQ(frame_file_name("frame_####.exr", 7, false), "frame_0007.exr");
    EXPECT_EQ(frame_file_name("f#.png", 123, true), "f123.png");
    EXPECT_EQ(frame_file_name("a#b_###.png", -3, true), "a#b_-003.png") << "the last run only, the sign outside";
    EXPECT_EQ(frame_file_name("out.exr", -7, true), "out_-0007.exr");
    const std::string long_run(40, '#');
    EXPECT_EQ(frame_file_name("f" + long_run + ".png", 12, true), "f" + std::string(38, '0') + "12.png")
        << "any length of run";
    EXPECT_EQ(frame_file_name("out.exr", 3, true), "out_0003.exr");
    EXPECT_EQ(frame_file_name("out.exr", 3, false), "out.exr");
    EXPECT_EQ(frame_file_name("run#1/out.png", 3, true), "run#1/out_0003.png") << "a folder's # is no pattern";
}

class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/image-output-test-XXXXXX";
        dir_ = mkdtemp(tmpl);
        image_.width = 3;
        image_.height = 2;
        // Values a PNG must clamp and an EXR must keep.
        image_.rgb = {0.0f, 0.25f, 1.0f, 2.5f, -0.5f, 0.5f, 0.125f, 0.75f, 1e-3f, 0.2f, 0.4f, 0.6f, 1.0f, 0.0f, 0.5f, 8.0f, 0.3f, 0.9f};
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    std::string dir_;
    RgbImage image_;
};

TEST_F(ImageFiles, OpenExrKeepsFloatValuesExactlyAndHalfClosely) {
    std::string error;
    ASSERT_TRUE(write_beauty(path("f.exr"), ImageFormat::ExrFloat, image_, &error)) << error;
    RgbImage back;
    ASSERT_TRUE(read_exr(path("f.exr"), back, &error)) << error;
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.rgb, image_.rgb);

    ASSERT_TRUE(write_beauty(path("h.exr"), ImageFormat::ExrHalf, image_, &error)) << error;
    ASSERT_TRUE(read_exr(path("h.exr"), back, &error)) << error;
    for (size_t i = 0; i < image_.rgb.size(); ++i)
        EXPECT_NEAR(back.rgb[i], image_.rgb[i], 4e-3 * std::fabs(static_cast<double>(image_.rgb[i])) + 1e-6);

    // A mask is one channel, Y, unclamped.
    ASSERT_TRUE(write_mask(path("m.exr"), ImageFormat::ExrFloat, image_, &error)) << error;
    ASSERT_TRUE(read_exr(path("m.exr"), back, &error)) << error;
    EXPECT_EQ(back.pixel(1, 0)[0], 2.5f);
    EXPECT_EQ(back.pixel(1, 0)[2], 2.5f);
}

// The bit depth and colour type a PNG file declares, and its first samples.
struct PngInfo {
    int depth = 0, color_type = -1;
    std::vector<unsigned char> first_row;
};

PngInfo png_info(const std::string &path) {
    PngInfo info;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return info;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop pi = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &pi, nullptr);
        std::fclose(f);
        return info;
    }
    png_init_io(png, f);
    png_read_info(png, pi);
    info.depth = png_get_bit_depth(png, pi);
    info.color_type = png_get_color_type(png, pi);
    info.first_row.resize(png_get_rowbytes(png, pi));
    png_read_row(png, info.first_row.data(), nullptr);
    png_destroy_read_struct(&png, &pi, nullptr);
    std::fclose(f);
    return info;
}

TEST_F(ImageFiles, PngsAreEightOrSixteenBitsAndMasksAreLinearGrey) {
    std::string error;
    ASSERT_TRUE(write_beauty(path("b16.png"), ImageFormat::Png16, image_, &error)) << error;
    PngInfo b = png_info(path("b16.png"));
    EXPECT_EQ(b.depth, 16);
    EXPECT_EQ(b.color_type, PNG_COLOR_TYPE_RGB);
    // Pixel 0: 0, 0.25 sRGB-encoded, 1; pixel 1 clamps 2.5 to 1 and -0.5 to 0.
    EXPECT_EQ(b.first_row[0] << 8 | b.first_row[1], 0);
    EXPECT_EQ(b.first_row[2] << 8 | b.first_row[3], std::lround((1.055 * std::pow(0.25, 1 / 2.4) - 0.055) * 65535));
    EXPECT_EQ(b.first_row[6] << 8 | b.first_row[7], 65535);
    EXPECT_EQ(b.first_row[8] << 8 | b.first_row[9], 0);

    ASSERT_TRUE(write_mask(path("m8.png"), ImageFormat::Png8, image_, &error)) << error;
    PngInfo m = png_info(path("m8.png"));
    EXPECT_EQ(m.depth, 8);
    EXPECT_EQ(m.color_type, PNG_COLOR_TYPE_GRAY);
    ASSERT_EQ(m.first_row.size(), 3u);
    EXPECT_EQ(m.first_row[0], 0);
    EXPECT_EQ(m.first_row[1], 255) << "clamped";
    EXPECT_EQ(m.first_row[2], 32) << "0.125, linear";

    ASSERT_TRUE(write_mask(path("m16.png"), ImageFormat::Png16, image_, &error)) << error;
    m = png_info(path("m16.png"));
    EXPECT_EQ(m.depth, 16);
    EXPECT_EQ(m.first_row[4] << 8 | m.first_row[5], std::lround(0.125 * 65535));
}

// Every format under a file size limit, in a child process: the write fails with one line
// and the old file stays as it was, with no temporary file left beside it. (OpenEXR's
// writer finishes its file in a destructor that swallows errors.)
TEST_F(ImageFiles, AWriteCutShortFailsInOneLineAndLeavesTheOldFile) {
    RgbImage big = image_;
    big.width = big.height = 64;
    big.rgb.resize(64 * 64 * 3);
    for (size_t i = 0; i < big.rgb.size(); ++i) big.rgb[i] = static_cast<float>((i * 7919) % 1000) / 999.0f;
    for (const ImageFormat format :
         {ImageFormat::Png8, ImageFormat::Png16, ImageFormat::ExrHalf, ImageFormat::ExrFloat}) {
        for (const bool as_mask : {false, true}) {
            const std::string file = path("old.img");
            std::ofstream(file) << "old bytes";
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{600, 600};
                setrlimit(RLIMIT_FSIZE, &limit);
                std::string error;
                const bool wrote =
                    as_mask ? write_mask(file, format, big, &error) : write_beauty(file, format, big, &error);
                _exit(!wrote && error.find("cannot write " + file + ": File too large") == 0 &&
                              error.find('\n') == std::string::npos
                          ? 0
                          : 1);
            }
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << static_cast<int>(format) << " " << as_mask;
            std::ifstream in(file);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old bytes");
            EXPECT_EQ(std::system(("test -z \"$(ls -A " + dir_ + " | grep -v '^old.img$')\"").c_str()), 0)
                << "a temporary file is left";
        }
    }
    std::string error;
    EXPECT_FALSE(write_beauty(path("no/such/folder.exr"), ImageFormat::ExrHalf, image_, &error));
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_FALSE(write_beauty(path("no/such/folder.png"), ImageFormat::Png16, image_, &error));
}

}  // namespace
}  // namespace render
