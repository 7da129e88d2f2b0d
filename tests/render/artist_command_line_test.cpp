// The artist's command line at image level: the camera (turntable, view, saved scene), a
// frame split into --region tiles, --skip-existing on a restarted job, background and
// exposure.
#include <gtest/gtest.h>

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <png.h>
#include <sys/stat.h>

#include <cmath>
#include <map>

#include <fstream>
#include <string>

#include "render/png_image.h"
#include "tests/support/dirt_render_run.h"

namespace {

using testing_support::RunResult;

RunResult run(const std::string &args) { return testing_support::run_dirt_render(args); }

// Two boxes of different heights side by side: every view of them shows a different image.
const char *const kTwoBoxes =
    "v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\nv 0 1 0\nv 1 1 0\nv 1 1 1\nv 0 1 1\n"
    "v 1 0 0\nv 1.5 0 0\nv 1.5 0 0.5\nv 1 0 0.5\nv 1 2 0\nv 1.5 2 0\nv 1.5 2 0.5\nv 1 2 0.5\n"
    "f 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n"
    "f 9 12 11 10\nf 13 14 15 16\nf 9 10 14 13\nf 10 11 15 14\nf 11 12 16 15\nf 12 9 13 16\n";

const char *const kSmall = " --width 40 --height 30 --samples 1";

class ArtistCommandLine : public testing_support::ScratchFolder {
protected:
};

TEST_F(ArtistCommandLine, ATurntableTurnsOnlyTheCameraAndASavedViewRendersAlike) {
    write("boxes.obj", kTwoBoxes);
    const RunResult spin = run(path("boxes.obj") + kSmall + " --turntable 4 --frames 0-4 -o " + path("spin_#.png") +
                               " --save-scene " + path("spin.json"));
    ASSERT_EQ(spin.status, 0) << spin.output;
    EXPECT_NE(spin.output.find("turning once over 4 frames"), std::string::npos) << spin.output;
    EXPECT_NE(spin.output.find("frame 3: "), std::string::npos) << "one line per frame with its time";
    // Frame 4 is a whole turn on: the same image, although the scene's time moved on.
    EXPECT_EQ(bytes("spin_4.png"), bytes("spin_0.png"));
    for (const char *other : {"spin_1.png", "spin_2.png", "spin_3.png"}) EXPECT_NE(bytes(other), bytes("spin_0.png"));
    ASSERT_EQ(run(path("spin.json") + " -q --frames 3 -o " + path("saved_#.png")).status, 0);
    EXPECT_EQ(bytes("saved_3.png"), bytes("spin_3.png")) << "the saved scene keeps the turntable";

    // A view, a distance and a field of view, kept by the saved scene.
    const std::string view = " --view -60,35 --distance 4 --fov 50";
    ASSERT_EQ(run(path("boxes.obj") + kSmall + view + " -q -o " + path("view.png") + " --save-scene " +
                  path("view.json")).status, 0);
    EXPECT_NE(bytes("view.png"), bytes("spin_0.png"));
    ASSERT_EQ(run(path("view.json") + " -q -o " + path("again.png")).status, 0);
    EXPECT_EQ(bytes("again.png"), bytes("view.png"));
    // A scene's camera moved from the command line, likewise.
    ASSERT_EQ(run(path("view.json") + " -q --camera-position 3,2,-3 --look-at 0.5,0.5,0.5 -o " + path("moved.png") +
                  " --save-scene " + path("moved.json")).status, 0);
    EXPECT_NE(bytes("moved.png"), bytes("view.png"));
    ASSERT_EQ(run(path("moved.json") + " -q -o " + path("moved2.png")).status, 0);
    EXPECT_EQ(bytes("moved2.png"), bytes("moved.png"));
    EXPECT_EQ(run(path("view.json") + " --view 10,10").status, 2) << "a view frames an object file only";
    EXPECT_EQ(run(path("boxes.obj") + " --camera-position 1,1,1 --look-at 1,1,1").status, 2);
}

TEST_F(ArtistCommandLine, RegionTilesOnThreeThreadsPutTogetherAreTheWholeFrame) {
    write("boxes.obj", kTwoBoxes);
    const std::string common = path("boxes.obj") + kSmall + " -q --background 0.2,0.3,0.4";
    ASSERT_EQ(run(common + " -o " + path("whole.png")).status, 0);
    const render::RgbImage whole = image("whole.png");
    // Uneven tiles, crossing the renderer's own tile edges.
    const int tiles[4][4] = {{0, 0, 17, 13}, {17, 0, 40, 13}, {0, 13, 17, 30}, {17, 13, 40, 30}};
    render::RgbImage joined = whole;
    std::fill(joined.rgb.begin(), joined.rgb.end(), -1.0f);
    for (const auto &t : tiles) {
        const std::string region = std::to_string(t[0]) + "," + std::to_string(t[1]) + "," + std::to_string(t[2]) +
                                   "," + std::to_string(t[3]);
        ASSERT_EQ(run(common + " --threads 3 --region " + region + " -o " + path("tile.png")).status, 0);
        const render::RgbImage tile = image("tile.png");
        ASSERT_EQ(tile.width, t[2] - t[0]);
        ASSERT_EQ(tile.height, t[3] - t[1]);
        for (int y = 0; y < tile.height; ++y)
            for (int x = 0; x < tile.width; ++x)
                for (int k = 0; k < 3; ++k) joined.pixel(t[0] + x, t[1] + y)[k] = tile.pixel(x, y)[k];
    }
    EXPECT_EQ(joined.rgb, whole.rgb);
    const RunResult threads = run(path("boxes.obj") + kSmall + " --threads 3 -o " + path("t.png"));
    EXPECT_NE(threads.output.find("(3 threads)"), std::string::npos) << threads.output;
    // The background shows where nothing is, in the corner above the boxes.
    EXPECT_NEAR(whole.pixel(0, 0)[2], 0.4f, 0.01f);
    EXPECT_EQ(run(common + " --region 0,0,41,30 -o " + path("x.png")).status, 2) << "beyond the image";
    EXPECT_EQ(run(common + " --region 5,0,5,30 -o " + path("x.png")).status, 2) << "an empty window";
}

TEST_F(ArtistCommandLine, SkipExistingKeepsWholeFramesAndRendersTruncatedOnes) {
    write("boxes.obj", kTwoBoxes);
    const std::string job = path("boxes.obj") + kSmall + " --frames 1-2 -o " + path("f_#.png") + " --mask " +
                            path("m_#.png");
    ASSERT_EQ(run(job + " -q").status, 0);
    const std::string frame1 = bytes("f_1.png"), frame2 = bytes("f_2.png");
    struct stat before;
    ASSERT_EQ(stat(path("f_1.png").c_str(), &before), 0);
    // A job killed while writing frame 2 (an outside copy, say) left half a file.
    write("f_2.png", frame2.substr(0, frame2.size() / 2));
    const RunResult again = run(job + " --skip-existing");
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_NE(again.output.find("frame 1: "), std::string::npos);
    EXPECT_NE(again.output.find("skipped"), std::string::npos) << again.output;
    struct stat after;
    ASSERT_EQ(stat(path("f_1.png").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "frame 1 was not written again";
    EXPECT_EQ(bytes("f_1.png"), frame1);
    EXPECT_EQ(bytes("f_2.png"), frame2) << "frame 2 rendered again";
    // A frame whose mask is missing is rendered again too.
    std::remove(path("m_1.png").c_str());
    ASSERT_EQ(run(job + " -q --skip-existing").status, 0);
    EXPECT_TRUE(exists("m_1.png"));
}

TEST_F(ArtistCommandLine, ExposureAndLightsChangeTheLookAndAreSaved) {
    write("boxes.obj", kTwoBoxes);
    const std::string common = path("boxes.obj") + kSmall + " -q --background 0.1,0.1,0.1";
    ASSERT_EQ(run(common + " -o " + path("plain.png")).status, 0);
    ASSERT_EQ(run(common + " --exposure 1 -o " + path("bright.png") + " --save-scene " + path("bright.json")).status, 0);
    EXPECT_NEAR(image("bright.png").pixel(0, 0)[0], 0.2f, 0.01f);
    EXPECT_NEAR(image("plain.png").pixel(0, 0)[0], 0.1f, 0.01f);
    ASSERT_EQ(run(path("bright.json") + " -q -o " + path("again.png")).status, 0);
    EXPECT_EQ(bytes("again.png"), bytes("bright.png"));
    EXPECT_EQ(run(common + " --exposure 65").status, 2);

    // Lights: the fill lifts the image, no key light darkens it; the saved scene keeps both.
    auto total = [&](const std::string &name) {
        double sum = 0.0;
        for (float v : image(name).rgb) sum += static_cast<double>(v);
        return sum;
    };
    ASSERT_EQ(run(common + " --lights key-fill -o " + path("fill.png") + " --save-scene " + path("fill.json")).status, 0);
    ASSERT_EQ(run(common + " --light-intensity 0 -o " + path("dark.png")).status, 0);
    EXPECT_GT(total("fill.png"), total("plain.png") * 1.05);
    EXPECT_LT(total("dark.png"), total("plain.png") * 0.95);
    ASSERT_EQ(run(path("fill.json") + " -q -o " + path("fill2.png")).status, 0);
    EXPECT_EQ(bytes("fill2.png"), bytes("fill.png"));
    EXPECT_EQ(run(path("fill.json") + " --lights key-fill").status, 2) << "a scene file holds its own lights";
}

TEST_F(ArtistCommandLine, SurfacesAreListedAndSetOneByOne) {
    const RunResult list = run("--list-surfaces --no-dirt Box");
    ASSERT_EQ(list.status, 0) << list.output;
    EXPECT_NE(list.output.find("Box/Box: 6 polygons, smoothing 0 degrees, dirt off"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("Room/Floor: 144 polygons, smoothing 0 degrees, dirt on"), std::string::npos);
    EXPECT_NE(list.output.find("Ball/Ball: 1152 polygons, smoothing 89 degrees, dirt on"), std::string::npos);

    const std::string demo = std::string(kSmall) + " -q -o ";
    ASSERT_EQ(run(demo + path("plain.png")).status, 0);
    ASSERT_EQ(run(demo + path("box.png") + " --set Box/Box:dirt_width=0.05 --save-scene " + path("box.json")).status, 0);
    ASSERT_EQ(run(demo + path("all.png") + " --set dirt_width=0.05").status, 0);
    EXPECT_NE(bytes("box.png"), bytes("plain.png"));
    EXPECT_NE(bytes("box.png"), bytes("all.png")) << "the other surfaces keep their width";
    ASSERT_EQ(run(path("box.json") + " -q -o " + path("again.png")).status, 0);
    EXPECT_EQ(bytes("again.png"), bytes("box.png"));

    const RunResult slip = run("--set Bx:dirt_width=1");
    EXPECT_EQ(slip.status, 2);
    EXPECT_NE(slip.output.find("no surface is named \"Bx\" (did you mean Box?)"), std::string::npos) << slip.output;

    write("boxes.obj", kTwoBoxes);
    const RunResult ground = run(path("boxes.obj") + " --ground-dirt 0 --list-surfaces");
    EXPECT_NE(ground.output.find("Ground/Ground: 1 polygons, smoothing 0 degrees, dirt off"), std::string::npos)
        << ground.output;
}

// Every channel of an OpenEXR file, as floats by name.
std::map<std::string, std::vector<float>> exr_channels(const std::string &file, int &width, int &height) {
    Imf::InputFile in(file.c_str());
    const Imath::Box2i window = in.header().dataWindow();
    width = window.max.x - window.min.x + 1, height = window.max.y - window.min.y + 1;
    std::map<std::string, std::vector<float>> out;
    Imf::FrameBuffer frame;
    for (auto c = in.header().channels().begin(); c != in.header().channels().end(); ++c) {
        std::vector<float> &v = out[c.name()];
        v.resize(static_cast<size_t>(width) * height);
        frame.insert(c.name(), Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(v.data()), sizeof(float),
                                          sizeof(float) * width));
    }
    in.setFrameBuffer(frame);
    in.readPixels(window.min.y, window.max.y);
    return out;
}

TEST_F(ArtistCommandLine, TheLayersLineUpWithTheImageAndTheAlphaClearsTheBackground) {
    write("boxes.obj", kTwoBoxes);
    const std::string common = path("boxes.obj") + kSmall + " -q --no-ground";
    ASSERT_EQ(run(common + " -o " + path("beauty.exr") + " --mask " + path("mask.exr") + " --layers " +
                  path("layers.exr")).status, 0);
    ASSERT_EQ(run(common + " --compare -o " + path("compare.exr")).status, 0);
    ASSERT_EQ(run(common + " --alpha -o " + path("alpha.png")).status, 0);
    int w = 0, h = 0, bw = 0, bh = 0, mw = 0, mh = 0, cw = 0, ch = 0;
    auto layers = exr_channels(path("layers.exr"), w, h);
    auto beauty = exr_channels(path("beauty.exr"), bw, bh);
    auto mask = exr_channels(path("mask.exr"), mw, mh);
    auto compare = exr_channels(path("compare.exr"), cw, ch);
    ASSERT_EQ(layers.size(), 12u);
    ASSERT_EQ(w, bw);
    ASSERT_EQ(h, bh);
    for (const char *c : {"R", "G", "B"}) EXPECT_EQ(layers[c], beauty[c]) << c;
    EXPECT_EQ(layers["dirt.Y"], mask["Y"]);
    int covered = 0, clear = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            EXPECT_EQ(layers["clean.G"][i], compare["G"][static_cast<size_t>(y) * cw + w + x]) << "the right half";
            const float a = layers["A"][i];
            if (a == 1.0f) {
                ++covered;
                const double n = std::hypot(layers["N.X"][i], layers["N.Y"][i], layers["N.Z"][i]);
                EXPECT_NEAR(n, 1.0, 0.01);
                EXPECT_GT(layers["Z"][i], 0.0f);
            } else if (a == 0.0f) {
                ++clear;
                EXPECT_EQ(layers["Z"][i], 0.0f);
            }
        }
    EXPECT_GT(covered, w * h / 10);
    EXPECT_GT(clear, w * h / 10);

    // The PNG's alpha is the layers' A, 8 bits deep.
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&png, path("alpha.png").c_str()));
    png.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> rgba(PNG_IMAGE_SIZE(png));
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr));
    for (size_t i = 0; i < layers["A"].size(); ++i)
        ASSERT_NEAR(rgba[i * 4 + 3], layers["A"][i] * 255.0f, 0.6f) << i;
    EXPECT_EQ(run(common + " --layers " + path("layers.png")).status, 2);
}

}  // namespace
