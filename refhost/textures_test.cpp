// Textures and texture contexts through the host's service tables.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "refhost/block_io.h"
#include "refhost/host.h"
#include "refhost/services.h"
#include "refhost/textures.h"

namespace refhost {
namespace {

// A plug-in's gradient inputs that log every call the host makes.
struct InputLog {
    static std::vector<std::string> calls;
    static LWItemID seen_item;
    static int data_tag;

    static gParamData time(void *, LWTxtrParamDesc *row, int nb, LWTime t, LWFrame f) {
        calls.push_back("time " + std::string(row->name) + " " + std::to_string(nb) + " " +
                        std::to_string(static_cast<int>(t * 10)) + " " + std::to_string(f));
        return &data_tag;
    }
    static double evaluate(LWTxtrParamDesc *row, int nb, LWMicropol *mp, gParamData data) {
        calls.push_back("evaluate " + std::to_string(nb) + (data == &data_tag ? " data" : " nodata"));
        seen_item = row->itemID;
        return mp->oPos[0];
    }
    static void cleanup(LWTxtrParamDesc *, int nb, gParamData data) {
        calls.push_back("cleanup " + std::to_string(nb) + (data == &data_tag ? " data" : " nodata"));
    }
};
std::vector<std::string> InputLog::calls;
LWItemID InputLog::seen_item = nullptr;
int InputLog::data_tag = 0;

class Textures : public ::testing::Test {
protected:
    Textures() {
        InputLog::calls.clear();
        tf.initMP(&mp);
        const LWTxtrParamFuncs funcs = {InputLog::evaluate, InputLog::time, InputLog::cleanup};
        context = tx.contextCreate(funcs);
        char first[] = "Bump", second[] = "Distance to Object";
        tx.contextAddParam(context, LWTxtrParamDesc{first, 0.0, 1.0, 2, 4, -1, nullptr, nullptr});
        tx.contextAddParam(context, LWTxtrParamDesc{second, 0.0, 10.0, 3, 4, 0, nullptr, nullptr});
        first[0] = second[0] = 'X';  // the host keeps copies of the texts
    }

    LWTLayerID constant_layer(LWTextureID t, double v, double opacity) {
        LWTLayerID l = tx.layerAdd(t, TLT_PROC);
        from_id(l)->procedure = Procedure::Constant;
        for (double &c : from_id(l)->value) c = v;
        tx.setParam(l, TXTAG_OPAC, &opacity);
        return l;
    }

    Host host;
    const bool installed = (install_instance_services(host), true);
    const LWTextureFuncs &tx = *static_cast<LWTextureFuncs *>(host.lookup(LWTEXTUREFUNCS_GLOBAL, 0));
    const LWVParmFuncs &tf = *static_cast<LWVParmFuncs *>(host.lookup(LWVPARMFUNCS_GLOBAL, 0));
    const LWEnvelopeFuncs &ef = *static_cast<LWEnvelopeFuncs *>(host.lookup(LWENVELOPEFUNCS_GLOBAL, 0));
    const LWChannelInfo &ci = *static_cast<LWChannelInfo *>(host.lookup(LWCHANNELINFO_GLOBAL, 0));
    LWTxtrContextID context = nullptr;
    LWMicropol mp;
};

TEST_F(Textures, ContextKeepsCopiesOfItsInputsInOrder) {
    const auto &inputs = context_inputs(context);
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_STREQ(inputs[0]->desc.name, "Bump");
    EXPECT_STREQ(inputs[1]->desc.name, "Distance to Object");
    EXPECT_EQ(inputs[1]->desc.end, 10.0);
    EXPECT_EQ(inputs[1]->desc.itemType, 0);
    EXPECT_EQ(inputs[1]->desc.itemName, nullptr);
}

TEST_F(Textures, LayersBlendBottomUpByOpacity) {
    LWTextureID t = tx.create(TRT_PERCENT, "t", nullptr, nullptr);
    double rv[3] = {9, 9, 9};
    EXPECT_EQ(tx.evaluate(t, &mp, rv), 0.0);  // no layers: nothing over zero
    LWTLayerID bottom = constant_layer(t, 1.0, 0.5);
    LWTLayerID top = constant_layer(t, 0.2, 0.25);
    EXPECT_EQ(tx.firstLayer(t), bottom);
    EXPECT_EQ(tx.nextLayer(t, bottom), top);
    EXPECT_EQ(tx.lastLayer(t), top);
    EXPECT_EQ(tx.nextLayer(t, top), nullptr);
    // 0 -> 0.5 by the bottom layer, then 0.5 + 0.25 * (0.2 - 0.5) by the top one.
    EXPECT_DOUBLE_EQ(tx.evaluate(t, &mp, rv), 0.425);
    EXPECT_DOUBLE_EQ(rv[2], 0.425);
    EXPECT_DOUBLE_EQ(tx.layerEvaluate(top, &mp, rv), 0.2);  // a layer alone, before opacity

    // An animated opacity is read at the texture's time.
    LWChanGroupID g = tx.layerEnvGroup(top);
    LWChannelID opacity = ci.nextChannel(g, nullptr);
    ASSERT_NE(opacity, nullptr);
    EXPECT_STREQ(ci.channelName(opacity), "Opacity");
    LWEnvelopeID env = ci.channelEnvelope(opacity);
    ef.createKey(env, 0.0, 0.0);
    ef.createKey(env, 1.0, 1.0);
    tx.newtime(t, 1.0, 30);
    EXPECT_DOUBLE_EQ(tx.evaluate(t, &mp, rv), 0.2);
    int inactive = 0;
    tx.setParam(top, TXTAG_ACTIVE, &inactive);
    EXPECT_DOUBLE_EQ(tx.evaluate(t, &mp, rv), 0.5);
}

TEST_F(Textures, GradientOverAContextInputUsesPerTimeData) {
    Item &obj = host.scene().add_object("Target", "target.lwo");
    LWTextureID t = tx.create(TRT_PERCENT, "t", context, nullptr);
    LWTLayerID l = tx.layerAdd(t, TLT_GRAD);
    int input = 2;
    ASSERT_EQ(tx.setParam(l, TXTAG_INPUT, &input), 1);
    LWItemID item = to_id(&obj);
    tx.setParam(l, TXTAG_ROBJ, &item);
    // Keys over the input's range: 0 at 0, 1 at 10.
    tx.newtime(t, 0.5, 15);
    tx.newtime(t, 0.5, 15);  // the same time again makes nothing new
    mp.oPos[0] = 2.5;
    double rv[3];
    EXPECT_DOUBLE_EQ(tx.evaluate(t, &mp, rv), 0.25);
    EXPECT_EQ(InputLog::seen_item, item);
    tx.evaluate(t, &mp, rv);
    tx.newtime(t, 1.0, 30);
    tx.cleanup(t);
    tx.cleanup(t);
    const std::vector<std::string> expected = {
        "time Distance to Object 2 5 15", "evaluate 2 data", "evaluate 2 data", "cleanup 2 data",
        "time Distance to Object 2 10 30", "cleanup 2 data",
    };
    EXPECT_EQ(InputLog::calls, expected);

    // A gradient over the built-in world Y position calls nothing of the plug-in.
    InputLog::calls.clear();
    int world_y = kGradientWorldY;
    tx.setParam(l, TXTAG_INPUT, &world_y);
    mp.wPos[1] = 0.75;
    tx.newtime(t, 2.0, 60);
    EXPECT_DOUBLE_EQ(tx.evaluate(t, &mp, rv), 0.75);
    EXPECT_TRUE(InputLog::calls.empty());
}

TEST_F(Textures, DataIsMadeOnFirstUseAndHandedBackWhenTheContextGoes) {
    LWTextureID t = tx.create(TRT_PERCENT, "t", context, nullptr);
    LWTLayerID l = tx.layerAdd(t, TLT_GRAD);
    int input = 1;
    tx.setParam(l, TXTAG_INPUT, &input);
    double rv[3];
    tx.evaluate(t, &mp, rv);  // no newtime yet: made at the texture's time, once
    tx.evaluate(t, &mp, rv);
    tx.contextDestroy(context);
    tx.evaluate(t, &mp, rv);  // the input is gone: no further calls
    const std::vector<std::string> expected = {"time Bump 1 0 0", "evaluate 1 data", "evaluate 1 data",
                                               "cleanup 1 data"};
    EXPECT_EQ(InputLog::calls, expected);
}

TEST_F(Textures, ThreadsShareOnePerTimeRecord) {
    LWTextureID t = tx.create(TRT_PERCENT, "t", context, nullptr);
    LWTLayerID l = tx.layerAdd(t, TLT_GRAD);
    int input = 1;
    tx.setParam(l, TXTAG_INPUT, &input);
    // Counting callbacks: one record for the time however many threads ask at once.
    static std::atomic<int> times{0}, wrong{0};
    times = 0;
    wrong = 0;
    static int tag = 0;
    from_id(t)->context->funcs.paramTime = [](void *, LWTxtrParamDesc *, int, LWTime, LWFrame) -> gParamData {
        ++times;
        return &tag;
    };
    from_id(t)->context->funcs.paramEvaluate = [](LWTxtrParamDesc *, int, LWMicropol *mp, gParamData d) {
        if (d != &tag) ++wrong;
        return mp->oPos[0];
    };
    from_id(t)->context->funcs.paramCleanup = [](LWTxtrParamDesc *, int, gParamData) {};
    std::vector<std::thread> threads;
    for (int n = 0; n < 4; ++n) {
        threads.emplace_back([&, n] {
            LWMicropol local = mp;
            local.oPos[0] = 0.25 * n;
            for (int i = 0; i < 500; ++i) {
                double rv[3];
                if (tx.evaluate(t, &local, rv) != 0.25 * n) ++wrong;
            }
        });
    }
    for (auto &th : threads) th.join();
    EXPECT_EQ(times.load(), 1);
    EXPECT_EQ(wrong.load(), 0);
    tx.cleanup(t);
}

TEST_F(Textures, ImageLayersProjectPlanarAndTakeImagesByTag) {
    Image &img = host.scene().add_image("checker", "checker.png");
    img.width = 2;
    img.height = 2;
    // Rows from the top: red, green / blue, white.
    img.rgb = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
    LWTextureID t = tx.create(TRT_COLOR, "t", nullptr, nullptr);
    LWTLayerID l = tx.layerAdd(t, TLT_IMAGE);
    LWImageID id = to_id(&img), back = nullptr;
    ASSERT_EQ(tx.setParam(l, TXTAG_IMAGE, &id), 1);
    ASSERT_EQ(tx.getParam(l, TXTAG_IMAGE, &back), 1);
    EXPECT_EQ(back, id);
    double rv[3];
    mp.oPos[0] = -0.25, mp.oPos[1] = 0.25;  // upper left along Z
    tx.evaluate(t, &mp, rv);
    EXPECT_EQ(rv[0], 1.0);
    mp.oPos[0] = 0.25, mp.oPos[1] = -0.25;  // lower right
    tx.evaluate(t, &mp, rv);
    EXPECT_EQ(rv[1], 1.0);
    mp.oPos[0] = 1.25;  // repeats
    tx.evaluate(t, &mp, rv);
    EXPECT_EQ(rv[2], 1.0);
    // Procedural layers have no image.
    LWTLayerID p = tx.layerAdd(t, TLT_PROC);
    EXPECT_EQ(tx.setParam(p, TXTAG_IMAGE, &id), 0);
    EXPECT_EQ(tx.getParam(p, TXTAG_IMAGE, &back), 0);
    EXPECT_EQ(tx.layerAdd(t, 7), nullptr);
}

TEST_F(Textures, EnvelopeGroupGathersTheLayerGroups) {
    LWTextureID t = tx.create(TRT_PERCENT, "t", nullptr, nullptr);
    LWTLayerID a = tx.layerAdd(t, TLT_PROC);
    LWTLayerID b = tx.layerAdd(t, TLT_GRAD);
    EXPECT_EQ(ci.groupParent(tx.layerEnvGroup(a)), nullptr);
    LWChanGroupID instance = ef.createGroup(nullptr, "Ormel_Dirt");
    tx.setEnvGroup(t, instance);
    EXPECT_EQ(ci.nextGroup(instance, nullptr), tx.layerEnvGroup(a));
    EXPECT_EQ(ci.nextGroup(instance, tx.layerEnvGroup(a)), tx.layerEnvGroup(b));
    // A later layer is made under it too.
    LWTLayerID c = tx.layerAdd(t, TLT_IMAGE);
    EXPECT_EQ(ci.groupParent(tx.layerEnvGroup(c)), instance);
    // Destroying the texture takes its layer groups away.
    tx.destroy(t);
    EXPECT_EQ(ci.nextGroup(instance, nullptr), nullptr);
}

TEST_F(Textures, CopyIsDeepAndSaveLoadRoundTrips) {
    Image &img = host.scene().add_image("Wood.png", "Wood.png");
    Item &obj = host.scene().add_object("Target", "target.lwo");
    LWTextureID src = tx.create(TRT_COLOR, "src", context, nullptr);
    LWTLayerID l0 = constant_layer(src, 0.3, 0.75);
    ef.createKey(ci.channelEnvelope(ci.nextChannel(tx.layerEnvGroup(l0), nullptr)), 2.0, 0.5);
    LWTLayerID l1 = tx.layerAdd(src, TLT_IMAGE);
    LWImageID id = to_id(&img);
    tx.setParam(l1, TXTAG_IMAGE, &id);
    int axis = 0;
    tx.setParam(l1, TXTAG_AXIS, &axis);
    LWTLayerID l2 = tx.layerAdd(src, TLT_GRAD);
    int input = 2;
    tx.setParam(l2, TXTAG_INPUT, &input);
    LWItemID item = to_id(&obj);
    tx.setParam(l2, TXTAG_ROBJ, &item);
    from_id(l2)->keys[1].value[1] = 0.5;
    host.component<TextureSystem>().drop_layer_group(from_id(l2));

    auto same = [&](LWTextureID a, LWTextureID b) {
        const Texture &x = *from_id(a), &y = *from_id(b);
        ASSERT_EQ(x.layers.size(), y.layers.size());
        for (size_t i = 0; i < x.layers.size(); ++i) {
            const TextureLayer &p = *x.layers[i], &q = *y.layers[i];
            EXPECT_EQ(p.type, q.type);
            EXPECT_EQ(p.image, q.image);
            EXPECT_EQ(p.axis, q.axis);
            EXPECT_EQ(p.gradient_input, q.gradient_input);
            EXPECT_EQ(p.gradient_item, q.gradient_item);
            EXPECT_EQ(p.row.desc.itemID, q.gradient_item);
            EXPECT_EQ(p.group == nullptr, q.group == nullptr);
            EXPECT_EQ(p.opacity_at(2.0), q.opacity_at(2.0));
            ASSERT_EQ(p.keys.size(), q.keys.size());
            for (size_t k = 0; k < p.keys.size(); ++k) EXPECT_EQ(p.keys[k].value[1], q.keys[k].value[1]);
        }
    };

    LWTextureID copy = tx.create(TRT_COLOR, "copy", context, nullptr);
    tx.copy(copy, src);
    same(copy, src);
    EXPECT_NE(tx.firstLayer(copy), l0);
    from_id(l0)->value[0] = 0.9;  // the copy keeps its own settings
    EXPECT_EQ(from_id(tx.firstLayer(copy))->value[0], 0.3);
    EXPECT_NE(from_id(tx.firstLayer(copy))->opacity, from_id(l0)->opacity);

    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        BlockWriter w(mode);
        tx.save(src, w.state());
        LWTextureID back = tx.create(TRT_COLOR, "back", context, nullptr);
        tx.layerAdd(back, TLT_PROC);  // replaced by the load
        BlockReader r(mode, w.bytes());
        tx.load(back, r.state());
        same(back, src);
    }
}

}  // namespace
}  // namespace refhost
