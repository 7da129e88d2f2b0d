// Shader instances against a fake host: defaults, copy, time, flags and clean failure.
#include "instance/dirt_instance.h"

#include <gtest/gtest.h>

#include <cstring>

#include "module/module_state.h"
#include "params/services.h"
#include "tests/support/fake_param_host.h"

namespace ormel {
namespace {

using fake::ParamHost;

DirtInstance *make(LWSurfaceID surface = nullptr) {
    return static_cast<DirtInstance *>(dirt::create(nullptr, surface, nullptr));
}

PluginDataParam *param_at(DirtInstance *inst, int i) {
    PluginDataParam *params[8] = {inst->dirt_width, inst->dirt_falloff, inst->dirt_amount,
                                  inst->dirt_color, inst->dirt_Kd,      inst->dirt_Ks,
                                  inst->dirt_mirror, inst->dirt_bump};
    return params[i];
}

std::array<double, 3> value_of(const PluginDataParam *param) {
    std::array<double, 3> out{-1, -1, -1};
    param_services.vparm->getVal(param->vparm, 0.0, nullptr, out.data());
    return out;
}

uint64_t bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

TEST(DirtInstance, NewInstanceHasTheDefaults) {
    ParamHost host;
    LWSurfaceID surface = host.add_surface("Wall");
    DirtInstance *inst = make(surface);
    ASSERT_NE(inst, nullptr);

    EXPECT_EQ(inst->surface, surface);
    EXPECT_EQ(bits(inst->sample_theta), bits(1.0471975511965976));
    EXPECT_EQ(bits(inst->sample_jitter), bits(0.3490658503988659));
    EXPECT_EQ(inst->sample_count, 6);
    EXPECT_EQ(inst->sample_itr, 1);
    EXPECT_EQ(inst->sample_scale, 0.1);
    EXPECT_EQ(inst->use_color, 0);
    EXPECT_EQ(inst->use_Kd, 1);
    EXPECT_EQ(inst->use_Ks, 0);
    EXPECT_EQ(inst->use_mirror, 0);
    EXPECT_EQ(inst->use_bump, 0);
    EXPECT_EQ(inst->single_f, 0);

    struct Want {
        const char *channel;
        int env_type, tex_type;
        double value;
    };
    const Want want[8] = {
        {"dirt_width", 0x30, 2, 0.05},    {"dirt_falloff", 0x10, -1, 0.5},
        {"dirt_amount", 0x20, 2, 1.0},    {"dirt_color", 0x51, 1, 0.5},
        {"dirt_diffuse", 0x20, 2, 0.5},   {"dirt_specular", 0x20, 2, 0.0},
        {"dirt_mirror", 0x20, 2, 0.0},    {"dirt_bump", 0x20, 0, 1.0},
    };
    // One instance group under the surface's group; every parameter is in it.
    ASSERT_GE(host.groups.size(), 2u);
    const fake::Group *group = host.groups[1].get();
    EXPECT_EQ(group->name, "Ormel_Dirt");
    EXPECT_EQ(group->parent, host.surface_funcs.chanGrp(surface));
    for (int i = 0; i < 8; ++i) {
        PluginDataParam *p = param_at(inst, i);
        ASSERT_NE(p, nullptr);
        // Made in declaration order: the i-th variant parameter the host made.
        EXPECT_EQ(ParamHost::vparm(p->vparm), host.vparms[static_cast<size_t>(i)].get());
        const fake::VParm *v = ParamHost::vparm(p->vparm);
        EXPECT_EQ(v->channel.rfind(want[i].channel, 0), 0u) << want[i].channel;
        EXPECT_EQ(v->env_type, want[i].env_type) << want[i].channel;
        EXPECT_EQ(v->tex_type, want[i].tex_type) << want[i].channel;
        EXPECT_EQ(v->plugin, "Ormel_Dirt");
        EXPECT_EQ(p->surface, surface);
        EXPECT_EQ(reinterpret_cast<const fake::Group *>(p->group), group);
        const double d = want[i].value;
        EXPECT_EQ(value_of(p), (std::array<double, 3>{d, d, d})) << want[i].channel;
    }
    EXPECT_EQ(host.count("setVal"), 16);  // zero at construction, then the initial value
    dirt::destroy(inst);
}

TEST(DirtInstance, DescribesItselfAndFlagsDoNotDependOnSwitches) {
    ParamHost host;
    DirtInstance *inst = make();
    ASSERT_NE(inst, nullptr);
    const char *text = dirt::descln(inst);
    EXPECT_STREQ(text, "Ormel's Dirt Shader version 0.44");
    EXPECT_EQ(text, inst->description);

    EXPECT_EQ(dirt::flags(inst), 0x43Bu);
    inst->use_color = inst->use_Ks = inst->use_mirror = inst->use_bump = 1;
    inst->use_Kd = 0;
    EXPECT_EQ(dirt::flags(inst), 0x43Bu);
    EXPECT_EQ(dirt::useItems(inst), nullptr);
    dirt::changeID(inst, nullptr);
    dirt::destroy(inst);
}

TEST(DirtInstance, CopyGoesThroughTheHostAndKeepsTheDestinationsOwnObjects) {
    ParamHost host;
    LWSurfaceID wall = host.add_surface("Wall");
    LWSurfaceID floor = host.add_surface("Floor");
    DirtInstance *src = make(wall);
    DirtInstance *dst = make(floor);
    ASSERT_TRUE(src && dst);

    double width[3] = {0.25, 0.25, 0.25};
    param_services.vparm->setVal(src->dirt_width->vparm, width);
    ParamHost::vparm(src->dirt_amount->vparm)->envelopes[0] = 42;
    host.give_texture(src->dirt_color->vparm)->content = 7;
    src->sample_theta = 0.125;
    src->sample_jitter = 0.0625;
    src->sample_count = 9;
    src->sample_itr = 3;
    src->sample_scale = 2.5;
    src->use_color = 1;
    src->use_Kd = 0;
    src->use_Ks = 1;
    src->use_mirror = 1;
    src->use_bump = 1;
    src->single_f = 1;
    dirt::descln(src);

    PluginDataParam *own[8];
    LWVParmID own_vparms[8];
    for (int i = 0; i < 8; ++i) {
        own[i] = param_at(dst, i);
        own_vparms[i] = own[i]->vparm;
    }
    EXPECT_EQ(dirt::copy(dst, src), nullptr);

    ASSERT_EQ(host.copies.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(param_at(dst, i), own[i]);
        EXPECT_EQ(param_at(dst, i)->vparm, own_vparms[i]);
        EXPECT_EQ(host.copies[static_cast<size_t>(i)].first, ParamHost::vparm(own_vparms[i]));
        EXPECT_EQ(host.copies[static_cast<size_t>(i)].second,
                  ParamHost::vparm(param_at(src, i)->vparm));
    }
    EXPECT_EQ(value_of(dst->dirt_width), (std::array<double, 3>{0.25, 0.25, 0.25}));
    EXPECT_EQ(ParamHost::vparm(dst->dirt_amount->vparm)->envelopes[0], 42);
    ASSERT_NE(ParamHost::vparm(dst->dirt_color->vparm)->texture, nullptr);
    EXPECT_EQ(ParamHost::vparm(dst->dirt_color->vparm)->texture->content, 7);
    EXPECT_NE(ParamHost::vparm(dst->dirt_color->vparm)->texture,
              ParamHost::vparm(src->dirt_color->vparm)->texture);

    EXPECT_EQ(dst->sample_theta, 0.125);
    EXPECT_EQ(dst->sample_jitter, 0.0625);
    EXPECT_EQ(dst->sample_count, 9);
    EXPECT_EQ(dst->sample_itr, 3);
    EXPECT_EQ(dst->sample_scale, 2.5);
    EXPECT_EQ(dst->use_color, 1);
    EXPECT_EQ(dst->use_Kd, 0);
    EXPECT_EQ(dst->use_Ks, 1);
    EXPECT_EQ(dst->use_mirror, 1);
    EXPECT_EQ(dst->use_bump, 1);
    EXPECT_EQ(dst->single_f, 1);
    EXPECT_STREQ(dst->description, "Ormel's Dirt Shader version 0.44");
    EXPECT_EQ(dst->surface, floor);
    dirt::destroy(src);
    dirt::destroy(dst);
}

TEST(DirtInstance, RenderTimeIsTheLastNewTimeOfAnyInstance) {
    ParamHost host;
    DirtInstance *a = make();
    DirtInstance *b = make();
    ASSERT_TRUE(a && b);
    fake::Texture *tex = host.give_texture(a->dirt_Ks->vparm);
    fake::Texture *bump = host.give_texture(a->dirt_bump->vparm);

    EXPECT_EQ(dirt::init(a, 0), nullptr);
    EXPECT_EQ(dirt::newTime(a, 12, 0.5), nullptr);
    EXPECT_EQ(render_time, 0.5);
    EXPECT_EQ(dirt::newTime(b, 3, 0.125), nullptr);
    EXPECT_EQ(render_time, 0.125);
    ASSERT_EQ(tex->new_times.size(), 1u);
    EXPECT_EQ(tex->new_times[0], (std::pair<double, int>{0.5, 12}));
    EXPECT_EQ(bump->new_times, tex->new_times);

    host.log.clear();
    dirt::cleanup(a);
    EXPECT_EQ(tex->cleanups, 1);
    EXPECT_EQ(bump->cleanups, 1);
    // Specularity comes before bump among the eight.
    EXPECT_EQ(host.log, (std::vector<std::string>{"cleanup", "cleanup"}));
    dirt::destroy(a);
    dirt::destroy(b);
    render_time = 0.0;
}

TEST(DirtInstance, DestroyReleasesAllEightParameters) {
    ParamHost host;
    for (int round = 0; round < 3; ++round) {
        DirtInstance *inst = make();
        ASSERT_NE(inst, nullptr);
        EXPECT_EQ(host.live_vparms(), 8);
        dirt::destroy(inst);
        EXPECT_EQ(host.live_vparms(), 0);
    }
    dirt::destroy(nullptr);
    // One texture context for all of them.
    EXPECT_EQ(host.contexts_created, 1);
}

TEST(DirtInstance, CreateFailsCleanlyWhenAServiceIsMissing) {
    const char *const required[] = {LWVPARMFUNCS_GLOBAL, LWENVELOPEFUNCS_GLOBAL,
                                    LWSURFACEFUNCS_GLOBAL, LWIMAGELIST_GLOBAL,
                                    LWCHANNELINFO_GLOBAL, LWOBJECTFUNCS_GLOBAL};
    for (const char *missing : required) {
        ParamHost host;
        host.host.withhold(missing);
        LWError error = reinterpret_cast<LWError>(&host);
        EXPECT_EQ(dirt::create(nullptr, nullptr, &error), nullptr) << missing;
        EXPECT_EQ(error, reinterpret_cast<LWError>(&host));
        // Nothing was made in the host before the refusal.
        EXPECT_TRUE(host.vparms.empty()) << missing;
        EXPECT_TRUE(host.groups.empty()) << missing;
    }
    // Without textures the instance is made all the same, with no texture context.
    ParamHost host;
    host.host.withhold(LWTEXTUREFUNCS_GLOBAL);
    DirtInstance *inst = make();
    ASSERT_NE(inst, nullptr);
    EXPECT_EQ(ParamHost::vparm(inst->dirt_width->vparm)->context, nullptr);
    dirt::newTime(inst, 1, 1.0);
    dirt::cleanup(inst);
    dirt::destroy(inst);
    render_time = 0.0;
}

TEST(DirtInstance, CreateFailsCleanlyWhenAParameterCannotBeMade) {
    ParamHost host;
    host.vparm_creates_before_failure = 4;
    EXPECT_EQ(make(), nullptr);
    EXPECT_EQ(host.vparms.size(), 4u);
    EXPECT_EQ(host.live_vparms(), 0);

    // The next attempt succeeds with a host that has memory again.
    host.vparm_creates_before_failure = -1;
    DirtInstance *inst = make();
    ASSERT_NE(inst, nullptr);
    dirt::destroy(inst);
    EXPECT_EQ(host.live_vparms(), 0);
}

}  // namespace
}  // namespace ormel
