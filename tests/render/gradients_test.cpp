// Shading through the built plug-in file with the dirt amount textured by a gradient over
// the module's own "Ambient Occlusion (Low)" input: the reference host calls the texture
// context's callbacks as a renderer does, and occluded spots take more dirt than open ones.
#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/host.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/scene.h"
#include "refhost/services.h"
#include "refhost/shading_spot.h"
#include "refhost/textures.h"
#include "refhost/vparm.h"
#include "render/ray_caster.h"

namespace {

using refhost::Item;
using refhost::Polygon;

constexpr int kAmbientOcclusionLow = 28;

// What the host asked of the plug-in's texture context, and what it answered.
struct ContextCall {
    std::string what;  // "time", "evaluate" or "cleanup"
    std::string row;   // the row copy's name
    int input = 0;
    gParamData data = nullptr;
    double time = 0.0;
    int frame = 0;
    double value = 0.0;  // evaluate: the input's value at the spot
};

// Stands between the host's texture service and the plug-in: the context the plug-in
// creates gets logging callbacks that forward to the plug-in's own. Likewise the
// variant-parameter setup, to learn which host parameter is which setting.
struct Interceptor {
    static Interceptor *self;
    LWTextureFuncs textures{};
    LWVParmFuncs vparms{};
    const LWTextureFuncs *real_textures = nullptr;
    const LWVParmFuncs *real_vparms = nullptr;
    LWTxtrParamFuncs plugin_funcs{};
    std::mutex mutex;  // render threads log concurrently
    std::vector<ContextCall> calls;
    std::vector<std::pair<std::string, LWVParmID>> parms;

    explicit Interceptor(refhost::Host &host) {
        self = this;
        real_textures = static_cast<const LWTextureFuncs *>(host.lookup(LWTEXTUREFUNCS_GLOBAL, 0));
        real_vparms = static_cast<const LWVParmFuncs *>(host.lookup(LWVPARMFUNCS_GLOBAL, 0));
        textures = *real_textures;
        vparms = *real_vparms;
        textures.contextCreate = [](LWTxtrParamFuncs funcs) {
            self->plugin_funcs = funcs;
            return self->real_textures->contextCreate({evaluate, time, cleanup});
        };
        vparms.setup = [](LWVParmID parm, const char *name, LWChanGroupID group,
                          LWTxtrContextID context, LWVP_EventFunc *event, const char *plugin,
                          void *data) {
            self->parms.emplace_back(name, parm);
            return self->real_vparms->setup(parm, name, group, context, event, plugin, data);
        };
        host.provide(LWTEXTUREFUNCS_GLOBAL, &textures);
        host.provide(LWVPARMFUNCS_GLOBAL, &vparms);
    }
    ~Interceptor() { self = nullptr; }

    LWVParmID parm(const std::string &name) const {
        for (const auto &p : parms)
            if (p.first == name) return p.second;
        return nullptr;
    }

    void log(const ContextCall &call) {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(call);
    }

    static gParamData time(void *user, LWTxtrParamDesc *row, int input, LWTime t, LWFrame f) {
        gParamData data = self->plugin_funcs.paramTime(user, row, input, t, f);
        self->log({"time", row->name, input, data, t, f, 0.0});
        return data;
    }
    static double evaluate(LWTxtrParamDesc *row, int input, LWMicropol *mp, gParamData data) {
        const double value = self->plugin_funcs.paramEvaluate(row, input, mp, data);
        self->log({"evaluate", row->name, input, data, 0.0, 0, value});
        return value;
    }
    static void cleanup(LWTxtrParamDesc *row, int input, gParamData data) {
        self->log({"cleanup", row->name, input, data, 0.0, 0, 0.0});
        self->plugin_funcs.paramCleanup(row, input, data);
    }
};
Interceptor *Interceptor::self = nullptr;

// A floor tile of side 1 centred at (x, 0, z), facing up.
Polygon *floor_tile(refhost::Mesh &mesh, float x, float z, const std::string &surface) {
    refhost::Point *a = mesh.add_point(x - 0.5f, 0.0f, z - 0.5f);
    refhost::Point *b = mesh.add_point(x - 0.5f, 0.0f, z + 0.5f);
    refhost::Point *c = mesh.add_point(x + 0.5f, 0.0f, z + 0.5f);
    refhost::Point *d = mesh.add_point(x + 0.5f, 0.0f, z - 0.5f);
    return mesh.add_polygon({a, b, c, d}, surface);
}

class GradientInputs : public ::testing::Test {
protected:
    void SetUp() override {
        build_scene();
        refhost::install_render_services(host);
        refhost::install_instance_services(host);
        interceptor = std::make_unique<Interceptor>(host);
        ASSERT_TRUE(plugin.load(ORMEL_PLUGIN_PATH)) << plugin.error();
        handler.inst = &inst_funcs;
        handler.item = &item_funcs;
        handler.rend = &rend_funcs;
        ASSERT_EQ(plugin.activate(host, LWSHADER_HCLASS, "Ormel_Dirt", LWSHADER_VERSION, &handler),
                  AFUNC_OK);
        LWError error = nullptr;
        instance = inst_funcs.create(inst_funcs.priv, refhost::to_id(floor_surface), &error);
        ASSERT_NE(instance, nullptr);
        floor_surface->shaders.push_back({&handler, instance});

        // A wide dirt width, so that every spot with geometry in its cone takes dirt.
        ASSERT_NE(interceptor->parm("dirt_width"), nullptr);
        double width[3] = {10.0, 10.0, 10.0};
        host_vparms().setVal(interceptor->parm("dirt_width"), width);
    }
    void TearDown() override {
        floor_surface->shaders.clear();
        if (instance) inst_funcs.destroy(instance);
        plugin.unload();
    }

    // A floor tile under a wide low roof, and one beside a single wall in the open.
    void build_scene() {
        refhost::Scene &scene = host.scene();
        Item &floor = scene.add_object("Floor", "floor.lwo");
        floor_surface = &scene.add_surface(floor, "Floor");
        refhost::Mesh &mesh = floor.add_layer(0).mesh;
        covered = floor_tile(mesh, -10.0f, 0.0f, "Floor");
        open = floor_tile(mesh, 10.0f, 0.0f, "Floor");

        Item &walls = scene.add_object("Walls", "walls.lwo");
        scene.add_surface(walls, "Walls");
        refhost::Mesh &w = walls.add_layer(0).mesh;
        // The roof: 30 by 40 at height 0.5 over the covered tile.
        w.add_polygon({w.add_point(-30.0f, 0.5f, -20.0f), w.add_point(-30.0f, 0.5f, 20.0f),
                       w.add_point(0.0f, 0.5f, 20.0f),
                       w.add_point(0.0f, 0.5f, -20.0f)},
                      "Walls");
        // The wall: x = 10.6, 3 high and 6 wide, beside the open tile.
        w.add_polygon({w.add_point(10.6f, 0.0f, -3.0f), w.add_point(10.6f, 3.0f, -3.0f),
                       w.add_point(10.6f, 3.0f, 3.0f), w.add_point(10.6f, 0.0f, 3.0f)},
                      "Walls");
        floor_item = &floor;
    }

    const LWVParmFuncs &host_vparms() const { return *interceptor->real_vparms; }

    // Gives dirt_amount a texture with one gradient layer over the occlusion input; keys
    // from 0 at no occlusion to 1 at full occlusion.
    void texture_amount() {
        auto *parm = refhost::from_id(interceptor->parm("dirt_amount"));
        ASSERT_NE(parm, nullptr);
        refhost::Texture *texture = host.component<refhost::VParmSystem>().attach_texture(parm);
        ASSERT_NE(texture, nullptr);
        auto &textures = host.component<refhost::TextureSystem>();
        refhost::TextureLayer *layer = textures.add_layer(texture, TLT_GRAD);
        textures.set_gradient_input(layer, kAmbientOcclusionLow);
        ASSERT_EQ(layer->keys.size(), 2u);
        EXPECT_EQ(layer->keys[0].position, 0.0);
        EXPECT_EQ(layer->keys[1].position, 1.0);
    }

    // Points the amount's gradient layer at an input and a picked item, renders a frame
    // and returns the input's value at each spot, as the plug-in answered the host.
    std::vector<double> input_values(int input, LWItemID item = LWITEM_NULL) {
        auto &textures = host.component<refhost::TextureSystem>();
        if (!layer) {
            auto *parm = refhost::from_id(interceptor->parm("dirt_amount"));
            refhost::Texture *texture = host.component<refhost::VParmSystem>().attach_texture(parm);
            layer = textures.add_layer(texture, TLT_GRAD);
        }
        textures.set_gradient_input(layer, input);
        textures.set_gradient_item(layer, item);
        interceptor->calls.clear();
        render_frame(1, 0.0);
        std::vector<double> values;
        for (const ContextCall &call : interceptor->calls) {
            EXPECT_EQ(call.input, input);
            if (call.what == "evaluate") values.push_back(call.value);
        }
        EXPECT_EQ(values.size(), 2u) << input;
        values.resize(2);
        return values;
    }

    // Shades the covered and the open tile at their centres; returns the diffuse level
    // the shader left at each.
    std::vector<double> shade_tiles(const render::RayCaster &caster) {
        std::vector<double> diffuse;
        for (const Polygon *tile : {covered, open}) {
            refhost::SpotRecord record{};
            LWShaderAccess &access = record.access;
            EXPECT_TRUE(refhost::make_shading_spot(host.scene(), *floor_item, *tile,
                                                   refhost::PolygonSpot{0, 0.0, 0.5}, record));
            render::RayCaster::install_ray_functions(access);
            EXPECT_GT(access.wNorm[1], 0.99);
            caster.run_shaders(floor_surface, access);
            diffuse.push_back(access.diffuse);
        }
        return diffuse;
    }

    // One frame as a renderer shades it: init, newTime, the spots, cleanup.
    std::vector<double> render_frame(LWFrame frame, double time) {
        host.scene().current_time = time;
        render::RayCaster caster(host.scene());
        render::RayCaster::Scope scope(caster);
        EXPECT_EQ(rend_funcs.init(instance, 0), nullptr);
        EXPECT_EQ(rend_funcs.newTime(instance, frame, time), nullptr);
        const std::vector<double> diffuse = shade_tiles(caster);
        rend_funcs.cleanup(instance);
        return diffuse;
    }

    refhost::Host host;
    refhost::PluginFile plugin;
    std::unique_ptr<Interceptor> interceptor;
    LWInstanceFuncs inst_funcs{};
    LWItemFuncs item_funcs{};
    LWRenderFuncs rend_funcs{};
    LWShaderHandler handler{};
    LWInstance instance = nullptr;
    refhost::Surface *floor_surface = nullptr;
    Item *floor_item = nullptr;
    Polygon *covered = nullptr;
    Polygon *open = nullptr;
    refhost::TextureLayer *layer = nullptr;
};

TEST_F(GradientInputs, OcclusionTexturedAmountDarkensCoveredSpotsMore) {
    // Untextured: both spots have geometry within the width and take dirt at amount 1.
    const std::vector<double> plain = render_frame(1, 0.0);
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_LT(plain[0], 1.0);
    EXPECT_LT(plain[1], 1.0);
    EXPECT_TRUE(interceptor->calls.empty());

    texture_amount();
    interceptor->calls.clear();
    const std::vector<double> textured = render_frame(30, 1.0);

    // The host asks for per-time data once at newTime, evaluates the input once per spot
    // with that data, and hands it back at cleanup.
    const auto &calls = interceptor->calls;
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].what, "time");
    EXPECT_EQ(calls[0].time, 1.0);
    EXPECT_EQ(calls[0].frame, 30);
    EXPECT_NE(calls[0].data, nullptr);
    EXPECT_EQ(calls[1].what, "evaluate");
    EXPECT_EQ(calls[2].what, "evaluate");
    EXPECT_EQ(calls[3].what, "cleanup");
    for (const ContextCall &call : calls) {
        EXPECT_EQ(call.row, "Ambient Occlusion (Low)");
        EXPECT_EQ(call.input, kAmbientOcclusionLow);
        EXPECT_EQ(call.data, calls[0].data);
    }

    // Under the roof nearly every ray is blocked; beside the wall far fewer.
    const double covered_occlusion = calls[1].value;
    const double open_occlusion = calls[2].value;
    EXPECT_GT(covered_occlusion, 0.9);
    EXPECT_LE(covered_occlusion, 1.0);
    EXPECT_GT(open_occlusion, 0.05);
    EXPECT_LT(open_occlusion, 0.6);

    // The dirt weight scales with the textured amount: the change from the base diffuse
    // level is the untextured change times the occlusion.
    EXPECT_NEAR(textured[0] - 1.0, covered_occlusion * (plain[0] - 1.0), 1e-12);
    EXPECT_NEAR(textured[1] - 1.0, open_occlusion * (plain[1] - 1.0), 1e-12);
    EXPECT_LT(textured[0], textured[1]);

    // The next frame gets fresh per-time data at its own time.
    interceptor->calls.clear();
    render_frame(60, 2.0);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].what, "time");
    EXPECT_EQ(calls[0].time, 2.0);
    EXPECT_EQ(calls[0].frame, 60);
    EXPECT_EQ(calls[3].what, "cleanup");
    EXPECT_EQ(calls[3].data, calls[0].data);
}

// The inputs read the reference host's own items, lights, shadows and weight maps.
TEST_F(GradientInputs, InputsReadTheScenesItemsLightsAndMaps) {
    constexpr double kHalfPi = 1.5707963267948966;
    refhost::Scene &scene = host.scene();

    // Distance to a picked object, and to the shaded floor (at the origin) without a pick.
    Item &marker = scene.add_object("Marker", "marker.lwo");
    marker.motion.position.set({3.0, 4.0, 12.0});
    std::vector<double> v = input_values(6, refhost::to_id(&marker));
    EXPECT_NEAR(v[0], std::sqrt(13.0 * 13.0 + 16.0 + 144.0), 1e-9);
    EXPECT_NEAR(v[1], std::sqrt(7.0 * 7.0 + 16.0 + 144.0), 1e-9);
    v = input_values(7);
    EXPECT_NEAR(v[0], 10.0, 1e-9);
    EXPECT_NEAR(v[1], 10.0, 1e-9);

    // Axes: the floor faces up; the marker is banked a little.
    v = input_values(16);
    EXPECT_EQ(v[0], -kHalfPi);
    marker.motion.rotation.set({0.0, 0.0, 0.5});
    const refhost::Vec3d right = scene.item_param(marker, LWIP_RIGHT, 0.0);
    const double right_length = std::sqrt(right.x * right.x + right.y * right.y + right.z * right.z);
    ASSERT_GT(std::fabs(right.y), 0.1);
    v = input_values(12, refhost::to_id(&marker));
    EXPECT_NEAR(v[0], -right.y / right_length * kHalfPi, 1e-9);

    // A light straight above: the roof shadows the covered spot from it.
    Item &sun = scene.add_light("Sun", LWLIGHT_DISTANT);
    sun.motion.rotation.set({0.0, kHalfPi, 0.0});  // pitched to point down
    sun.light.color = {1.0, 0.5, 0.0};
    ASSERT_LT(scene.item_param(sun, LWIP_FORWARD, 0.0).y, -0.999);
    v = input_values(24);
    EXPECT_EQ(v[0], 0.0);
    EXPECT_NEAR(v[1], 0.5, 1e-9);  // cosine 1 times the mean colour
    v = input_values(4, refhost::to_id(&sun));
    EXPECT_NEAR(v[0], kHalfPi, 1e-9);  // the incidence input ignores shadows
    // Excluded from the floor, the light adds nothing.
    floor_item->excluded_lights.push_back(&sun);
    v = input_values(24);
    EXPECT_EQ(v[1], 0.0);
    floor_item->excluded_lights.clear();

    // Ambient: no radiosity light reaches the spot, so the scene's ambient colour counts.
    scene.ambient_color = {0.2, 0.4, 0.6};
    scene.ambient_intensity = 0.5;
    v = input_values(23);
    EXPECT_NEAR(v[0], 0.2, 1e-9);
    EXPECT_NEAR(v[1], 0.2, 1e-9);

    // A weight map over the open tile's corners; the spot lies midway between corners 0
    // and 2.
    refhost::Mesh &mesh = floor_item->layer(0)->mesh;
    auto &dirt_map = mesh.weight_maps["dirt"];
    dirt_map[open->vertices[0]] = 0.8f;
    dirt_map[open->vertices[2]] = 0.4f;
    dirt_map[open->vertices[1]] = 5.0f;  // weighs 0 at the spot
    v = input_values(10, static_cast<LWItemID>(scene.weight_map_handle("dirt")));
    EXPECT_EQ(v[0], 0.0);
    EXPECT_NEAR(v[1], 0.6, 1e-6);
}

// Render threads evaluate the occlusion input at once, sharing one per-time record.
TEST_F(GradientInputs, ThreadedShadingSharesOnePerTimeRecord) {
    texture_amount();
    interceptor->calls.clear();
    host.scene().current_time = 0.0;
    render::RayCaster caster(host.scene());
    ASSERT_EQ(rend_funcs.init(instance, 0), nullptr);
    ASSERT_EQ(rend_funcs.newTime(instance, 1, 0.0), nullptr);
    constexpr int kThreads = 2, kRounds = 10;
    std::vector<std::vector<double>> results(kThreads * kRounds);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            render::RayCaster::Scope scope(caster);
            for (int r = 0; r < kRounds; ++r) results[t * kRounds + r] = shade_tiles(caster);
        });
    }
    for (std::thread &thread : threads) thread.join();
    rend_funcs.cleanup(instance);

    const auto &calls = interceptor->calls;
    ASSERT_EQ(calls.size(), 2u + 2u * kThreads * kRounds);
    EXPECT_EQ(calls.front().what, "time");
    EXPECT_EQ(calls.back().what, "cleanup");
    for (size_t i = 1; i + 1 < calls.size(); ++i) {
        EXPECT_EQ(calls[i].what, "evaluate");
        EXPECT_EQ(calls[i].data, calls.front().data);
        EXPECT_GE(calls[i].value, 0.0);
        EXPECT_LE(calls[i].value, 1.0);
    }
    for (const std::vector<double> &diffuse : results) {
        ASSERT_EQ(diffuse.size(), 2u);
        EXPECT_LT(diffuse[0], diffuse[1]);  // the covered tile takes more dirt
    }
}

}  // namespace
