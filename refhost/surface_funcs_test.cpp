// Surfaces, scene objects and images through the host's service tables.
#include <gtest/gtest.h>

#include <cstdio>

#include "refhost/block_io.h"
#include "refhost/host.h"
#include "refhost/image_list.h"
#include "refhost/mesh_access.h"
#include "refhost/services.h"

namespace refhost {
namespace {

class SceneServices : public ::testing::Test {
protected:
    SceneServices() {
        Item &a = host.scene().add_object("A", "objects/a.lwo");
        Item &b = host.scene().add_object("B", "objects/b.lwo");
        wood = &host.scene().add_surface(a, "Wood");
        host.scene().add_surface(a, "Metal");
        other_wood = &host.scene().add_surface(b, "Wood");
        Mesh &top = b.add_layer(2).mesh;
        top.add_polygon({top.add_point(0, 0, 2), top.add_point(1, 0, 2), top.add_point(0, 1, 2)}, "Wood");
        b.add_layer(0).mesh.add_point(5, 5, 5);
    }

    Host host;
    const bool installed = (install_instance_services(host), true);
    const LWSurfaceFuncs &sf = *static_cast<LWSurfaceFuncs *>(host.lookup(LWSURFACEFUNCS_GLOBAL, 0));
    const LWObjectFuncs &so = *static_cast<LWObjectFuncs *>(host.lookup(LWOBJECTFUNCS_GLOBAL, 0));
    const LWImageList &il = *static_cast<LWImageList *>(host.lookup(LWIMAGELIST_GLOBAL, 0));
    const LWChannelInfo &ci = *static_cast<LWChannelInfo *>(host.lookup(LWCHANNELINFO_GLOBAL, 0));
    Surface *wood = nullptr, *other_wood = nullptr;
};

TEST_F(SceneServices, SurfacesListByObjectAndName) {
    LWSurfaceID *list = sf.byObject("objects/a.lwo");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list[0], to_id(wood));
    EXPECT_STREQ(sf.name(list[1]), "Metal");
    EXPECT_EQ(list[2], nullptr);
    EXPECT_EQ(sf.byObject("objects/none.lwo"), nullptr);
    LWSurfaceID *woods = sf.byName("Wood", nullptr);
    EXPECT_EQ(woods[0], to_id(wood));
    EXPECT_EQ(woods[1], to_id(other_wood));
    EXPECT_EQ(woods[2], nullptr);
    EXPECT_EQ(sf.byName("Wood", "objects/b.lwo")[0], to_id(other_wood));
    EXPECT_STREQ(sf.sceneObject(to_id(other_wood)), "objects/b.lwo");
    EXPECT_EQ(sf.next(sf.first()), list[1]);

    // Base values are the surface's own, by address.
    double *color = sf.getFlt(to_id(wood), SURF_COLR);
    ASSERT_NE(color, nullptr);
    color[2] = 0.125;
    EXPECT_EQ(wood->values.color[2], 0.125);
    EXPECT_EQ(sf.getFlt(to_id(wood), SURF_SMAN), &wood->values.smoothing_angle);
    EXPECT_EQ(sf.getFlt(to_id(wood), "Nonsense"), nullptr);
}

TEST_F(SceneServices, ChannelGroupIsMadeOnceAndNamedAfterTheSurface) {
    LWChanGroupID g = sf.chanGrp(to_id(wood));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(sf.chanGrp(to_id(wood)), g);
    EXPECT_STREQ(ci.groupName(g), "Wood");
    EXPECT_NE(sf.chanGrp(to_id(other_wood)), g);
}

TEST_F(SceneServices, SceneObjectsGiveOneLayerMeshAtATime) {
    ASSERT_EQ(so.numObjects(), 2);
    EXPECT_STREQ(so.filename(1), "objects/b.lwo");
    EXPECT_EQ(so.filename(2), nullptr);
    EXPECT_EQ(so.maxLayers(0), 0);
    EXPECT_EQ(so.maxLayers(1), 3);
    EXPECT_EQ(so.layerExists(1, 1), 0);
    EXPECT_EQ(so.layerExists(1, 2), 1);
    EXPECT_EQ(so.layerMesh(1, 1), nullptr);
    const long made = mesh_access_stats().created;
    LWMeshInfo *mesh = so.layerMesh(1, 2);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->numPoints(mesh), 3);  // layer 2 only, not layer 0's point
    EXPECT_EQ(mesh->numPolygons(mesh), 1);
    mesh->destroy(mesh);
    EXPECT_EQ(mesh_access_stats().created, made + 1);
}

TEST_F(SceneServices, ImagesListAndRoundTripThroughSceneData) {
    Image &img = host.scene().add_image("Wood.png", "images/Wood.png");
    img.width = 2;
    img.height = 1;
    img.rgb = {1.0f, 0.0f, 0.0f, 0.0f, 0.5f, 1.0f};
    EXPECT_EQ(il.first(), to_id(&img));
    EXPECT_EQ(il.next(il.first()), nullptr);
    unsigned char rgb[3];
    il.RGB(to_id(&img), 1, 0, rgb);
    EXPECT_EQ(rgb[1], 128);
    il.RGB(to_id(&img), 2, 0, rgb);  // outside the image
    EXPECT_EQ(rgb[0], 0);
    EXPECT_EQ(il.load("images/does-not-exist.png"), nullptr);

    BlockWriter w(LWIO_ASCII);
    il.sceneSave(w.state(), to_id(&img));
    BlockReader r(LWIO_ASCII, w.bytes());
    EXPECT_EQ(il.sceneLoad(r.state()), to_id(&img));  // known by its file name

    Host other;
    install_instance_services(other);
    const LWImageList &il2 = *static_cast<LWImageList *>(other.lookup(LWIMAGELIST_GLOBAL, 0));
    BlockReader r2(LWIO_ASCII, w.bytes());
    LWImageID added = il2.sceneLoad(r2.state());
    ASSERT_NE(added, nullptr);
    EXPECT_STREQ(il2.name(added), "Wood.png");
    EXPECT_STREQ(il2.filename(added, 0), "images/Wood.png");
    EXPECT_EQ(il2.first(), added);
}

// A reader that knows one file: a red and a blue pixel.
int g_reads = 0;
bool read_two_pixels(const std::string &path, Image &image) {
    ++g_reads;
    if (path != "textures/two.png") return false;
    image.width = 2;
    image.height = 1;
    image.rgb = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    return true;
}

TEST_F(SceneServices, LoadReadsAFileOnceThroughTheInstalledReader) {
    EXPECT_EQ(il.load("textures/two.png"), nullptr) << "no reader installed";
    set_image_file_reader(host, read_two_pixels);
    g_reads = 0;
    EXPECT_EQ(il.load("textures/missing.png"), nullptr);
    LWImageID img = il.load("textures/two.png");
    ASSERT_NE(img, nullptr);
    EXPECT_STREQ(il.name(img), "two.png");
    int w = 0, h = 0;
    il.size(img, &w, &h);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);
    unsigned char rgb[3];
    il.RGB(img, 1, 0, rgb);
    EXPECT_EQ(rgb[2], 255);
    EXPECT_EQ(rgb[0], 0);
    EXPECT_EQ(il.load("textures/two.png"), img);  // already in the list
    EXPECT_EQ(g_reads, 2);
}

}  // namespace
}  // namespace refhost
