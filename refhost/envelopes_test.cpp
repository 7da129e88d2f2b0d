// Envelopes and channels through the host's service tables.
#include <gtest/gtest.h>

#include "refhost/block_io.h"
#include "refhost/envelopes.h"
#include "refhost/host.h"
#include "refhost/services.h"

namespace refhost {
namespace {

class Envelopes : public ::testing::Test {
protected:
    LWEnvelopeID keyed(std::initializer_list<std::pair<double, double>> keys, int shape) {
        LWEnvelopeID env = ef.create(nullptr, "e", LWVP_FLOAT);
        for (const auto &k : keys) {
            LWEnvKeyframeID key = ef.createKey(env, k.first, k.second);
            ef.keySet(env, key, LWKEY_SHAPE, &shape);
        }
        return env;
    }

    Host host;
    const bool installed = (install_instance_services(host), true);
    const LWEnvelopeFuncs &ef = *static_cast<LWEnvelopeFuncs *>(host.lookup(LWENVELOPEFUNCS_GLOBAL, 0));
    const LWChannelInfo &ci = *static_cast<LWChannelInfo *>(host.lookup(LWCHANNELINFO_GLOBAL, 0));
};

TEST_F(Envelopes, InterpolatesByShapeAndHoldsBeyondTheEnds) {
    EXPECT_EQ(ef.evaluate(ef.create(nullptr, "empty", LWVP_FLOAT), 3.0), 0.0);
    EXPECT_EQ(ef.evaluate(keyed({{1.0, 7.0}}, SHAPE_TCB), -5.0), 7.0);

    LWEnvelopeID line = keyed({{0.0, 0.0}, {2.0, 4.0}}, SHAPE_LINE);
    EXPECT_DOUBLE_EQ(ef.evaluate(line, 0.5), 1.0);
    EXPECT_EQ(ef.evaluate(line, -1.0), 0.0);
    EXPECT_EQ(ef.evaluate(line, 9.0), 4.0);

    LWEnvelopeID step = keyed({{0.0, 1.0}, {1.0, 5.0}}, SHAPE_STEP);
    EXPECT_EQ(ef.evaluate(step, 0.99), 1.0);
    EXPECT_EQ(ef.evaluate(step, 1.0), 5.0);

    // A smooth curve passes through its keys, stays monotone on a monotone run of keys,
    // and differs from the straight line between them.
    LWEnvelopeID tcb = keyed({{0.0, 0.0}, {1.0, 1.0}, {2.0, 4.0}}, SHAPE_TCB);
    EXPECT_DOUBLE_EQ(ef.evaluate(tcb, 1.0), 1.0);
    double prev = ef.evaluate(tcb, 0.0);
    for (double t = 0.1; t <= 2.0; t += 0.1) {
        const double v = ef.evaluate(tcb, t);
        EXPECT_GE(v, prev) << t;
        prev = v;
    }
    EXPECT_NE(ef.evaluate(tcb, 1.5), 2.5);
}

TEST_F(Envelopes, KeysStayInTimeOrder) {
    LWEnvelopeID env = ef.create(nullptr, "k", LWVP_FLOAT);
    LWEnvKeyframeID late = ef.createKey(env, 2.0, 20.0);
    LWEnvKeyframeID early = ef.createKey(env, 1.0, 10.0);
    EXPECT_EQ(ef.nextKey(env, nullptr), early);
    EXPECT_EQ(ef.nextKey(env, early), late);
    EXPECT_EQ(ef.nextKey(env, late), nullptr);
    EXPECT_EQ(ef.prevKey(env, nullptr), late);
    EXPECT_EQ(ef.findKey(env, 2.0), late);
    EXPECT_EQ(ef.findKey(env, 1.5), nullptr);

    double t = 3.0;  // moving the early key past the late one reorders them
    ASSERT_EQ(ef.keySet(env, early, LWKEY_TIME, &t), 1);
    EXPECT_EQ(ef.nextKey(env, nullptr), late);
    double v = 0;
    ASSERT_EQ(ef.keyGet(env, early, LWKEY_VALUE, &v), 1);
    EXPECT_EQ(v, 10.0);
    // A key of another envelope is refused.
    LWEnvelopeID other = ef.create(nullptr, "o", LWVP_FLOAT);
    EXPECT_EQ(ef.keyGet(other, early, LWKEY_VALUE, &v), 0);
    ef.destroyKey(env, late);
    EXPECT_EQ(ef.nextKey(env, nullptr), early);
    EXPECT_EQ(ef.nextKey(env, early), nullptr);
}

TEST_F(Envelopes, GroupsFormATreeThatChannelInfoWalks) {
    LWChanGroupID top = ef.createGroup(nullptr, "Surface");
    LWChanGroupID sub = ef.createGroup(top, "Ormel_Dirt");
    LWEnvelopeID a = ef.create(sub, "dirt_width", LWVP_DIST);
    LWEnvelopeID b = ef.create(sub, "dirt_amount", LWVP_PERCENT);
    ef.createKey(b, 0.0, 0.25);

    EXPECT_EQ(ci.nextGroup(nullptr, nullptr), top);
    EXPECT_EQ(ci.nextGroup(top, nullptr), sub);
    EXPECT_EQ(ci.nextGroup(top, sub), nullptr);
    EXPECT_EQ(ci.groupParent(sub), top);
    EXPECT_STREQ(ci.groupName(sub), "Ormel_Dirt");

    LWChannelID first = ci.nextChannel(sub, nullptr);
    LWChannelID second = ci.nextChannel(sub, first);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(ci.nextChannel(sub, second), nullptr);
    EXPECT_STREQ(ci.channelName(first), "dirt_width");
    EXPECT_EQ(ci.channelParent(second), sub);
    EXPECT_EQ(ci.channelType(first), LWVP_DIST);
    EXPECT_EQ(ci.channelEnvelope(first), a);
    EXPECT_EQ(ci.channelEnvelope(second), b);
    EXPECT_EQ(ci.channelEvaluate(second, 4.0), 0.25);

    ef.destroyGroup(top);
    EXPECT_EQ(ci.nextGroup(nullptr, nullptr), nullptr);
}

TEST_F(Envelopes, SaveAndLoadKeepKeysExactlyInBothModes) {
    LWEnvelopeID env = keyed({{0.1, 1.0 / 3.0}, {1.7, -2e-9}}, SHAPE_LINE);
    double tension = 0.3;
    ef.keySet(env, ef.nextKey(env, nullptr), LWKEY_TENSION, &tension);
    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        BlockWriter w(mode);
        ASSERT_EQ(ef.save(env, w.state()), nullptr);
        LWEnvelopeID back = ef.create(nullptr, "back", LWVP_FLOAT);
        ef.createKey(back, 5.0, 5.0);  // replaced by the load
        BlockReader r(mode, w.bytes());
        ASSERT_EQ(ef.load(back, r.state()), nullptr);
        LWEnvKeyframeID k0 = ef.nextKey(back, nullptr);
        LWEnvKeyframeID k1 = ef.nextKey(back, k0);
        ASSERT_NE(k1, nullptr);
        EXPECT_EQ(ef.nextKey(back, k1), nullptr);
        double t = 0, v = 0, tens = 0;
        int shape = -1;
        ef.keyGet(back, k0, LWKEY_TIME, &t);
        ef.keyGet(back, k0, LWKEY_VALUE, &v);
        ef.keyGet(back, k0, LWKEY_TENSION, &tens);
        ef.keyGet(back, k1, LWKEY_SHAPE, &shape);
        EXPECT_EQ(t, 0.1);
        EXPECT_EQ(v, 1.0 / 3.0);
        EXPECT_EQ(tens, 0.3);
        EXPECT_EQ(shape, SHAPE_LINE);
        EXPECT_EQ(ef.evaluate(back, 1.7), -2e-9);
    }
}

TEST_F(Envelopes, LoadWithoutEnvelopeDataFailsAndKeepsKeys) {
    BlockWriter w(LWIO_BINARY);
    const int junk = 5;
    w.state()->writeI4(w.state()->writeData, &junk, 1);
    LWEnvelopeID env = keyed({{0.0, 2.0}}, SHAPE_TCB);
    BlockReader r(LWIO_BINARY, w.bytes());
    EXPECT_NE(ef.load(env, r.state()), nullptr);
    EXPECT_EQ(ef.evaluate(env, 0.0), 2.0);
}

}  // namespace
}  // namespace refhost
