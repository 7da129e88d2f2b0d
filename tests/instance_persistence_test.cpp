// Saving shader instances through the reference host and loading them into fresh ones,
// in both storage modes, with the plug-in file loaded as the host loads it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/lwsdk.h"
#include "instance/dirt_instance.h"
#include "refhost/block_io.h"
#include "refhost/envelopes.h"
#include "refhost/host.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/services.h"
#include "refhost/textures.h"
#include "refhost/vparm.h"

namespace {

using ormel::DirtInstance;

// The plug-in's classes have no type information in this executable: read a parameter's
// handle without the sanitizer's dynamic type check, which would need it.
__attribute__((no_sanitize("vptr"))) LWVParmID vparm_of(const ormel::PluginDataParam *p) { return p->vparm; }

class InstanceSaveLoad : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        refhost::install_render_services(host_);
        refhost::install_instance_services(host_);
        handler_.inst = &inst_;
        handler_.item = &item_;
        handler_.rend = &rend_;
        ASSERT_TRUE(plugin_.load(ORMEL_PLUGIN_PATH)) << plugin_.error();
        ASSERT_EQ(plugin_.activate(host_, "ShaderHandler", "Ormel_Dirt", 4, &handler_), AFUNC_OK);
    }
    void TearDown() override {
        for (DirtInstance *d : made_) inst_.destroy(d);
    }

    DirtInstance *create() {
        LWError error = nullptr;
        auto *d = static_cast<DirtInstance *>(inst_.create(inst_.priv, nullptr, &error));
        EXPECT_NE(d, nullptr);
        if (d) made_.push_back(d);
        return d;
    }
    std::string save(DirtInstance *d) {
        refhost::BlockWriter w(GetParam());
        EXPECT_EQ(inst_.save(d, w.state()), nullptr);
        return w.bytes();
    }
    void load(DirtInstance *d, const std::string &data) {
        refhost::BlockReader r(GetParam(), data);
        EXPECT_EQ(inst_.load(d, r.state()), nullptr);
        EXPECT_EQ(r.state()->depth(r.state()->readData), 0);
    }

    refhost::VParmSystem &vparms() { return host_.component<refhost::VParmSystem>(); }
    refhost::TextureSystem &textures() { return host_.component<refhost::TextureSystem>(); }

    // Every setting, two envelopes, and textures with and without image layers.
    void edit(DirtInstance *d) {
        const LWVParmFuncs &vp = refhost::vparm_funcs();
        d->sample_theta = 0.1 + 0.2;
        d->sample_jitter = 1e-310;  // subnormal
        d->sample_count = 13;
        d->sample_itr = 4;
        d->sample_scale = 2.0 / 3.0;
        d->use_color = 1;
        d->use_Kd = 0;
        d->use_Ks = 1;
        d->use_mirror = 1;
        d->use_bump = 1;
        d->single_f = 1;
        ormel::PluginDataParam *params[8] = {d->dirt_width, d->dirt_falloff, d->dirt_amount, d->dirt_color,
                                             d->dirt_Kd,    d->dirt_Ks,      d->dirt_mirror, d->dirt_bump};
        for (int i = 0; i < 8; ++i) {
            double v[3] = {0.1 * (i + 1) + 1e-13, 0.7 / (i + 1), 1.0 / 3.0};
            vp.setVal(vparm_of(params[i]), v);
        }
        vparms().enable_envelope(refhost::from_id(vparm_of(d->dirt_width)), 0)->add_key(1.5, 0.03);
        refhost::VParm *colour = refhost::from_id(vparm_of(d->dirt_color));
        for (int c = 0; c < 3; ++c) vparms().enable_envelope(colour, c)->add_key(2.0 + c, 0.2 * c);

        // dirt_diffuse: images on layers 0 and 2, an animated opacity on layer 0.
        refhost::Texture *kd = vparms().attach_texture(refhost::from_id(vparm_of(d->dirt_Kd)));
        ASSERT_NE(kd, nullptr);
        refhost::TextureLayer *l0 = textures().add_layer(kd, TLT_IMAGE);
        l0->image = wood_;
        ASSERT_NE(l0->opacity, nullptr);
        l0->opacity->envelope.add_key(0.0, 1.0);
        l0->opacity->envelope.add_key(3.0, 0.25);
        textures().add_layer(kd, TLT_PROC)->value[0] = 0.375;
        textures().add_layer(kd, TLT_IMAGE)->image = stone_;
        // dirt_bump: a texture without image layers.
        refhost::Texture *bump = vparms().attach_texture(refhost::from_id(vparm_of(d->dirt_bump)));
        ASSERT_NE(bump, nullptr);
        textures().add_layer(bump, TLT_PROC)->size[1] = 4.0;
    }

    // What the host reads back from a parameter: values at several times, the keys of
    // every envelope and the host's own save of the texture.
    std::string host_view(const ormel::PluginDataParam *p) {
        const LWVParmFuncs &vp = refhost::vparm_funcs();
        std::string out;
        for (double t : {0.0, 0.75, 2.5, 10.0}) {
            double v[3] = {0, 0, 0};
            vp.getVal(vparm_of(p), t, nullptr, v);
            out.append(reinterpret_cast<const char *>(v), sizeof v);
        }
        LWEnvelopeID env[3] = {nullptr, nullptr, nullptr};
        vp.getEnv(vparm_of(p), env);
        for (LWEnvelopeID e : env) {
            out += e ? "E" : "-";
            if (!e) continue;
            for (const auto &k : refhost::from_id(e)->keys) {
                const double fields[5] = {k->time, k->value, k->tension, k->continuity, k->bias};
                out.append(reinterpret_cast<const char *>(fields), sizeof fields);
            }
        }
        refhost::BlockWriter w(LWIO_BINARY);
        if (LWTextureID tex = vp.getTex(vparm_of(p))) refhost::texture_funcs().save(tex, w.state());
        return out + w.bytes();
    }

    void expect_same(DirtInstance *a, DirtInstance *b) {
        auto bits = [](double d) {
            uint64_t u;
            std::memcpy(&u, &d, sizeof u);
            return u;
        };
        EXPECT_EQ(bits(a->sample_theta), bits(b->sample_theta));
        EXPECT_EQ(bits(a->sample_jitter), bits(b->sample_jitter));
        EXPECT_EQ(bits(a->sample_scale), bits(b->sample_scale));
        EXPECT_EQ(a->sample_count, b->sample_count);
        EXPECT_EQ(a->sample_itr, b->sample_itr);
        EXPECT_EQ(a->single_f, b->single_f);
        EXPECT_EQ(a->use_color, b->use_color);
        EXPECT_EQ(a->use_Kd, b->use_Kd);
        EXPECT_EQ(a->use_Ks, b->use_Ks);
        EXPECT_EQ(a->use_mirror, b->use_mirror);
        EXPECT_EQ(a->use_bump, b->use_bump);
        const ormel::PluginDataParam *pa[8] = {a->dirt_width, a->dirt_falloff, a->dirt_amount, a->dirt_color,
                                               a->dirt_Kd,    a->dirt_Ks,      a->dirt_mirror, a->dirt_bump};
        const ormel::PluginDataParam *pb[8] = {b->dirt_width, b->dirt_falloff, b->dirt_amount, b->dirt_color,
                                               b->dirt_Kd,    b->dirt_Ks,      b->dirt_mirror, b->dirt_bump};
        for (int i = 0; i < 8; ++i) EXPECT_EQ(host_view(pa[i]), host_view(pb[i])) << "parameter " << i;
    }

    refhost::Host host_;
    refhost::PluginFile plugin_;
    LWInstanceFuncs inst_{};
    LWItemFuncs item_{};
    LWRenderFuncs rend_{};
    LWShaderHandler handler_{};
    std::vector<DirtInstance *> made_;
    refhost::Image *wood_ = &host_.scene().add_image("Wood.png", "/maps/wood.png");
    refhost::Image *stone_ = &host_.scene().add_image("Stone.png", "/maps/stone.png");
};

TEST_P(InstanceSaveLoad, NewInstanceLoadsIntoAnotherUnchanged) {
    DirtInstance *a = create();
    DirtInstance *b = create();
    ASSERT_TRUE(a && b);
    load(b, save(a));
    expect_same(a, b);
}

TEST_P(InstanceSaveLoad, EditedInstanceLoadsBackWithEverySettingEnvelopeAndTexture) {
    DirtInstance *edited = create();
    DirtInstance *fresh = create();
    ASSERT_TRUE(edited && fresh);
    edit(edited);
    const size_t images = host_.scene().images().size();
    load(fresh, save(edited));
    expect_same(edited, fresh);
    // The images were found in the scene, not loaded again.
    EXPECT_EQ(host_.scene().images().size(), images);
    refhost::Texture *kd = refhost::from_id(refhost::vparm_funcs().getTex(vparm_of(fresh->dirt_Kd)));
    ASSERT_NE(kd, nullptr);
    ASSERT_EQ(kd->layers.size(), 3u);
    EXPECT_EQ(kd->layers[0]->image, wood_);
    EXPECT_EQ(kd->layers[2]->image, stone_);
    EXPECT_EQ(save(fresh), save(edited));
}

TEST_P(InstanceSaveLoad, ImageNamesResolveWithoutRegardToCase) {
    DirtInstance *edited = create();
    DirtInstance *fresh = create();
    ASSERT_TRUE(edited && fresh);
    edit(edited);
    const std::string data = save(edited);
    wood_->name = "WOOD.PNG";
    const size_t images = host_.scene().images().size();
    load(fresh, data);
    refhost::Texture *kd = refhost::from_id(refhost::vparm_funcs().getTex(vparm_of(fresh->dirt_Kd)));
    ASSERT_NE(kd, nullptr);
    ASSERT_EQ(kd->layers.size(), 3u);
    EXPECT_EQ(kd->layers[0]->image, wood_);
    EXPECT_EQ(host_.scene().images().size(), images);
}

TEST_P(InstanceSaveLoad, EveryPrefixOfAnEditedSaveLoadsIntoAUsableInstance) {
    DirtInstance *edited = create();
    ASSERT_NE(edited, nullptr);
    edit(edited);
    const std::string data = save(edited);
    // Every tenth prefix keeps the test short; the replay driver and the fuzzer try them all.
    for (size_t n = 0; n <= data.size(); n += 10) {
        DirtInstance *d = create();
        ASSERT_NE(d, nullptr);
        load(d, data.substr(0, n));
        // Whatever it took, the instance saves and loads back as itself.
        const std::string again = save(d);
        DirtInstance *e = create();
        load(e, again);
        EXPECT_EQ(save(e), again) << n;
        inst_.destroy(d);
        inst_.destroy(e);
        made_.resize(made_.size() - 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, InstanceSaveLoad, ::testing::Values(LWIO_BINARY, LWIO_ASCII),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param == LWIO_ASCII ? "Text" : "Binary";
                         });

}  // namespace
