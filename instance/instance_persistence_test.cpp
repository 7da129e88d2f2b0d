// Saving and loading instances against the fake host, whose variant parameters save their
// value, which envelopes they have and their texture's content.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "instance/dirt_instance.h"
#include "params/persistence.h"
#include "params/services.h"
#include "refhost/block_io.h"
#include "tests/support/fake_param_host.h"

namespace ormel {
namespace {

using fake::ParamHost;
using refhost::BlockReader;
using refhost::BlockWriter;

// ---- The host's own saved form of a variant parameter, for this fake: the value as 24
// bytes, the texture's content (or -1 for none) and a flag per envelope. The envelopes'
// keys travel in the "VparamEnv" blocks.

LWError vp_save(LWVParmID id, const LWSaveState *s) {
    const fake::VParm *v = ParamHost::vparm(id);
    unsigned char bytes[24];
    std::memcpy(bytes, v->value.data(), sizeof bytes);
    s->writeU1(s->writeData, bytes, 24);
    const int content = v->texture ? v->texture->content : -1;
    s->writeI4(s->writeData, &content, 1);
    const int has[3] = {v->envelopes[0] != 0, v->envelopes[1] != 0, v->envelopes[2] != 0};
    s->writeI4(s->writeData, has, 3);
    return nullptr;
}

LWError vp_load(LWVParmID id, const LWLoadState *l) {
    fake::VParm *v = ParamHost::vparm(id);
    unsigned char bytes[24];
    int content = -1;
    int has[3] = {0, 0, 0};
    if (l->readU1(l->readData, bytes, 24) != 24) return nullptr;
    std::memcpy(v->value.data(), bytes, sizeof bytes);
    if (l->readI4(l->readData, &content, 1) == 1 && content >= 0)
        ParamHost::current().give_texture(id)->content = content;
    if (l->readI4(l->readData, has, 3) == 3)
        for (int i = 0; i < 3; ++i) v->envelopes[static_cast<size_t>(i)] = has[i] ? -1 : 0;  // keys follow
    return nullptr;
}

void vp_get_env(LWVParmID id, LWEnvelopeID env[3]) {
    fake::VParm *v = ParamHost::vparm(id);
    for (size_t i = 0; i < 3; ++i)
        env[i] = v->envelopes[i] ? reinterpret_cast<LWEnvelopeID>(&v->envelopes[i]) : nullptr;
}

LWError env_save(LWEnvelopeID e, const LWSaveState *s) {
    s->writeI4(s->writeData, reinterpret_cast<int *>(e), 1);
    return nullptr;
}
LWError env_load(LWEnvelopeID e, const LWLoadState *l) {
    l->readI4(l->readData, reinterpret_cast<int *>(e), 1);
    return nullptr;
}
LWTLayerID no_layer(LWTextureID) { return nullptr; }

class InstancePersistence : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        host_.vparm_funcs.save = vp_save;
        host_.vparm_funcs.load = vp_load;
        host_.vparm_funcs.getEnv = vp_get_env;
        host_.envelope_funcs.save = env_save;
        host_.envelope_funcs.load = env_load;
        host_.texture_funcs.firstLayer = no_layer;
    }

    DirtInstance *make() {
        auto *inst = static_cast<DirtInstance *>(dirt::create(nullptr, nullptr, nullptr));
        made_.push_back(inst);
        return inst;
    }
    void TearDown() override {
        for (DirtInstance *inst : made_) dirt::destroy(inst);
    }

    std::string save(DirtInstance *inst) {
        BlockWriter w(GetParam());
        EXPECT_EQ(dirt::save(inst, w.state()), nullptr);
        EXPECT_EQ(w.state()->depth(w.state()->writeData), 0);
        return w.bytes();
    }
    void load(DirtInstance *inst, const std::string &data) {
        BlockReader r(GetParam(), data);
        EXPECT_EQ(dirt::load(inst, r.state()), nullptr);
        EXPECT_EQ(r.state()->depth(r.state()->readData), 0);
    }

    ParamHost host_;
    std::vector<DirtInstance *> made_;
};

PluginDataParam *param_at(const DirtInstance *inst, int i) {
    PluginDataParam *params[8] = {inst->dirt_width, inst->dirt_falloff, inst->dirt_amount, inst->dirt_color,
                                  inst->dirt_Kd,    inst->dirt_Ks,      inst->dirt_mirror, inst->dirt_bump};
    return params[i];
}

// Every stored setting of an instance, comparable bit for bit.
struct Snapshot {
    std::vector<uint64_t> doubles;
    std::vector<int> ints;
    bool operator==(const Snapshot &o) const { return doubles == o.doubles && ints == o.ints; }
};

uint64_t bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

Snapshot snapshot(const DirtInstance *inst) {
    Snapshot s;
    s.doubles = {bits(inst->sample_theta), bits(inst->sample_jitter), bits(inst->sample_scale)};
    s.ints = {inst->sample_count, inst->sample_itr, inst->single_f, inst->use_color,
              inst->use_Kd,       inst->use_Ks,     inst->use_mirror, inst->use_bump};
    for (int i = 0; i < 8; ++i) {
        const fake::VParm *v = ParamHost::vparm(param_at(inst, i)->vparm);
        for (double d : v->value) s.doubles.push_back(bits(d));
        for (int e : v->envelopes) s.ints.push_back(e);
        s.ints.push_back(v->texture ? v->texture->content : -1);
    }
    return s;
}

void edit(DirtInstance *inst, ParamHost &host) {
    inst->sample_theta = 0.1 + 0.2;  // not a short decimal
    inst->sample_jitter = -1e-300;
    inst->sample_scale = 123456.789;
    inst->sample_count = 17;
    inst->sample_itr = -3;
    inst->single_f = 1;
    inst->use_color = 1;
    inst->use_Kd = 0;
    inst->use_Ks = 7;
    inst->use_mirror = 1;
    inst->use_bump = 1;
    double width[3] = {0.3, 0.3, 0.3};
    param_services.vparm->setVal(inst->dirt_width->vparm, width);
    double color[3] = {0.1, 0.7, 1.0 / 3.0};
    param_services.vparm->setVal(inst->dirt_color->vparm, color);
    ParamHost::vparm(inst->dirt_amount->vparm)->envelopes = {42, 0, 0};
    ParamHost::vparm(inst->dirt_color->vparm)->envelopes = {5, 6, 8};
    host.give_texture(inst->dirt_Kd->vparm)->content = 99;
}

TEST_P(InstancePersistence, NewAndEditedInstancesRoundTripBitExact) {
    DirtInstance *fresh = make();
    DirtInstance *fresh_copy = make();
    load(fresh_copy, save(fresh));
    EXPECT_TRUE(snapshot(fresh_copy) == snapshot(fresh));

    DirtInstance *edited = make();
    edit(edited, host_);
    DirtInstance *loaded = make();
    ASSERT_FALSE(snapshot(loaded) == snapshot(edited));
    load(loaded, save(edited));
    EXPECT_TRUE(snapshot(loaded) == snapshot(edited));
}

TEST_P(InstancePersistence, OtherVersionsLeaveTheDefaults) {
    DirtInstance *edited = make();
    edit(edited, host_);
    const std::string data = save(edited);
    for (int version : {255, 257, 0}) {
        std::string changed = data;
        if (GetParam() == LWIO_BINARY) {
            changed[2] = static_cast<char>(version >> 8);
            changed[3] = static_cast<char>(version & 0xFF);
        } else {
            changed.replace(0, 3, std::to_string(version));
        }
        DirtInstance *inst = make();
        const Snapshot defaults = snapshot(inst);
        load(inst, changed);
        EXPECT_TRUE(snapshot(inst) == defaults) << version;
        EXPECT_EQ(inst->use_Kd, 1);
        EXPECT_EQ(inst->sample_count, 6);
    }
}

TEST_P(InstancePersistence, EveryPrefixLoadsWithoutHarm) {
    DirtInstance *edited = make();
    edit(edited, host_);
    const Snapshot want = snapshot(edited);
    const std::string data = save(edited);
    for (size_t n = 0; n <= data.size(); ++n) {
        DirtInstance *inst = static_cast<DirtInstance *>(dirt::create(nullptr, nullptr, nullptr));
        const Snapshot before = snapshot(inst);
        load(inst, data.substr(0, n));
        // Each plain value is either kept or the stored one.
        const Snapshot after = snapshot(inst);
        for (size_t i = 0; i < 3; ++i)
            EXPECT_TRUE(after.doubles[i] == before.doubles[i] || after.doubles[i] == want.doubles[i]) << n;
        for (size_t i = 0; i < 8; ++i)
            EXPECT_TRUE(after.ints[i] == before.ints[i] || after.ints[i] == want.ints[i]) << n;
        dirt::destroy(inst);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, InstancePersistence, ::testing::Values(LWIO_BINARY, LWIO_ASCII),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param == LWIO_ASCII ? "Text" : "Binary";
                         });

// The layout of a binary save: the version word, then "PluginDataLib" with 19 items in
// table order, each with its key and type code.
TEST(InstancePersistenceLayout, BinarySaveHoldsVersionAndNineteenItemsInOrder) {
    ParamHost host;
    host.vparm_funcs.save = vp_save;
    host.vparm_funcs.getEnv = vp_get_env;
    auto *inst = static_cast<DirtInstance *>(dirt::create(nullptr, nullptr, nullptr));
    ASSERT_NE(inst, nullptr);
    BlockWriter w(LWIO_BINARY);
    dirt::save(inst, w.state());
    const std::string data = w.bytes();
    ASSERT_GE(data.size(), 4u);
    EXPECT_EQ(data.substr(0, 4), std::string("\x00\x00\x01\x00", 4));

    BlockReader r(LWIO_BINARY, data.substr(4));
    const LWLoadState *l = r.state();
    void *d = l->readData;
    ASSERT_EQ(l->findBlk(d, kPluginDataLibBlocks), ID_PDLB);
    int n = 0;
    ASSERT_EQ(l->readI4(d, &n, 1), 1);
    EXPECT_EQ(n, 19);
    const std::vector<std::pair<std::string, uint32_t>> want = {
        {"dirt_width", PVPR},   {"dirt_falloff", PVPR}, {"sample_theta", PDBL}, {"sample_jitter", PDBL},
        {"sample_count", PINT}, {"sample_itr", PINT},   {"sample_scale", PDBL}, {"single_f", PINT},
        {"dirt_amount", PVPR},  {"dirt_color", PVPR},   {"dirt_Kd", PVPR},      {"dirt_Ks", PVPR},
        {"dirt_mirror", PVPR},  {"dirt_bump", PVPR},    {"use_color", PINT},    {"use_Kd", PINT},
        {"use_Ks", PINT},       {"use_mirror", PINT},   {"use_bump", PINT}};
    std::vector<std::pair<std::string, uint32_t>> got;
    while (l->findBlk(d, kPluginDataParamBlocks) == ID_PDPR) {
        char name[64];
        unsigned int type = 0;
        l->readStr(d, name, sizeof name);
        l->readU4(d, &type, 1);
        if (got.empty()) {
            // A parameter item holds one "Vparam" block that starts with its version.
            EXPECT_EQ(l->findBlk(d, kVparamBlocks), ID_VPRM);
            int version = 0;
            l->readI4(d, &version, 1);
            EXPECT_EQ(version, 256);
            l->endBlk(d);
        }
        if (std::string(name) == "sample_scale") {
            unsigned char bytes[8];
            ASSERT_EQ(l->readU1(d, bytes, 8), 8);
            EXPECT_EQ(std::string(reinterpret_cast<char *>(bytes), 8),
                      std::string("\x3F\xB9\x99\x99\x99\x99\x99\x9A", 8));  // 0.1
        }
        got.emplace_back(name, type);
        l->endBlk(d);
    }
    EXPECT_EQ(got, want);
    dirt::destroy(inst);
}

// Stored data from a table that lacked "use_bump" and "single_f": everything else loads,
// and the two switches stay as they were.
TEST(InstancePersistenceLayout, DataWithoutTwoSwitchesLoadsTheRest) {
    ParamHost host;
    host.vparm_funcs.save = vp_save;
    host.vparm_funcs.load = vp_load;
    host.vparm_funcs.getEnv = vp_get_env;
    int count = 11, itr = 4, use_color = 1;
    double theta = 0.75;
    PluginDataItem old_table[] = {{"sample_theta", PDBL, &theta, 1, nullptr, nullptr},
                                  {"sample_count", PINT, &count, 1, nullptr, nullptr},
                                  {"sample_itr", PINT, &itr, 1, nullptr, nullptr},
                                  {"use_color", PINT, &use_color, 1, nullptr, nullptr},
                                  {nullptr, 0, nullptr, 0, nullptr, nullptr}};
    BlockWriter w(LWIO_BINARY);
    const int version = 256;
    w.state()->writeI4(w.state()->writeData, &version, 1);
    plugin_data_save(w.state(), old_table);

    auto *inst = static_cast<DirtInstance *>(dirt::create(nullptr, nullptr, nullptr));
    ASSERT_NE(inst, nullptr);
    inst->use_bump = 0;
    inst->single_f = 0;
    BlockReader r(LWIO_BINARY, w.bytes());
    dirt::load(inst, r.state());
    EXPECT_EQ(inst->sample_theta, 0.75);
    EXPECT_EQ(inst->sample_count, 11);
    EXPECT_EQ(inst->sample_itr, 4);
    EXPECT_EQ(inst->use_color, 1);
    EXPECT_EQ(inst->use_bump, 0);
    EXPECT_EQ(inst->single_f, 0);
    EXPECT_EQ(inst->use_Kd, 1);
    dirt::destroy(inst);
}

// How many "VparamEnv" blocks the stored item of that key holds.
int stored_envelope_blocks(const std::string &data, const char *key) {
    BlockReader r(LWIO_BINARY, data.substr(4));
    const LWLoadState *l = r.state();
    void *d = l->readData;
    if (l->findBlk(d, kPluginDataLibBlocks) != ID_PDLB) return -1;
    int n = 0;
    l->readI4(d, &n, 1);
    while (l->findBlk(d, kPluginDataParamBlocks) == ID_PDPR) {
        char name[64];
        unsigned int type = 0;
        l->readStr(d, name, sizeof name);
        l->readU4(d, &type, 1);
        if (std::string(name) == key && l->findBlk(d, kVparamBlocks) == ID_VPRM) {
            // Step over the version and the fake host's own save to the envelope blocks.
            unsigned char bytes[24];
            int words[5];
            l->readI4(d, words, 1);
            l->readU1(d, bytes, 24);
            l->readI4(d, words, 4);
            int blocks = 0;
            while (l->findBlk(d, kVparamBlocks) == ID_VENV) {
                ++blocks;
                l->endBlk(d);
            }
            return blocks;
        }
        l->endBlk(d);
    }
    return -1;
}

// The first envelope is stored when there is one; the second and third only together.
TEST(InstancePersistenceLayout, EnvelopeBlocksFollowTheEnvelopesThereAre) {
    ParamHost host;
    host.vparm_funcs.save = vp_save;
    host.vparm_funcs.getEnv = vp_get_env;
    host.envelope_funcs.save = env_save;
    auto *inst = static_cast<DirtInstance *>(dirt::create(nullptr, nullptr, nullptr));
    ASSERT_NE(inst, nullptr);
    auto saved = [&] {
        BlockWriter w(LWIO_BINARY);
        dirt::save(inst, w.state());
        return w.bytes();
    };
    EXPECT_EQ(stored_envelope_blocks(saved(), "dirt_color"), 0);
    ParamHost::vparm(inst->dirt_width->vparm)->envelopes = {4, 0, 0};
    ParamHost::vparm(inst->dirt_color->vparm)->envelopes = {5, 6, 8};
    EXPECT_EQ(stored_envelope_blocks(saved(), "dirt_width"), 1);
    EXPECT_EQ(stored_envelope_blocks(saved(), "dirt_color"), 3);
    ParamHost::vparm(inst->dirt_color->vparm)->envelopes = {5, 6, 0};
    EXPECT_EQ(stored_envelope_blocks(saved(), "dirt_color"), 1);
    ParamHost::vparm(inst->dirt_color->vparm)->envelopes = {0, 6, 8};
    EXPECT_EQ(stored_envelope_blocks(saved(), "dirt_color"), 2);
    dirt::destroy(inst);
}

// A parameter item without its "Vparam" block, and one whose block has another version:
// both are passed over, and the items after them still load. (A reader that closed a
// block it never found would close the library block and lose them.)
TEST(InstancePersistenceLayout, MissingOrForeignVparamBlocksDoNotDisturbLaterItems) {
    ParamHost host;
    host.vparm_funcs.load = vp_load;
    host.vparm_funcs.getEnv = vp_get_env;
    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        BlockWriter w(mode);
        const LWSaveState *s = w.state();
        const int version = 256, count = 3, foreign = 257, nine = 9;
        const unsigned int pvpr = PVPR, pint = PINT;
        s->writeI4(s->writeData, &version, 1);
        s->beginBlk(s->writeData, &kPluginDataLibBlocks[0], 0);
        s->writeI4(s->writeData, &count, 1);
        s->beginBlk(s->writeData, &kPluginDataParamBlocks[0], 0);
        s->writeStr(s->writeData, "dirt_width");
        s->writeU4(s->writeData, &pvpr, 1);
        s->endBlk(s->writeData);
        s->beginBlk(s->writeData, &kPluginDataParamBlocks[0], 0);
        s->writeStr(s->writeData, "dirt_falloff");
        s->writeU4(s->writeData, &pvpr, 1);
        s->beginBlk(s->writeData, &kVparamBlocks[0], 0);
        s->writeI4(s->writeData, &foreign, 1);
        s->endBlk(s->writeData);
        s->endBlk(s->writeData);
        s->beginBlk(s->writeData, &kPluginDataParamBlocks[0], 0);
        s->writeStr(s->writeData, "sample_count");
        s->writeU4(s->writeData, &pint, 1);
        s->writeI4(s->writeData, &nine, 1);
        s->endBlk(s->writeData);
        s->endBlk(s->writeData);

        auto *inst = static_cast<DirtInstance *>(dirt::create(nullptr, nullptr, nullptr));
        ASSERT_NE(inst, nullptr);
        const std::array<double, 3> falloff = ParamHost::vparm(inst->dirt_falloff->vparm)->value;
        BlockReader r(mode, w.bytes());
        dirt::load(inst, r.state());
        EXPECT_EQ(r.state()->depth(r.state()->readData), 0);
        EXPECT_EQ(inst->sample_count, 9) << mode;
        EXPECT_EQ(ParamHost::vparm(inst->dirt_falloff->vparm)->value, falloff);
        dirt::destroy(inst);
    }
}

}  // namespace
}  // namespace ormel
