// The import of object files: the stream that carries an object back from the import
// process (render/object_stream.h), and the import process itself.
#include "render/object_import.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "render/limits.h"
#include "render/mesh_import.h"
#include "render/object_stream.h"

namespace render {
namespace {

// Two objects hold the same layers (numbers, points in order, polygons with their corners,
// tags, normals and texture coordinates, weight maps) and the same surfaces and values.
void expect_same_object(const Item &a, const Item &b) {
    ASSERT_EQ(a.layers.size(), b.layers.size());
    for (size_t l = 0; l < a.layers.size(); ++l) {
        const Mesh &ma = a.layers[l]->mesh, &mb = b.layers[l]->mesh;
        EXPECT_EQ(a.layers[l]->index, b.layers[l]->index);
        ASSERT_EQ(ma.points.size(), mb.points.size());
        std::map<const Point *, size_t> na, nb;
        for (size_t i = 0; i < ma.points.size(); ++i) {
            na[ma.points[i].get()] = nb[mb.points[i].get()] = i;
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(ma.points[i]->base[k], mb.points[i]->base[k]);
                EXPECT_EQ(ma.points[i]->deform[k], mb.points[i]->deform[k]);
            }
        }
        ASSERT_EQ(ma.polygons.size(), mb.polygons.size());
        for (size_t i = 0; i < ma.polygons.size(); ++i) {
            const Polygon &pa = *ma.polygons[i], &pb = *mb.polygons[i];
            ASSERT_EQ(pa.vertices.size(), pb.vertices.size());
            for (size_t k = 0; k < pa.vertices.size(); ++k) EXPECT_EQ(na.at(pa.vertices[k]), nb.at(pb.vertices[k]));
            EXPECT_EQ(pa.surface, pb.surface);
            EXPECT_EQ(pa.part, pb.part);
            EXPECT_EQ(pa.normals, pb.normals);
            EXPECT_EQ(pa.uvs, pb.uvs);
        }
        ASSERT_EQ(ma.weight_maps.size(), mb.weight_maps.size());
        for (auto ia = ma.weight_maps.begin(), ib = mb.weight_maps.begin(); ia != ma.weight_maps.end(); ++ia, ++ib) {
            EXPECT_EQ(ia->first, ib->first);
            std::map<size_t, float> va, vb;
            for (const auto &e : ia->second) va[na.at(e.first)] = e.second;
            for (const auto &e : ib->second) vb[nb.at(e.first)] = e.second;
            EXPECT_EQ(va, vb);
        }
    }
    ASSERT_EQ(a.surfaces.size(), b.surfaces.size());
    for (size_t i = 0; i < a.surfaces.size(); ++i) {
        const SurfaceValues &va = a.surfaces[i]->values, &vb = b.surfaces[i]->values;
        EXPECT_EQ(a.surfaces[i]->name, b.surfaces[i]->name);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(va.color[k], vb.color[k]);
        EXPECT_EQ(va.diffuse, vb.diffuse);
        EXPECT_EQ(va.specular, vb.specular);
        EXPECT_EQ(va.glossiness, vb.glossiness);
        EXPECT_EQ(va.reflection, vb.reflection);
        EXPECT_EQ(va.smoothing_angle, vb.smoothing_angle);
        EXPECT_EQ(b.surfaces[i]->object_filename, b.filename);
    }
}

TEST(ObjectImport, TheImportProcessHandsBackWhatAnImportInProcessMakes) {
    char tmpl[] = "/tmp/object-import-test-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    // Two objects (two layers), two materials with colours, normals, texture coordinates
    // with a seam (one position, two UVs), a point given twice.
    std::ofstream(dir + "/m.mtl") << "newmtl Red\nKd 0.8 0.1 0.1\nnewmtl Blue\nKd 0.1 0.2 0.9\n";
    std::ofstream(dir + "/a.obj") << "mtllib m.mtl\n"
                                     "v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\nv 1 0 0\nv 2 1 0\n"
                                     "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0.5 0.5\n"
                                     "vn 0 1 0\nvn 0.6 0.8 0\n"
                                     "o First\nusemtl Red\nf 1/1/1 2/2/2 3/3/2 4/4/1\n"
                                     "usemtl Blue\nf 5/5/1 6/1/2 3/2/1\n"
                                     "o Second\nusemtl Blue\nf 4/1/1 3/2/1 6/3/2\n";
    std::vector<std::string> files = {dir + "/a.obj"};
    const std::string lwo = "/usr/share/assimp/models/LWO/LWO2/hierarchy_smoothed.lwo";
    if (access(lwo.c_str(), R_OK) == 0) files.push_back(lwo);  // smoothing angles from the file
    for (const std::string &file : files) {
        SCOPED_TRACE(file);
        Scene here, there;
        Item &a = here.add_object("A", "A.lwo"), &b = there.add_object("B", "B.lwo");
        std::string error;
        std::vector<std::string> warnings;
        ASSERT_TRUE(import_mesh_file(file, here, a, &error)) << error;
        ASSERT_TRUE(import_object_file(file, there, b, warnings, &error)) << error;
        EXPECT_GE(b.layers.size(), file == lwo ? 1u : 2u);
        expect_same_object(a, b);
    }
    std::system(("rm -rf " + dir).c_str());
}

// An object with every kind of content, warnings beside it.
void fill(Scene &scene, Item &object) {
    Surface &s = scene.add_surface(object, "Skin");
    s.values.color[1] = 0.25;
    s.values.smoothing_angle = 1.5;
    s.values.reflection = 0.125;
    scene.add_surface(object, "Bone");
    for (int l = 0; l < 2; ++l) {
        Mesh &mesh = object.add_layer(l).mesh;
        Point *p0 = mesh.add_point(0, 0, static_cast<float>(l)), *p1 = mesh.add_point(1, -0.0f, 0);
        Point *p2 = mesh.add_point(1, 1, 1e-30f), *p3 = mesh.add_point(0, 1, 0);
        p3->deform[2] = 0.5f;
        Polygon *quad = mesh.add_polygon({p0, p1, p2, p3}, "Skin");
        quad->part = "Arm";
        quad->normals = {{0, 1, 0}, {0, 1, 0}, {0.6f, 0.8f, 0}, {0, 0, 1}};
        quad->uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        mesh.add_polygon({p2, p1, p0}, l ? "Bone" : "Skin");
        mesh.weight_maps["Weight"][p1] = 0.75f;
        mesh.weight_maps["Weight"][p3] = -2.0f;
        mesh.weight_maps["Other"];
    }
}

TEST(ObjectStream, CarriesEveryPartOfAnObjectAndRefusesAnyDamage) {
    Scene source;
    Item &object = source.add_object("O", "O");
    fill(source, object);
    const std::vector<std::string> warnings = {"one", std::string("two\0bytes", 9)};
    std::string stream;
    write_object_stream(object, warnings, stream);

    Scene scene;
    Item &copy = scene.add_object("C", "C.obj");
    std::vector<std::string> got;
    std::string error;
    ASSERT_TRUE(read_object_stream(stream.data(), stream.size(), scene, copy, got, &error)) << error;
    expect_same_object(object, copy);
    EXPECT_EQ(got, warnings);

    // Into an object that has a layer already: numbered after it, its surface kept.
    Item &more = scene.add_object("M", "M.obj");
    scene.add_surface(more, "Skin").values.color[0] = 0.0;
    more.add_layer(0);
    got.clear();
    ASSERT_TRUE(read_object_stream(stream.data(), stream.size(), scene, more, got, &error)) << error;
    ASSERT_EQ(more.layers.size(), 3u);
    EXPECT_EQ(more.layers[2]->index, 2);
    ASSERT_EQ(more.surfaces.size(), 2u);
    EXPECT_EQ(more.surfaces[0]->values.color[0], 0.0);

    // Every shortened stream, and every byte of it changed to 0xff (counts and indices
    // out of range), is refused or read into an object that stays within bounds.
    for (size_t n = 0; n < stream.size(); ++n) {
        Scene s;
        Item &o = s.add_object("S", "S");
        EXPECT_FALSE(read_object_stream(stream.data(), n, s, o, got, &error)) << n;
        EXPECT_EQ(error, "the object came back damaged from the import process");
    }
    int refused = 0;
    for (size_t n = 0; n < stream.size(); ++n) {
        std::string bad = stream;
        bad[n] = '\xff';
        Scene s;
        Item &o = s.add_object("S", "S");
        refused += !read_object_stream(bad.data(), bad.size(), s, o, got, &error);
    }
    EXPECT_GT(refused, static_cast<int>(stream.size() / 4));
}

TEST(ObjectStream, CountsBeyondTheMemoryLimitAreRefusedBeforeAnythingIsMade) {
    Scene source;
    Item &object = source.add_object("O", "O");
    Mesh &mesh = object.add_layer(0).mesh;
    for (int i = 0; i < 20000; ++i) mesh.add_point(static_cast<float>(i), 0, 0);
    std::string stream;
    write_object_stream(object, {}, stream);
    const Limits kept = limits();
    Limits small = kept;
    small.max_memory_mib = 1;
    set_limits(small);
    Scene scene;
    Item &copy = scene.add_object("C", "C");
    std::vector<std::string> warnings;
    std::string error;
    EXPECT_FALSE(read_object_stream(stream.data(), stream.size(), scene, copy, warnings, &error));
    set_limits(kept);
    EXPECT_EQ(error, "the object needs about 4.8 MiB, beyond the memory limit of 1 MiB (raise it with --max-memory MIB)");
    ASSERT_EQ(copy.layers.size(), 0u);
}

}  // namespace
}  // namespace render
