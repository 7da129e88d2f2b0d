// Variant parameters through the host's service tables.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "refhost/block_io.h"
#include "refhost/host.h"
#include "refhost/services.h"
#include "refhost/vparm.h"

namespace refhost {
namespace {

struct EventLog {
    std::vector<std::pair<LWVParmID, int>> events;
    static int record(LWVParmID parm, void *user, int code, void *data) {
        auto *log = static_cast<EventLog *>(user);
        log->events.push_back({parm, code});
        if (code == kVParmEventBoundingBox) {
            double *box = static_cast<double *>(data);
            box[4] = box[5] = 2.0;  // a flat extent in z
        }
        return 1;
    }
    int count(int code) const {
        int n = 0;
        for (const auto &e : events) n += e.second == code;
        return n;
    }
};

class VParms : public ::testing::Test {
protected:
    void SetUp() override { vp.initMP(&mp); }

    LWVParmID make(int env_type, int tex_type, const char *name, LWChanGroupID group) {
        LWVParmID p = vp.create(env_type, tex_type);
        vp.setup(p, name, group, nullptr, EventLog::record, "Ormel_Dirt", &log);
        return p;
    }
    // A texture with one constant layer of the given value and opacity.
    LWTextureID constant_texture(LWVParmID p, double value, double opacity) {
        Texture *t = host.component<VParmSystem>().attach_texture(from_id(p));
        TextureLayer *l = host.component<TextureSystem>().add_layer(t, TLT_PROC);
        l->procedure = Procedure::Constant;
        l->value[0] = l->value[1] = l->value[2] = value;
        l->set_opacity(opacity);
        return to_id(t);
    }

    Host host;
    const bool installed = (install_instance_services(host), true);
    const LWVParmFuncs &vp = *static_cast<LWVParmFuncs *>(host.lookup(LWVPARMFUNCS_GLOBAL, 0));
    const LWEnvelopeFuncs &ef = *static_cast<LWEnvelopeFuncs *>(host.lookup(LWENVELOPEFUNCS_GLOBAL, 0));
    const LWChannelInfo &ci = *static_cast<LWChannelInfo *>(host.lookup(LWCHANNELINFO_GLOBAL, 0));
    EventLog log;
    LWMicropol mp;
};

TEST_F(VParms, SetupPlacesOneChannelPerComponent) {
    LWChanGroupID group = ef.createGroup(nullptr, "Ormel_Dirt");
    LWChanGroupID sub = ef.createGroup(group, "dirt_color_0badf00d");
    make(LWVP_DIST, LWVPDT_PERCENT, "dirt_width", group);
    make(LWVP_COLOR, LWVPDT_COLOR, "dirt_color_0badf00d", sub);
    LWChannelID width = ci.nextChannel(group, nullptr);
    EXPECT_STREQ(ci.channelName(width), "dirt_width");
    EXPECT_EQ(ci.nextChannel(group, width), nullptr);
    const char *names[] = {"R", "G", "B"};
    LWChannelID c = nullptr;
    for (const char *name : names) {
        c = ci.nextChannel(sub, c);
        ASSERT_NE(c, nullptr);
        EXPECT_STREQ(ci.channelName(c), name);
    }
    EXPECT_EQ(ci.nextChannel(sub, c), nullptr);
    EXPECT_EQ(vp.create(0x33, LWVPDT_NOTXTR), nullptr);
}

TEST_F(VParms, ValuesFollowEnvelopesOnceTheyHaveKeys) {
    LWVParmID p = make(LWVP_COLOR, LWVPDT_COLOR, "c", nullptr);
    double v[3] = {0.1, 0.2, 0.3};
    vp.setVal(p, v);
    LWEnvelopeID envs[3];
    vp.getEnv(p, envs);
    EXPECT_EQ(envs[0], nullptr);
    EXPECT_EQ(vp.getState(p), 0);

    Envelope *g = host.component<VParmSystem>().enable_envelope(from_id(p), 1);
    ef.createKey(to_id(g), 1.0, 0.8);
    vp.getEnv(p, envs);
    EXPECT_EQ(envs[0], nullptr);
    EXPECT_EQ(envs[1], to_id(g));
    EXPECT_EQ(envs[2], nullptr);
    EXPECT_EQ(vp.getState(p), LWVPSF_ENV);

    double out[3] = {9, 9, 9};
    vp.getVal(p, 0.5, nullptr, out);
    EXPECT_EQ(out[0], 0.1);
    EXPECT_DOUBLE_EQ(out[1], 0.2 + 0.5 * 0.6);  // two keys: a straight run
    EXPECT_EQ(out[2], 0.3);

    // A scalar writes its one value only.
    LWVParmID s = make(LWVP_PERCENT, LWVPDT_PERCENT, "s", nullptr);
    double one = 0.4;
    vp.setVal(s, &one);
    double buf[3] = {7, 7, 7};
    EXPECT_EQ(vp.getVal(s, 0.0, nullptr, buf), 0.4);
    EXPECT_EQ(buf[1], 7.0);
}

TEST_F(VParms, TextureAppliesOnlyAtASpot) {
    LWVParmID s = make(LWVP_DIST, LWVPDT_PERCENT, "dirt_width", nullptr);
    double w = 2.0;
    vp.setVal(s, &w);
    LWTextureID t = constant_texture(s, 0.25, 1.0);
    EXPECT_EQ(vp.getTex(s), t);
    EXPECT_EQ(vp.getState(s), LWVPSF_TEX);
    EXPECT_EQ(log.count(kVParmEventTextureAdded), 1);
    double out[3] = {};
    EXPECT_EQ(vp.getVal(s, 0.0, nullptr, out), 2.0);
    EXPECT_EQ(vp.getVal(s, 0.0, &mp, out), 0.5);  // scalar: value times texture

    // Colour: the layer blends over the value by its opacity.
    LWVParmID c = make(LWVP_COLOR, LWVPDT_COLOR, "dirt_color", nullptr);
    double col[3] = {1.0, 0.0, 0.5};
    vp.setVal(c, col);
    constant_texture(c, 0.0, 0.25);
    vp.getVal(c, 0.0, &mp, out);
    EXPECT_DOUBLE_EQ(out[0], 0.75);
    EXPECT_DOUBLE_EQ(out[1], 0.0);
    EXPECT_DOUBLE_EQ(out[2], 0.375);

    vp.setState(c, 0);  // off: the texture goes
    EXPECT_EQ(vp.getTex(c), nullptr);
    // A parameter that takes no texture gets none.
    LWVParmID f = make(LWVP_FLOAT, LWVPDT_NOTXTR, "dirt_falloff", nullptr);
    vp.setState(f, LWVPSF_TEX);
    EXPECT_EQ(vp.getTex(f), nullptr);
}

TEST_F(VParms, CopyIsDeep) {
    LWVParmID from = make(LWVP_PERCENT, LWVPDT_PERCENT, "a", nullptr);
    LWVParmID to = make(LWVP_PERCENT, LWVPDT_PERCENT, "b", nullptr);
    double v = 0.5;
    vp.setVal(from, &v);
    Envelope *env = host.component<VParmSystem>().enable_envelope(from_id(from), 0);
    ef.createKey(to_id(env), 2.0, 1.0);
    LWTextureID tex = constant_texture(from, 0.5, 1.0);
    log.events.clear();

    ASSERT_EQ(vp.copy(to, from), nullptr);
    ASSERT_NE(vp.getTex(to), nullptr);
    EXPECT_NE(vp.getTex(to), tex);
    ASSERT_EQ(log.events.size(), 1u);  // the copy's texture is announced to its owner
    EXPECT_EQ(log.events[0].first, to);
    EXPECT_EQ(log.events[0].second, kVParmEventTextureAdded);

    // Changing the original afterwards leaves the copy alone.
    ef.createKey(to_id(env), 1.0, 0.0);
    from_id(tex)->layers[0]->value[0] = 0.0;
    double out[3];
    EXPECT_DOUBLE_EQ(vp.getVal(to, 1.0, nullptr, out), 0.75);
    EXPECT_DOUBLE_EQ(vp.getVal(to, 2.0, &mp, out), 0.5);
    LWEnvelopeID to_envs[3], from_envs[3];
    vp.getEnv(to, to_envs);
    vp.getEnv(from, from_envs);
    EXPECT_NE(to_envs[0], from_envs[0]);

    // Copying an untextured parameter removes the texture.
    LWVParmID plain = make(LWVP_PERCENT, LWVPDT_PERCENT, "c", nullptr);
    vp.copy(to, plain);
    EXPECT_EQ(vp.getTex(to), nullptr);
    EXPECT_EQ(vp.getState(to), 0);
}

TEST_F(VParms, SaveAndLoadRoundTripInBothModes) {
    LWVParmID src = make(LWVP_COLOR, LWVPDT_COLOR, "c", nullptr);
    double v[3] = {0.1, 1.0 / 3.0, 0.9};
    vp.setVal(src, v);
    Envelope *env = host.component<VParmSystem>().enable_envelope(from_id(src), 2);
    ef.createKey(to_id(env), 1.0, 0.2);
    constant_texture(src, 0.5, 0.5);
    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        BlockWriter w(mode);
        ASSERT_EQ(vp.save(src, w.state()), nullptr);
        const int after = 77;  // what follows the parameter is still readable
        w.state()->writeI4(w.state()->writeData, &after, 1);

        LWVParmID dst = make(LWVP_COLOR, LWVPDT_COLOR, "d", nullptr);
        log.events.clear();
        BlockReader r(mode, w.bytes());
        ASSERT_EQ(vp.load(dst, r.state()), nullptr);
        int tail = 0;
        EXPECT_EQ(r.state()->readI4(r.state()->readData, &tail, 1), 1);
        EXPECT_EQ(tail, 77);
        EXPECT_EQ(log.count(kVParmEventTextureAdded), 1);
        EXPECT_EQ(vp.getState(dst), LWVPSF_ENV | LWVPSF_TEX);
        double a[3], b[3];
        for (double t : {0.0, 0.5, 1.0}) {
            vp.getVal(src, t, &mp, a);
            vp.getVal(dst, t, &mp, b);
            for (int i = 0; i < 3; ++i) EXPECT_EQ(a[i], b[i]) << mode << " " << t << " " << i;
        }
    }
}

TEST_F(VParms, BoundingBoxRequestStartsFromTheFallback) {
    LWVParmID p = make(LWVP_DIST, LWVPDT_PERCENT, "w", nullptr);
    double box[6] = {};
    EXPECT_EQ(vparm_request_bounding_box(p, box), 1);
    EXPECT_EQ(box[0], -0.5);
    EXPECT_EQ(box[3], 0.5);
    EXPECT_EQ(box[4], 2.0);
    LWVParmID bare = vp.create(LWVP_FLOAT, LWVPDT_NOTXTR);  // never set up: no event function
    EXPECT_EQ(vparm_request_bounding_box(bare, box), 0);
}

TEST_F(VParms, DestroyingTheirGroupLeavesParametersWhole) {
    LWChanGroupID group = ef.createGroup(nullptr, "Ormel_Dirt");
    LWVParmID p = make(LWVP_PERCENT, LWVPDT_PERCENT, "dirt_amount", group);
    double v = 0.5;
    vp.setVal(p, &v);
    LWTextureID t = constant_texture(p, 1.0, 0.5);
    const LWTextureFuncs &tx = *static_cast<LWTextureFuncs *>(host.lookup(LWTEXTUREFUNCS_GLOBAL, 0));
    tx.setEnvGroup(t, group);
    LWChanGroupID layer_group = tx.layerEnvGroup(tx.firstLayer(t));
    ASSERT_EQ(ci.groupParent(layer_group), group);

    ef.destroyGroup(group);
    EXPECT_EQ(ci.nextGroup(nullptr, nullptr), nullptr);
    // The parameter's channel and the layer's group with its opacity live on, unlisted.
    EXPECT_NE(ci.nextChannel(layer_group, nullptr), nullptr);
    ef.destroyGroup(layer_group);  // a layer's own group is the layer's to destroy
    EXPECT_NE(ci.nextChannel(layer_group, nullptr), nullptr);
    double out[3];
    EXPECT_DOUBLE_EQ(vp.getVal(p, 0.0, &mp, out), 0.25);  // 0.5 times half of 1
    ASSERT_NE(host.component<VParmSystem>().enable_envelope(from_id(p), 0), nullptr);
    vp.destroy(p);
}

TEST_F(VParms, InitMPGivesANeutralSpot) {
    std::memset(&mp, 0xAB, sizeof mp);
    vp.initMP(&mp);
    EXPECT_EQ(mp.oScl[1], 1.0);
    EXPECT_EQ(mp.wXfrm[4], 1.0);
    EXPECT_EQ(mp.wXfrm[1], 0.0);
    EXPECT_EQ(mp.objID, nullptr);
    EXPECT_EQ(mp.polygon, nullptr);
    EXPECT_EQ(mp.spotSize, 0.0);
    // The whole record is the host's, the corner record of later hosts included.
    ASSERT_NE(mp.VertexIndexes, nullptr);
    EXPECT_EQ(mp.VertexIndexes->VertexIndexes[0], -1);
}

TEST_F(VParms, ThreadsReadTexturedValuesTogether) {
    LWVParmID p = make(LWVP_COLOR, LWVPDT_COLOR, "c", nullptr);
    Envelope *env = host.component<VParmSystem>().enable_envelope(from_id(p), 0);
    ef.createKey(to_id(env), 1.0, 1.0);
    LWTextureID t = constant_texture(p, 0.5, 0.5);
    host.component<TextureSystem>().add_layer(from_id(t), TLT_PROC);  // noise over it
    double expected[3];
    mp.oPos[0] = 0.3;
    vp.getVal(p, 0.5, &mp, expected);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int n = 0; n < 4; ++n) {
        threads.emplace_back([&, n] {
            LWMicropol local = mp;
            for (int i = 0; i < 2000; ++i) {
                double out[3];
                vp.getVal(p, 0.5, &local, out);
                for (int c = 0; c < 3; ++c) mismatches[n] += out[c] != expected[c];
            }
        });
    }
    for (auto &th : threads) th.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

}  // namespace
}  // namespace refhost
