#include "render/image_output.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

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
    EXPECT_EQ(frame_file_name("a#b_###.png", -3, true), "a#b_-03.png") << "the last run only";
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

TEST_F(ImageFiles, WritabilityIsCheckedWithoutTouchingTheFile) {
    std::string error;
    std::ofstream(path("kept.png")) << "old bytes";
    EXPECT_TRUE(check_writable(path("kept.png"), &error)) << error;
    std::ifstream in(path("kept.png"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old bytes");

    EXPECT_TRUE(check_writable(path("new.png"), &error)) << error;
    EXPECT_NE(access(path("new.png").c_str(), F_OK), 0) << "a probe file is not left behind";

    EXPECT_FALSE(check_writable(path("no/such/folder.png"), &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
    EXPECT_FALSE(check_writable(dir_, &error)) << "a folder";

    EXPECT_FALSE(write_beauty(path("no/such/folder.exr"), ImageFormat::ExrHalf, image_, &error));
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_FALSE(write_beauty(path("no/such/folder.png"), ImageFormat::Png16, image_, &error));
}

}  // namespace
}  // namespace render
