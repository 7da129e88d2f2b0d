// dirt-render's images and answers as the README and the scene reference describe them:
// light exclusion, texture images found beside the scene, smoothing of files with facet
// normals, framing, up axes, exit codes and the summary line.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "refhost/scene.h"
#include "render/mesh_import.h"
#include "render/png_image.h"
#include "tests/support/dirt_render_run.h"

namespace {

using testing_support::RunResult;

RunResult run(const std::string &args, const std::string &prefix = "") {
    return testing_support::run_dirt_render(args, prefix);
}

class AsDocumented : public testing_support::ScratchFolder {};

double grey(const render::RgbImage &img, int x, int y) {
    const float *p = img.pixel(x, y);
    return static_cast<double>(p[0]) + static_cast<double>(p[1]) + static_cast<double>(p[2]);
}

// A box on a floor, seen from above and in front, lit by one light that may exclude the box.
std::string box_scene(const std::string &light_extra) {
    return R"({"camera": {"position": [0, 4, -4], "look_at": [0, 0.5, 0], "fov": 40},
      "ambient": {"intensity": 0.2},
      "lights": [{"name": "Key", "type": "distant", "direction": [0.3, -1, 0.5])" + light_extra + R"(}],
      "objects": [{"name": "Floor", "primitives": [{"type": "floor", "size": 20, "surface": "Floor"}]},
                  {"name": "Box", "primitives": [{"type": "box", "min": [-0.5, 0, -0.5], "max": [0.5, 1, 0.5], "surface": "Box"}]}],
      "surfaces": [{"object": "Box", "name": "Box", "dirt": true}],
      "render": {"width": 64, "height": 48, "samples": 1}})";
}

TEST_F(AsDocumented, AnExcludedLightNoLongerLightsTheObject) {
    write("excluded.json", box_scene(R"(, "exclude": ["Box"])"));
    write("lit.json", box_scene(""));
    write("dark.json", box_scene(R"(, "intensity": 0)"));
    for (const char *name : {"excluded", "lit", "dark"})
        ASSERT_EQ(run(path(std::string(name) + ".json") + " -q -o " + path(std::string(name) + ".png")).status, 0);
    const render::RgbImage excluded = image("excluded.png"), lit = image("lit.png"), dark = image("dark.png");
    // The box fills the middle of the frame; the floor its lower corner.
    EXPECT_EQ(grey(excluded, 32, 24), grey(dark, 32, 24)) << "the box loses the light's contribution";
    EXPECT_GT(grey(lit, 32, 24), grey(excluded, 32, 24) + 0.05);
    EXPECT_EQ(grey(excluded, 2, 45), grey(lit, 2, 45)) << "the floor keeps it";
    EXPECT_GT(grey(excluded, 2, 45), grey(dark, 2, 45) + 0.05);
}

// A scene whose floor's dirt amount follows a checkered image beside the scene file.
const char *const kTexturedScene = R"({"camera": {"position": [0, 1.5, -2.5], "look_at": [0, 0.3, 0], "fov": 50},
  "lights": [{"type": "distant", "direction": [0.2, -1, 0.4]}],
  "objects": [{"name": "Room", "primitives": [{"type": "floor", "size": 4, "surface": "Floor"},
               {"type": "box", "min": [-0.5, 0, -0.5], "max": [0.5, 0.6, 0.5], "surface": "Floor"}]}],
  "surfaces": [{"object": "Room", "name": "Floor", "dirt": {"dirt_width": 0.6, "use_color": 1, "dirt_color": [0, 0, 0],
    "dirt_amount": {"value": 1, "texture": [{"type": "image", "image": "checker.png", "axis": "y", "size": [0.5, 0.5, 0.5]}]}}}],
  "render": {"width": 48, "height": 32, "samples": 1}})";

TEST_F(AsDocumented, ATexturedSceneRendersAlikeFromAnyFolderAndSaved) {
    ASSERT_EQ(system(("mkdir -p " + path("scene") + " " + path("saved") + " " + path("other")).c_str()), 0);
    render::RgbImage checker;
    checker.width = checker.height = 2;
    checker.rgb = {1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1};
    std::string error;
    ASSERT_TRUE(render::write_png(path("scene/checker.png"), checker, &error)) << error;
    write("scene/scene.json", kTexturedScene);
    std::string plain = kTexturedScene;
    plain.replace(plain.find("\"texture\""), plain.find("]}}}]") + 1 - plain.find("\"texture\""), "\"envelope\": [[0, 1]]");
    write("scene/plain.json", plain);

    // From the scratch folder, not the scene's: the image is the scene's neighbour.
    const std::string cd = "cd " + dir_ + " && ";
    const RunResult first = run("scene/scene.json -q -o a.png --save-scene saved/s.json", cd);
    ASSERT_EQ(first.status, 0) << first.output;
    ASSERT_EQ(run("scene/plain.json -q -o plain.png", cd).status, 0);
    EXPECT_NE(bytes("a.png"), bytes("plain.png")) << "the texture shows";
    // The saved scene names the image so that it is found from anywhere.
    const RunResult again = run("../saved/s.json -q -o ../b.png", "cd " + path("other") + " && ");
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(bytes("a.png"), bytes("b.png"));
    // Without its image the saved scene is refused, naming the file.
    ASSERT_EQ(std::remove(path("scene/checker.png").c_str()), 0);
    const RunResult lost = run(path("saved/s.json") + " -q -o " + path("c.png"));
    EXPECT_EQ(lost.status, 1) << lost.output;
    EXPECT_NE(lost.output.find("cannot read texture image"), std::string::npos) << lost.output;
    EXPECT_NE(lost.output.find("checker.png"), std::string::npos) << lost.output;
    EXPECT_FALSE(exists("c.png"));
}

// An ASCII STL sphere: every facet carries its own normal, as STL files do.
std::string stl_sphere(int rings, int segments) {
    const double pi = 3.14159265358979323846;
    auto at = [&](int r, int s) {
        const double t = pi * r / rings, p = 2.0 * pi * s / segments;
        return std::array<double, 3>{std::sin(t) * std::cos(p), std::cos(t) + 1.0, std::sin(t) * std::sin(p)};
    };
    std::string out = "solid sphere\n";
    char line[200];
    auto facet = [&](std::array<double, 3> a, std::array<double, 3> b, std::array<double, 3> c) {
        const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (len == 0.0) return;
        std::snprintf(line, sizeof line, " facet normal %.6f %.6f %.6f\n  outer loop\n", n[0] / len, n[1] / len,
                      n[2] / len);
        out += line;
        for (const auto &p : {a, b, c}) {
            std::snprintf(line, sizeof line, "   vertex %.6f %.6f %.6f\n", p[0], p[1], p[2]);
            out += line;
        }
        out += "  endloop\n endfacet\n";
    };
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            facet(at(r, s), at(r + 1, s), at(r + 1, s + 1));
            facet(at(r, s), at(r + 1, s + 1), at(r, s + 1));
        }
    return out + "endsolid sphere\n";
}

// The rows and columns of backdrop (black) between what is drawn and each edge.
struct Margins {
    int top, bottom, left, right;
};

Margins margins(const render::RgbImage &img) {
    int top = img.height, bottom = -1, left = img.width, right = -1;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            if (grey(img, x, y) > 0.0)
                top = std::min(top, y), bottom = std::max(bottom, y), left = std::min(left, x), right = std::max(right, x);
    return {top, img.height - 1 - bottom, left, img.width - 1 - right};
}

TEST_F(AsDocumented, FacetNormalsSmoothByAngleAndTheSphereIsFramedEvenly) {
    write("ball.stl", stl_sphere(12, 24));
    const std::string args = path("ball.stl") + " --width 64 --height 48 --samples 1 -q --no-ground -o ";
    ASSERT_EQ(run(args + path("default.png")).status, 0);
    ASSERT_EQ(run(args + path("smooth.png") + " --smoothing-angle 89.5").status, 0);
    ASSERT_EQ(run(args + path("faceted.png") + " --smoothing-angle Object=0").status, 0);
    EXPECT_EQ(bytes("default.png"), bytes("smooth.png"));
    EXPECT_NE(bytes("default.png"), bytes("faceted.png"));
    const RunResult unknown = run(args + path("x.png") + " --smoothing-angle Objcet=30");
    EXPECT_EQ(unknown.status, 2) << unknown.output;
    EXPECT_NE(unknown.output.find("did you mean Object?"), std::string::npos) << unknown.output;

    // The ball on the black backdrop: as far from the top edge as from the bottom, and from
    // the left as from the right.
    const Margins ball = margins(image("default.png"));
    EXPECT_GT(ball.top, 0);
    EXPECT_LE(std::abs(ball.top - ball.bottom), 1) << ball.top << " " << ball.bottom;
    EXPECT_LE(std::abs(ball.left - ball.right), 1) << ball.left << " " << ball.right;
    // A cube's corners lie on its bounding sphere: none leaves the frame (the nearest ran
    // off its bottom edge once).
    write("cube.obj", "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
                      "f 1 4 3 2\nf 5 6 7 8\nf 1 5 8 4\nf 2 3 7 6\nf 4 8 7 3\nf 1 2 6 5\n");
    ASSERT_EQ(run(path("cube.obj") + " --width 64 --height 48 --samples 1 -q --no-ground -o " + path("cube.png")).status, 0);
    const Margins cube = margins(image("cube.png"));
    for (const int m : {cube.top, cube.bottom, cube.left, cube.right}) EXPECT_GE(m, 2);
}

TEST_F(AsDocumented, AZUpFileStandsUpWhenToldSo) {
    // A post 4 units along z, 1 across.
    write("post.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 4\nv 1 0 4\nv 1 1 4\nv 0 1 4\n"
                      "f 1 4 3 2\nf 5 6 7 8\nf 1 5 8 4\nf 2 3 7 6\nf 4 8 7 3\nf 1 2 6 5\n");
    auto height = [&](render::UpAxis up) {
        refhost::Scene scene;
        refhost::Item &object = scene.add_object("Post", "Post");
        render::ImportOptions options;
        options.up = up;
        std::string error;
        EXPECT_TRUE(render::import_mesh_file(path("post.obj"), scene, object, &error, nullptr, options)) << error;
        double lo = HUGE_VAL, hi = -HUGE_VAL;
        for (const auto &p : object.layers[0]->mesh.points)
            lo = std::fmin(lo, static_cast<double>(p->base[1])), hi = std::fmax(hi, static_cast<double>(p->base[1]));
        return hi - lo;
    };
    EXPECT_EQ(height(render::UpAxis::FromFile), 1.0);
    EXPECT_EQ(height(render::UpAxis::Z), 4.0);
    const RunResult r = run(path("post.obj") + " --up z --width 16 --height 12 --samples 1 -q -o " + path("p.png") +
                            " --save-scene " + path("p.json"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(bytes("p.json").find("\"up\": \"z\""), std::string::npos) << "the saved scene keeps the choice";
}

TEST_F(AsDocumented, CommandLineMistakesExitTwoWithAHint) {
    write("scene.json", R"({"objects": [{"name": "A", "primitives": [{"type": "box", "surface": "Floor"}]}],
        "surfaces": [{"object": "A", "name": "Floor", "dirt": true}], "render": {"width": 16, "height": 12, "depth": "16"}})");
    const struct {
        std::string args, message;
        int status;
    } cases[] = {
        {"--set dirt_widht=1", "did you mean dirt_width?", 2},
        {"--set use_color=yes", "a switch takes 0 or 1", 2},
        {"-o " + path("out.jpg"), "cannot write .jpg images", 2},
        {"-o " + path("x.exr") + " --depth 16", "--depth 16: an .exr image takes depth half or float", 2},
        {"--mask " + path("m.exr"), "the mask takes the image's depth", 2},
        {"--up w", "--up needs y, z, x, -y, -z or -x", 2},
    };
    for (const auto &c : cases) {
        const RunResult r = run(path("scene.json") + " -q " + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << ": " << r.output;
    }
    // The command line's file wins over the depth the scene stored for another format.
    const RunResult exr = run(path("scene.json") + " -q -o " + path("x.exr"));
    EXPECT_EQ(exr.status, 0) << exr.output;
    EXPECT_TRUE(exists("x.exr"));

    // Slips in scene files are answered with the nearest names.
    write("widht.json", R"({"render": {"widht": 16}})");
    write("surface.json", R"({"objects": [{"name": "A", "primitives": [{"type": "box", "surface": "Floor"}]}],
        "surfaces": [{"object": "A", "name": "Floro", "dirt": true}]})");
    EXPECT_NE(run(path("widht.json") + " -q").output.find("did you mean width?"), std::string::npos);
    EXPECT_NE(run(path("surface.json") + " -q").output.find("did you mean Floor?"), std::string::npos);
}

TEST_F(AsDocumented, TheSummaryCountsEveryPassAndVersionNamesThePlugIn) {
    const RunResult r = run("--width 32 --height 20 --samples 1 -o " + path("a.png") + " --mask " + path("m.png"));
    ASSERT_EQ(r.status, 0) << r.output;
    double total = 0.0, image_pass = 0.0, mask_pass = 0.0;
    const size_t at = r.output.find("rays cast by the plug-in in ");
    ASSERT_NE(at, std::string::npos) << r.output;
    ASSERT_EQ(std::sscanf(r.output.c_str() + at, "rays cast by the plug-in in %lf s render time (image %lf s, mask %lf s)",
                          &total, &image_pass, &mask_pass),
              3)
        << r.output;
    EXPECT_NEAR(total, image_pass + mask_pass, 0.011);

    const RunResult v = run("--version");
    EXPECT_EQ(v.status, 0);
    EXPECT_NE(v.output.find("Ormel's Dirt Shader version"), std::string::npos) << v.output;
    EXPECT_NE(v.output.find("dirt-render, build "), std::string::npos) << v.output;
}

TEST_F(AsDocumented, ALightWaveSceneSaysWhatItLeavesOut) {
    const std::string lws = "/usr/share/assimp/models/LWS/move_x.lws";
    if (access(lws.c_str(), R_OK) != 0) GTEST_SKIP() << "assimp-testmodels is not installed";
    const RunResult r = run(lws + " --width 16 --height 12 --samples 1 -q -o " + path("l.png"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("a LightWave scene: its objects are read as the scene first places them; its motion, "
                            "cameras and lights are ignored"),
              std::string::npos)
        << r.output;
}

}  // namespace
