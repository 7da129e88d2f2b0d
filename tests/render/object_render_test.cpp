// dirt-render on object files as a user runs it: `dirt-render MODEL` frames the model, sets
// it on a ground plane and chooses the dirt width, and the dirt shows.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "refhost/scene.h"
#include "render/mesh_import.h"
#include "render/png_image.h"
#include "tests/support/dirt_render_run.h"

namespace {

const char *const kModels = "/usr/share/assimp/models";

using testing_support::RunResult;

RunResult run(const std::string &args) { return testing_support::run_dirt_render(args); }

// Every LightWave and Wavefront object among the test models, the deliberately broken
// ones left out.
void find_models(const std::string &dir, std::vector<std::string> &out) {
    DIR *d = opendir(dir.c_str());
    if (!d) return;
    while (dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || name == "invalid") continue;
        const std::string path = dir + "/" + name;
        if (e->d_type == DT_DIR) {
            find_models(path, out);
        } else if (name.size() > 4) {
            const std::string ext = name.substr(name.size() - 4);
            if (ext == ".lwo" || ext == ".obj") out.push_back(path);
        }
    }
    closedir(d);
}

// Whether every corner of the model's polygons lies in the plane of its first polygon: such a model has
// no crease and nothing rises from the ground, so it has no place for dirt.
bool flat_model(const std::string &path) {
    refhost::Scene scene;
    refhost::Item &object = scene.add_object("Object", "Object");
    std::string error;
    if (!render::import_mesh_file(path, scene, object, &error)) return false;
    auto at = [](const refhost::Point *p) { return refhost::Vec3d{p->base[0], p->base[1], p->base[2]}; };
    // The plane of the first polygon with an area; a model without one shows nothing.
    refhost::Vec3d a, n;
    double len = 0.0;
    for (const auto &layer : object.layers)
        for (const auto &polygon : layer->mesh.polygons) {
            if (len > 0.0) break;
            a = at(polygon->vertices[0]);
            const refhost::Vec3d b = at(polygon->vertices[1]), c = at(polygon->vertices.back());
            const refhost::Vec3d u{b.x - a.x, b.y - a.y, b.z - a.z}, v{c.x - a.x, c.y - a.y, c.z - a.z};
            n = {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
            len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        }
    if (len == 0.0) return true;
    for (const auto &layer : object.layers)
        for (const auto &polygon : layer->mesh.polygons)
            for (const refhost::Point *p : polygon->vertices) {
                const refhost::Vec3d q = at(p);
                if (std::fabs((n.x * (q.x - a.x) + n.y * (q.y - a.y) + n.z * (q.z - a.z)) / len) > 1e-3) return false;
            }
    return true;
}

class ObjectRender : public testing_support::ScratchFolder {
protected:
    // The mask's values, 0 to 1, read as stored (linear).
    std::vector<float> mask(const std::string &name) const {
        render::Image img;
        EXPECT_TRUE(render::read_png_image(path(name), img));
        std::vector<float> v;
        for (size_t i = 0; i < img.rgb.size(); i += 3) v.push_back(img.rgb[i]);
        return v;
    }
};

TEST_F(ObjectRender, EveryTestModelWithPolygonsShowsDirtByDefault) {
    std::vector<std::string> models;
    find_models(std::string(kModels) + "/LWO", models);
    find_models(std::string(kModels) + "/OBJ", models);
    if (models.empty()) GTEST_SKIP() << "assimp-testmodels is not installed";
    int rendered = 0;
    for (const std::string &model : models) {
        const RunResult r = run("'" + model + "' --width 64 --height 48 --samples 1 -q -o " + path("b.png") +
                                " --mask " + path("m.png"));
        if (r.status != 0) {
            // Files the importer cannot read, and files without a face, are refused by name.
            EXPECT_TRUE(r.output.find("no polygon") != std::string::npos ||
                        r.output.find("cannot read mesh") != std::string::npos)
                << model << ": " << r.output;
            continue;
        }
        ++rendered;
        if (flat_model(model)) continue;
        int dirty = 0;
        const std::vector<float> m = mask("m.png");
        for (float v : m) dirty += v >= 0.25f;
        EXPECT_GE(dirty, static_cast<int>(m.size() / 200)) << model << ": dirt on too few pixels";
    }
    EXPECT_GE(rendered, 40);
}

// A step: two boxes side by side, one twice the other's height, 40 units across, as an OBJ
// without normals.
const char *const kStepObj =
    "v 0 0 0\nv 20 0 0\nv 20 10 0\nv 0 10 0\nv 0 0 20\nv 20 0 20\nv 20 10 20\nv 0 10 20\n"
    "v 20 0 0\nv 40 0 0\nv 40 20 0\nv 20 20 0\nv 20 0 20\nv 40 0 20\nv 40 20 20\nv 20 20 20\n"
    "f 1 4 3 2\nf 5 6 7 8\nf 1 5 8 4\nf 2 3 7 6\nf 4 8 7 3\nf 1 2 6 5\n"
    "f 9 12 11 10\nf 13 14 15 16\nf 9 13 16 12\nf 10 11 15 14\nf 12 16 15 11\nf 9 10 14 13\n";

TEST_F(ObjectRender, SavedSceneRendersTheSameImageAgain) {
    std::ofstream(path("step.obj")) << kStepObj;
    const std::string size = " --width 48 --height 36 --samples 2 ";
    const RunResult first = run(path("step.obj") + size + "-o " + path("a.png") + " --mask " + path("ma.png") +
                                " --save-scene " + path("step.json"));
    ASSERT_EQ(first.status, 0) << first.output;
    EXPECT_NE(first.output.find("dirt_width 4.9 and sample_scale 1.2 chosen from the object's size"), std::string::npos)
        << first.output;
    std::ifstream in(path("step.json"));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const char *key : {"\"camera\"", "\"lights\"", "\"ambient\"", "\"render\"", "\"Ground\"", "\"dirt_state\"",
                            "\"width\": 48"})
        EXPECT_NE(text.find(key), std::string::npos) << key;

    // Loaded from another folder, the model is found all the same.
    ASSERT_EQ(system(("mkdir -p " + path("elsewhere") + " && mv " + path("step.json") + " " + path("elsewhere/")).c_str()), 0);
    const RunResult again = run(path("elsewhere/step.json") + " -o " + path("b.png") + " --mask " + path("mb.png"));
    ASSERT_EQ(again.status, 0) << again.output;
    auto bytes = [&](const std::string &name) {
        std::ifstream f(path(name), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    };
    EXPECT_EQ(bytes("a.png"), bytes("b.png"));
    EXPECT_EQ(bytes("ma.png"), bytes("mb.png"));
    EXPECT_EQ(again.output.find("chosen"), std::string::npos) << "the width is the saved scene's own now";
}

TEST_F(ObjectRender, TheUsersWidthAndNoGroundAreKept) {
    std::ofstream(path("step.obj")) << kStepObj;
    const RunResult r = run(path("step.obj") + " --width 32 --height 24 --samples 1 --no-ground --set dirt_width=2"
                            " --set sample_scale=0.5 -o " + path("a.png") + " --save-scene " + path("s.json"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("chosen"), std::string::npos) << r.output;
    std::ifstream in(path("s.json"));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("\"Ground\""), std::string::npos);

    const RunResult cloud = run(std::string(kModels) + "/OBJ/point_cloud.obj -q -o " + path("c.png"));
    if (access((std::string(kModels) + "/OBJ/point_cloud.obj").c_str(), R_OK) == 0) {
        // Rendered, with a word that nothing of it is shaded.
        EXPECT_EQ(cloud.status, 0) << cloud.output;
        EXPECT_NE(cloud.output.find("point_cloud.obj has no polygons"), std::string::npos) << cloud.output;
    }
}

}  // namespace

