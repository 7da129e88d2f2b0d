#include "params/image_refs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "params/persistence.h"
#include "params/services.h"
#include "refhost/block_io.h"

namespace ormel {
namespace {

using refhost::BlockReader;
using refhost::BlockWriter;

// A small stand-in for the host's textures, channels, envelopes and image list.
struct FakeImage {
    std::string name;
    std::string file;
};
struct FakeEnvelope {
    int value = 0;
};
struct FakeGroup {
    std::vector<FakeEnvelope *> channels;  // one channel per entry; null: no envelope
};
struct FakeLayer {
    FakeImage *image = nullptr;
    FakeGroup *group = nullptr;
};
struct FakeTexture {
    int content = 0;  // what the host's own texture save writes
    std::vector<FakeLayer> layers;
};

struct World {
    std::vector<std::unique_ptr<FakeImage>> images;
    int scene_loads = 0;
    FakeImage *add_image(const std::string &name, const std::string &file) {
        images.push_back(std::make_unique<FakeImage>(FakeImage{name, file}));
        return images.back().get();
    }
};
World *g_world = nullptr;

template <class To, class From>
To cast(From f) {
    return reinterpret_cast<To>(f);
}

// Channels are addressed as (group, index + 1) packed into the handle's value.
LWChannelID channel_id(size_t index) { return cast<LWChannelID>(index + 1); }
size_t channel_index(LWChannelID ch) { return cast<size_t>(ch) - 1; }
FakeGroup *g_channel_group = nullptr;  // the group whose channels are being walked

LWTLayerID first_layer(LWTextureID t) {
    auto *tex = cast<FakeTexture *>(t);
    return tex->layers.empty() ? nullptr : cast<LWTLayerID>(&tex->layers[0]);
}
LWTLayerID next_layer(LWTextureID t, LWTLayerID l) {
    auto *tex = cast<FakeTexture *>(t);
    const size_t i = static_cast<size_t>(cast<FakeLayer *>(l) - tex->layers.data()) + 1;
    return i < tex->layers.size() ? cast<LWTLayerID>(&tex->layers[i]) : nullptr;
}
LWChanGroupID layer_env_group(LWTLayerID l) { return cast<LWChanGroupID>(cast<FakeLayer *>(l)->group); }
int get_param(LWTLayerID l, int tag, void *data) {
    if (tag != TXTAG_IMAGE) return 0;
    *static_cast<LWImageID *>(data) = cast<LWImageID>(cast<FakeLayer *>(l)->image);
    return 1;
}
int set_param(LWTLayerID l, int tag, void *data) {
    if (tag != TXTAG_IMAGE) return 0;
    cast<FakeLayer *>(l)->image = cast<FakeImage *>(*static_cast<LWImageID *>(data));
    return 1;
}
void texture_save(LWTextureID t, const LWSaveState *s) { s->writeI4(s->writeData, &cast<FakeTexture *>(t)->content, 1); }
void texture_load(LWTextureID t, const LWLoadState *l) { l->readI4(l->readData, &cast<FakeTexture *>(t)->content, 1); }

LWChannelID next_channel(LWChanGroupID g, LWChannelID prev) {
    auto *group = cast<FakeGroup *>(g);
    g_channel_group = group;
    const size_t i = prev ? channel_index(prev) + 1 : 0;
    return i < group->channels.size() ? channel_id(i) : nullptr;
}
LWEnvelopeID channel_envelope(LWChannelID ch) {
    return cast<LWEnvelopeID>(g_channel_group->channels[channel_index(ch)]);
}
LWError envelope_save(LWEnvelopeID e, const LWSaveState *s) {
    s->writeI4(s->writeData, &cast<FakeEnvelope *>(e)->value, 1);
    return nullptr;
}
LWError envelope_load(LWEnvelopeID e, const LWLoadState *l) {
    l->readI4(l->readData, &cast<FakeEnvelope *>(e)->value, 1);
    return nullptr;
}

LWImageID image_first() { return g_world->images.empty() ? nullptr : cast<LWImageID>(g_world->images[0].get()); }
LWImageID image_next(LWImageID img) {
    auto &v = g_world->images;
    for (size_t i = 0; i + 1 < v.size(); ++i)
        if (cast<LWImageID>(v[i].get()) == img) return cast<LWImageID>(v[i + 1].get());
    return nullptr;
}
const char *image_name(LWImageID img) { return cast<FakeImage *>(img)->name.c_str(); }
void image_scene_save(const LWSaveState *s, LWImageID img) { s->writeStr(s->writeData, cast<FakeImage *>(img)->file.c_str()); }
LWImageID image_scene_load(const LWLoadState *l) {
    char file[64];
    if (l->readStr(l->readData, file, sizeof file) <= 0) return nullptr;
    ++g_world->scene_loads;
    return cast<LWImageID>(g_world->add_image(std::string("loaded ") + file, file));
}

class ImageRefs : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        reset_param_library_services();
        textures_.firstLayer = first_layer;
        textures_.nextLayer = next_layer;
        textures_.layerEnvGroup = layer_env_group;
        textures_.getParam = get_param;
        textures_.setParam = set_param;
        textures_.save = texture_save;
        textures_.load = texture_load;
        channels_.nextChannel = next_channel;
        channels_.channelEnvelope = channel_envelope;
        envelopes_.save = envelope_save;
        envelopes_.load = envelope_load;
        images_.first = image_first;
        images_.next = image_next;
        images_.name = image_name;
        images_.sceneSave = image_scene_save;
        images_.sceneLoad = image_scene_load;
        host_services.texture = &textures_;
        host_services.channel_info = &channels_;
        host_services.envelope = &envelopes_;
        host_services.image_list = &images_;
        param_services.texture = &textures_;
        param_services.envelope = &envelopes_;
        g_world = &world_;
    }
    void TearDown() override {
        reset_param_library_services();
        g_world = nullptr;
    }

    std::string save(FakeTexture &tex) {
        BlockWriter w(GetParam());
        save_layer_envelopes(cast<LWTextureID>(&tex), w.state());
        save_image_refs(cast<LWTextureID>(&tex), w.state());
        return w.bytes();
    }
    void load(FakeTexture &tex, const std::string &data) {
        BlockReader r(GetParam(), data);
        load_layer_envelopes(cast<LWTextureID>(&tex), r.state());
        load_image_refs(cast<LWTextureID>(&tex), r.state());
        EXPECT_EQ(r.state()->depth(r.state()->readData), 0);
    }

    LWTextureFuncs textures_{};
    LWChannelInfo channels_{};
    LWEnvelopeFuncs envelopes_{};
    LWImageList images_{};
    World world_;
};

// The sequence of image-block values found at one level: the value of each
// "ImageRefValue" block, -1 for each "ImageRefData" block.
std::vector<int> ref_layout(int mode, const std::string &data) {
    BlockReader r(mode, data);
    const LWLoadState *l = r.state();
    std::vector<int> out;
    LWID id;
    while ((id = l->findBlk(l->readData, kImageBlocks)) != 0) {
        if (id == ID_IREF) {
            while ((id = l->findBlk(l->readData, kImageBlocks)) != 0) {
                int v = -1;
                if (id == ID_IVAL) l->readI4(l->readData, &v, 1);
                out.push_back(v);
                l->endBlk(l->readData);
            }
        }
        l->endBlk(l->readData);
    }
    return out;
}

TEST_P(ImageRefs, TextureWithoutImageLayersWritesACountOfZeroAndLoadsNothing) {
    FakeTexture src;
    src.layers.resize(2);
    const std::string data = save(src);
    EXPECT_EQ(ref_layout(GetParam(), data), std::vector<int>{0});

    FakeImage *keep = world_.add_image("keep.png", "keep.png");
    FakeTexture dst;
    dst.layers.resize(2);
    dst.layers[1].image = keep;
    load(dst, data);
    EXPECT_EQ(dst.layers[0].image, nullptr);
    EXPECT_EQ(dst.layers[1].image, keep);
}

TEST_P(ImageRefs, LayersZeroAndTwoAreReferencedByIndexAndLayerOneKeepsItsImage) {
    FakeImage *wood = world_.add_image("Wood.png", "/maps/wood.png");
    FakeImage *stone = world_.add_image("Stone.png", "/maps/stone.png");
    FakeImage *keep = world_.add_image("keep.png", "/maps/keep.png");
    FakeTexture src;
    src.layers.resize(3);
    src.layers[0].image = wood;
    src.layers[2].image = stone;
    const std::string data = save(src);
    EXPECT_EQ(ref_layout(GetParam(), data), (std::vector<int>{2, 0, -1, 2, -1}));

    FakeTexture dst;
    dst.layers.resize(3);
    dst.layers[1].image = keep;
    load(dst, data);
    EXPECT_EQ(dst.layers[0].image, wood);
    EXPECT_EQ(dst.layers[1].image, keep);
    EXPECT_EQ(dst.layers[2].image, stone);
    EXPECT_EQ(world_.scene_loads, 0);
}

TEST_P(ImageRefs, NamesResolveWithoutRegardToCaseAndOnlyMissingImagesAreLoaded) {
    FakeImage *wood = world_.add_image("Wood.png", "/maps/wood.png");
    FakeImage *bark = world_.add_image("Bark.png", "/maps/bark.png");
    FakeTexture src;
    src.layers.resize(2);
    src.layers[0].image = wood;
    src.layers[1].image = bark;
    const std::string data = save(src);

    // The scene now knows the first image under another case, and not the second.
    world_.images.clear();
    FakeImage *upper = world_.add_image("WOOD.PNG", "/elsewhere/WOOD.PNG");
    EXPECT_EQ(find_image_by_name("wood.PNG"), cast<LWImageID>(upper));
    EXPECT_EQ(find_image_by_name("Wood.pn"), nullptr);
    FakeTexture dst;
    dst.layers.resize(2);
    load(dst, data);
    EXPECT_EQ(dst.layers[0].image, upper);
    ASSERT_NE(dst.layers[1].image, nullptr);
    EXPECT_EQ(dst.layers[1].image->file, "/maps/bark.png");  // loaded from the saved data
    EXPECT_EQ(world_.scene_loads, 1);
}

TEST_P(ImageRefs, LayerEnvelopesRoundTripInLayerAndChannelOrder) {
    FakeEnvelope e[4] = {{3}, {5}, {7}, {9}};
    FakeGroup g0{{&e[0], nullptr, &e[1]}}, g2{{&e[2]}};
    FakeTexture src;
    src.layers.resize(3);
    src.layers[0].group = &g0;  // layer 1 has no envelope group
    src.layers[2].group = &g2;
    const std::string data = save(src);

    BlockReader r(GetParam(), data);
    const LWLoadState *l = r.state();
    ASSERT_EQ(l->findBlk(l->readData, kImageBlocks), ID_IENV);
    EXPECT_EQ(read_value_block(l), 3);

    FakeEnvelope d[3];
    FakeGroup h0{{&d[0], nullptr, &d[1]}}, h2{{&d[2]}};
    FakeTexture dst;
    dst.layers.resize(3);
    dst.layers[0].group = &h0;
    dst.layers[2].group = &h2;
    load(dst, data);
    EXPECT_EQ(d[0].value, 3);
    EXPECT_EQ(d[1].value, 5);
    EXPECT_EQ(d[2].value, 7);
}

TEST_P(ImageRefs, EveryPrefixLoadsSafelyAndKeepsWhatIsMissing) {
    FakeImage *wood = world_.add_image("Wood.png", "/maps/wood.png");
    FakeImage *stone = world_.add_image("Stone.png", "/maps/stone.png");
    FakeImage *keep = world_.add_image("keep.png", "/maps/keep.png");
    FakeEnvelope e{11};
    FakeGroup g{{&e}};
    FakeTexture src;
    src.layers.resize(3);
    src.layers[0].image = wood;
    src.layers[0].group = &g;
    src.layers[2].image = stone;
    const std::string data = save(src);
    for (size_t n = 0; n <= data.size(); ++n) {
        FakeEnvelope d{0};
        FakeGroup h{{&d}};
        FakeTexture dst;
        dst.layers.resize(3);
        dst.layers[0].group = &h;
        for (auto &layer : dst.layers) layer.image = keep;
        load(dst, data.substr(0, n));
        EXPECT_TRUE(d.value == 0 || d.value == 11) << n;
        // A reference whose data block is cut off clears its layer's image.
        EXPECT_TRUE(dst.layers[0].image == keep || dst.layers[0].image == wood ||
                    dst.layers[0].image == nullptr) << n;
        EXPECT_EQ(dst.layers[1].image, keep);
        EXPECT_TRUE(dst.layers[2].image == keep || dst.layers[2].image == stone ||
                    dst.layers[2].image == nullptr) << n;
    }
    EXPECT_EQ(world_.scene_loads, 0);
}

TEST_P(ImageRefs, TextureHolderRoundTripsAndDemandsItsVersion) {
    FakeImage *wood = world_.add_image("Wood.png", "/maps/wood.png");
    FakeTexture src;
    src.content = 77;
    src.layers.resize(1);
    src.layers[0].image = wood;
    PluginDataTexture holders[2] = {{0, cast<LWTextureID>(&src), 0, 0}, {0, nullptr, 0, 0}};
    PluginDataItem rows[] = {{"tex", PVTX, holders, 1, nullptr, nullptr}, {nullptr, 0, nullptr, 0, nullptr, nullptr}};
    BlockWriter w(GetParam());
    plugin_data_save(w.state(), rows);

    FakeTexture dst;
    dst.layers.resize(1);
    holders[0].texture = cast<LWTextureID>(&dst);
    BlockReader r(GetParam(), w.bytes());
    plugin_data_load(r.state(), rows);
    EXPECT_EQ(dst.content, 77);
    EXPECT_EQ(dst.layers[0].image, wood);

    // The same data with the texture block's version changed to 257 loads nothing.
    std::string data = w.bytes();
    const std::string from = GetParam() == LWIO_ASCII ? "{ Texture\n      256" : std::string("PTEX\0\0\0", 7);
    const size_t at = data.find(from);
    ASSERT_NE(at, std::string::npos);
    if (GetParam() == LWIO_ASCII)
        data[at + from.size() - 1] = '7';
    else
        data[at + 11] = 1;  // the version word's last byte: 256 + 1
    FakeTexture other;
    other.layers.resize(1);
    holders[0].texture = cast<LWTextureID>(&other);
    BlockReader r2(GetParam(), data);
    plugin_data_load(r2.state(), rows);
    EXPECT_EQ(other.content, 0);
    EXPECT_EQ(other.layers[0].image, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Modes, ImageRefs, ::testing::Values(LWIO_BINARY, LWIO_ASCII),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param == LWIO_ASCII ? "Text" : "Binary";
                         });

TEST(ImageRefsLoad, MissingIndexBlockKeepsTheLayersImages) {
    // "ImageRef" says one reference follows, but its index and data are gone.
    BlockWriter w(LWIO_BINARY);
    const LWSaveState *s = w.state();
    s->beginBlk(s->writeData, &kImageBlocks[0], 0);
    write_value_block(s, 1);
    s->endBlk(s->writeData);

    reset_param_library_services();
    LWTextureFuncs textures{};
    textures.firstLayer = first_layer;
    textures.nextLayer = next_layer;
    textures.getParam = get_param;
    textures.setParam = set_param;
    host_services.texture = &textures;
    FakeImage keep{"keep.png", "keep.png"};
    FakeTexture dst;
    dst.layers.resize(1);
    dst.layers[0].image = &keep;
    BlockReader r(LWIO_BINARY, w.bytes());
    load_image_refs(cast<LWTextureID>(&dst), r.state());
    EXPECT_EQ(dst.layers[0].image, &keep);
    EXPECT_EQ(r.state()->depth(r.state()->readData), 0);
    reset_param_library_services();
}

}  // namespace
}  // namespace ormel
