#include "render/lwo_surfaces.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "render/mesh_import.h"

namespace render {
namespace {

using Bytes = std::vector<unsigned char>;

void put_id(Bytes &b, const char *id) { b.insert(b.end(), id, id + 4); }
void put_u4(Bytes &b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>(v >> s));
}
void put_u2(Bytes &b, uint32_t v) {
    b.push_back(static_cast<unsigned char>(v >> 8));
    b.push_back(static_cast<unsigned char>(v));
}
void put_name(Bytes &b, const std::string &s) {
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
    if ((s.size() + 1) & 1) b.push_back(0);
}
void put_f4(Bytes &b, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put_u4(b, bits);
}

// A SURF chunk with an optional SMAN, after a colour subchunk.
Bytes surf(bool lwo2, const std::string &name, const float *sman) {
    Bytes body;
    put_name(body, name);
    if (lwo2) put_name(body, "");
    put_id(body, "COLR");
    put_u2(body, 14);
    for (int k = 0; k < 3; ++k) put_f4(body, 0.5f);
    put_u2(body, 0);
    if (sman) {
        put_id(body, "SMAN");
        put_u2(body, 4);
        put_f4(body, *sman);
    }
    Bytes chunk;
    put_id(chunk, "SURF");
    put_u4(chunk, static_cast<uint32_t>(body.size()));
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

Bytes form(const char *type, const std::vector<Bytes> &chunks) {
    Bytes body;
    put_id(body, type);
    put_id(body, "TAGS");  // an unrelated chunk of odd length, padded
    put_u4(body, 3);
    body.insert(body.end(), {'a', 'b', 0, 0});
    for (const Bytes &c : chunks) body.insert(body.end(), c.begin(), c.end());
    Bytes file;
    put_id(file, "FORM");
    put_u4(file, static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

TEST(LwoSurfaces, SmoothingAnglesBySurfaceInBothFormats) {
    const float angle = 1.5625f;
    for (const char *type : {"LWO2", "LWOB"}) {
        const bool lwo2 = std::strcmp(type, "LWO2") == 0;
        const Bytes file = form(type, {surf(lwo2, "Smooth", &angle), surf(lwo2, "Flat", nullptr)});
        ASSERT_TRUE(is_lwo(file));
        const auto angles = lwo_smoothing_angles(file);
        ASSERT_EQ(angles.size(), 2u) << type;
        EXPECT_EQ(angles.at("Smooth"), static_cast<double>(angle)) << type;
        EXPECT_EQ(angles.at("Flat"), 0.0) << type;
    }
}

TEST(LwoSurfaces, DamagedFilesAreReadNoFurtherThanTheirBytes) {
    const float angle = 1.0f;
    const Bytes whole = form("LWO2", {surf(true, "A", &angle), surf(true, "B", &angle)});
    // Every truncation, and lengths that claim more than there is, stay within the bytes
    // (AddressSanitizer watches the reads).
    for (size_t n = 0; n <= whole.size(); ++n) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(n));
        const auto angles = lwo_smoothing_angles(cut);
        EXPECT_LE(angles.size(), 2u);
    }
    Bytes lying = whole;
    lying[4] = lying[5] = 0xFF;  // a FORM far longer than the file
    EXPECT_EQ(lwo_smoothing_angles(lying).size(), 2u);
    Bytes unterminated = form("LWO2", {});
    put_id(unterminated, "SURF");
    put_u4(unterminated, 4);
    unterminated.insert(unterminated.end(), {'a', 'b', 'c', 'd'});
    EXPECT_TRUE(lwo_smoothing_angles(unterminated).empty());

    EXPECT_FALSE(is_lwo(Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'I', 'F', 'F'}));
    EXPECT_TRUE(lwo_smoothing_angles(Bytes{}).empty());
}

TEST(MeshImport, ObjVertexNormalsStayWithTheirCornersAndSurfacesTakeTheDefaultAngle) {
    char tmpl[] = "/tmp/mesh-import-test-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    std::ofstream(dir + "/n.obj") << "v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\n"
                                     "vn 0 1 0\nvn 0.6 0.8 0\n"
                                     "f 1//1 2//2 3//2 4//1\n";
    std::ofstream(dir + "/plain.obj") << "v 0 0 0\nv 1 0 0\nv 1 0 1\nf 1 2 3\n";
    Scene scene;
    std::string error;
    Item &with = scene.add_object("With", "With");
    ASSERT_TRUE(import_mesh_file(dir + "/n.obj", scene, with, &error)) << error;
    const Polygon &quad = *with.layers.at(0)->mesh.polygons.at(0);
    ASSERT_EQ(quad.normals.size(), 4u);
    EXPECT_FLOAT_EQ(quad.normals[1][0], 0.6f);
    EXPECT_FLOAT_EQ(quad.normals[3][1], 1.0f);
    EXPECT_EQ(with.surfaces.at(0)->values.smoothing_angle, kDefaultSmoothingAngle);

    Item &without = scene.add_object("Without", "Without");
    ASSERT_TRUE(import_mesh_file(dir + "/plain.obj", scene, without, &error)) << error;
    EXPECT_TRUE(without.layers.at(0)->mesh.polygons.at(0)->normals.empty());
    std::system(("rm -rf " + dir).c_str());
}

TEST(MeshImport, LightWaveSurfacesKeepTheirOwnSmoothingAngles) {
    const std::string lwo = "/usr/share/assimp/models/LWO/LWO2/hierarchy_smoothed.lwo";
    if (access(lwo.c_str(), R_OK) != 0) GTEST_SKIP() << "assimp-testmodels is not installed";
    Scene scene;
    Item &object = scene.add_object("O", "O");
    std::string error;
    ASSERT_TRUE(import_mesh_file(lwo, scene, object, &error)) << error;
    ASSERT_FALSE(object.surfaces.empty());
    for (const Surface *s : object.surfaces) EXPECT_NEAR(s->values.smoothing_angle, 2.0943951, 1e-6) << s->name;
    for (const auto &layer : object.layers)
        for (const auto &p : layer->mesh.polygons) EXPECT_TRUE(p->normals.empty());
}

}  // namespace
}  // namespace render
