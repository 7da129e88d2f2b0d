// The calls the plug-in makes to the host while it shades a few spots, in order, with their
// arguments and results, against the sequence stored beside this file. A change to the
// shading code that is meant to leave results alone must leave this sequence alone too.
//
// To write the stored sequence anew after a deliberate change of behaviour:
//   ORMEL_WRITE_HOST_CALLS=1 build/release/render_integration_tests --gtest_filter='HostCalls.*'
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "refhost/host.h"
#include "refhost/image_list.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/services.h"
#include "refhost/shader_server.h"
#include "refhost/spot_record.h"
#include "render/ray_caster.h"
#include "render/scene_file.h"
#include "render/shader_setup.h"
#include "tests/support/host_call_recorder.h"

namespace render {
namespace {

using hostcalls::Recorder;

// Small objects, so that the adjacency builds stay short; one surface in each ray mode,
// textured and bumped settings, a smoothing angle, and an object met from two surfaces.
const char *kScene = R"json({
  "camera": {"position": [0, 3, -4], "look_at": [0, 0, 0], "fov": 50},
  "lights": [{"type": "distant", "direction": [0, -1, 0], "intensity": 1.0}],
  "objects": [
    {"name": "Room", "primitives": [
      {"type": "floor", "size": 4, "height": 0, "cells": 2, "surface": "Floor"},
      {"type": "quad", "corner": [-2, 0, 2], "u": [0, 1.5, 0], "v": [4, 0, 0], "surface": "Wall"}]},
    {"name": "Box", "primitives": [{"type": "box", "min": [0.2, 0, -0.4], "max": [0.8, 0.5, 0.2], "surface": "Box"}],
     "rotation": [20, 0, 0]},
    {"name": "Ball", "primitives": [{"type": "sphere", "center": [0, 0.4, 0], "radius": 0.4, "rings": 4, "segments": 6,
                                      "surface": "Ball"}], "position": [-1, 0, 0.5]}
  ],
  "surfaces": [
    {"object": "Room", "name": "Floor", "dirt": {"dirt_width": {"value": 0.6, "texture": [{"type": "noise", "size": [0.5, 0.5, 0.5]}]},
      "use_color": 1, "dirt_color": [0.1, 0.1, 0.1], "sample_count": 3, "sample_itr": 2}},
    {"object": "Room", "name": "Wall", "dirt": {"dirt_width": 0.5, "use_bump": 1, "bump": 0.5, "use_Ks": 1, "single_f": 1,
      "sample_count": 4}},
    {"object": "Box", "name": "Box", "dirt": {"dirt_width": 0.5, "single_f": 1, "sample_count": 3,
      "dirt_Kd": {"value": 0.3, "texture": [{"type": "gradient", "keys": [[0, 1.0], [1, 0.2]]}]}}},
    {"object": "Ball", "name": "Ball", "smoothing_angle": 89, "dirt": {"dirt_width": 0.4, "use_mirror": 1, "sample_count": 4}}
  ],
  "render": {"width": 4, "height": 4, "samples": 1}
})json";

// The spot's ray functions, passed on and recorded.
thread_local double (*t_ray_cast)(const LWDVector, const LWDVector) = nullptr;
thread_local double (*t_ray_shade)(const LWDVector, const LWDVector, LWShaderAccess *) = nullptr;

double record_ray_cast(const LWDVector pos, const LWDVector dir) {
    const double d = t_ray_cast(pos, dir);
    Recorder &rec = Recorder::instance();
    if (rec.on()) rec.note("rayCast(" + hostcalls::three(pos) + ", " + hostcalls::three(dir) + ") -> " + hostcalls::number(d));
    return d;
}

double record_ray_shade(const LWDVector pos, const LWDVector dir, LWShaderAccess *hit) {
    Recorder &rec = Recorder::instance();
    const size_t index = rec.on() ? rec.reserve() : 0;
    const double d = t_ray_shade(pos, dir, hit);
    if (rec.on())
        rec.set(index, "rayShade(" + hostcalls::three(pos) + ", " + hostcalls::three(dir) + ") -> " +
                           hostcalls::number(d) + (d >= 0.0 ? " obj " + rec.label(hit->objID) : ""));
    return d;
}

// The plug-in's evaluate, marked in the sequence, with the spot's ray functions recorded.
void (*g_evaluate)(LWInstance, LWShaderAccess *) = nullptr;

void record_evaluate(LWInstance instance, LWShaderAccess *access) {
    Recorder &rec = Recorder::instance();
    if (rec.on())
        rec.note("evaluate obj " + rec.label(access->objID) + " polygon " + rec.label(access->polygon) + " at " +
                 hostcalls::three(access->wPos));
    const auto saved_cast = t_ray_cast;
    const auto saved_shade = t_ray_shade;
    const auto host_cast = access->rayCast;
    const auto host_shade = access->rayShade;
    t_ray_cast = host_cast;
    t_ray_shade = host_shade;
    access->rayCast = record_ray_cast;
    access->rayShade = record_ray_shade;
    g_evaluate(instance, access);
    access->rayCast = host_cast;
    access->rayShade = host_shade;
    t_ray_cast = saved_cast;
    t_ray_shade = saved_shade;
    if (rec.on())
        rec.note("  -> color " + hostcalls::three(access->color) + " diffuse " + hostcalls::number(access->diffuse) +
                 " specular " + hostcalls::number(access->specular) + " mirror " +
                 hostcalls::number(access->mirror) + " wNorm " + hostcalls::three(access->wNorm) + " bump " +
                 hostcalls::number(access->bumpHeight));
}

LWMeshInfoID (*g_mesh_info)(LWItemID, int) = nullptr;

LWMeshInfoID tapped_mesh_info(LWItemID object, int frozen) {
    LWMeshInfoID mesh = g_mesh_info(object, frozen);
    hostcalls::tap_mesh(mesh);
    return mesh;
}

// Copies of the host's service tables, with every slot the shading pass may call tapped.
struct TappedTables {
    LWItemInfo item;
    LWObjectInfo object;
    LWGlobalPool pool;
    LWSurfaceFuncs surface;
    LWVParmFuncs vparm;
    LWTextureFuncs texture;

    void install(Host &host) {
        item = *static_cast<LWItemInfo *>(host.lookup(LWITEMINFO_GLOBAL, 0));
        HOSTCALLS_TAP(item, LWItemInfo, first);
        HOSTCALLS_TAP(item, LWItemInfo, next);
        HOSTCALLS_TAP(item, LWItemInfo, firstChild);
        HOSTCALLS_TAP(item, LWItemInfo, nextChild);
        HOSTCALLS_TAP(item, LWItemInfo, parent);
        HOSTCALLS_TAP(item, LWItemInfo, type);
        HOSTCALLS_TAP(item, LWItemInfo, name);
        HOSTCALLS_TAP(item, LWItemInfo, param);
        host.provide(LWITEMINFO_GLOBAL, &item);

        object = *static_cast<LWObjectInfo *>(host.lookup(LWOBJECTINFO_GLOBAL, 0));
        g_mesh_info = object.meshInfo;
        object.meshInfo = tapped_mesh_info;
        HOSTCALLS_TAP(object, LWObjectInfo, meshInfo);
        HOSTCALLS_TAP(object, LWObjectInfo, numPoints);
        HOSTCALLS_TAP(object, LWObjectInfo, numPolygons);
        HOSTCALLS_TAP(object, LWObjectInfo, flags);
        host.provide(LWOBJECTINFO_GLOBAL, &object);

        pool = *static_cast<LWGlobalPool *>(host.lookup(LWGLOBALPOOL_RENDER_GLOBAL, 0));
        HOSTCALLS_TAP(pool, LWGlobalPool, find);
        HOSTCALLS_TAP(pool, LWGlobalPool, create);
        host.provide(LWGLOBALPOOL_RENDER_GLOBAL, &pool);

        surface = *static_cast<LWSurfaceFuncs *>(host.lookup(LWSURFACEFUNCS_GLOBAL, 0));
        HOSTCALLS_TAP(surface, LWSurfaceFuncs, getInt);
        HOSTCALLS_TAP(surface, LWSurfaceFuncs, getFlt);
        HOSTCALLS_TAP(surface, LWSurfaceFuncs, getTex);
        host.provide(LWSURFACEFUNCS_GLOBAL, &surface);

        vparm = *static_cast<LWVParmFuncs *>(host.lookup(LWVPARMFUNCS_GLOBAL, 0));
        HOSTCALLS_TAP(vparm, LWVParmFuncs, getVal);
        HOSTCALLS_TAP(vparm, LWVParmFuncs, getTex);
        HOSTCALLS_TAP(vparm, LWVParmFuncs, initMP);
        HOSTCALLS_TAP(vparm, LWVParmFuncs, getState);
        host.provide(LWVPARMFUNCS_GLOBAL, &vparm);

        texture = *static_cast<LWTextureFuncs *>(host.lookup(LWTEXTUREFUNCS_GLOBAL, 0));
        HOSTCALLS_TAP(texture, LWTextureFuncs, evaluate);
        host.provide(LWTEXTUREFUNCS_GLOBAL, &texture);
    }
};

std::string stored_path() {
    std::string here = __FILE__;
    return here.substr(0, here.find_last_of("/\\") + 1) + "data/host_calls.txt";
}

std::vector<std::string> read_lines(const std::string &path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class HostCalls : public ::testing::Test {
protected:
    void SetUp() override {
        install_instance_services(host);
        install_render_services(host);
        std::string error;
        ASSERT_TRUE(build_scene_from_json(nlohmann::json::parse(kScene), ".", host.scene(), desc, &error)) << error;
        tables.install(host);
        ASSERT_TRUE(plugin.load(ORMEL_PLUGIN_PATH)) << plugin.error();
        ASSERT_TRUE(activate_shader(host, plugin, "Ormel_Dirt", server, &error)) << error;
        ASSERT_TRUE(apply_shaders(host, server, desc, {}, &error)) << error;
        applied = true;
        for (const auto &surface : host.scene().surfaces()) {
            for (ShaderBinding &binding : surface->shaders) {
                handler = *binding.handler;
                g_evaluate = handler.evaluate;
                binding.handler = &handler;
            }
        }
        handler.evaluate = record_evaluate;
    }

    void TearDown() override {
        if (!applied) return;
        // The bindings go back to the plug-in's handler, whose instances release frees.
        for (const auto &surface : host.scene().surfaces())
            for (ShaderBinding &binding : surface->shaders) binding.handler = &server.handler;
        release_shaders(host, server);
    }

    void each_instance(const std::function<void(LWInstance)> &f) {
        for (const auto &surface : host.scene().surfaces())
            for (const ShaderBinding &binding : surface->shaders) f(binding.instance);
    }

    Host host;
    SceneDescription desc;
    TappedTables tables;
    PluginFile plugin;
    ShaderServer server;
    LWShaderHandler handler{};
    bool applied = false;
};

TEST_F(HostCalls, ShadingAFewSpotsMakesTheStoredSequenceOfHostCalls) {
    Recorder &rec = Recorder::instance();
    RayCaster caster(host.scene());
    RayCaster::Scope scope(caster);
    rec.start();
    each_instance([&](LWInstance i) { ASSERT_EQ(handler.rend->init(i, LWINIT_RENDER), nullptr); });
    each_instance([&](LWInstance i) { ASSERT_EQ(handler.rend->newTime(i, 0, 0.0), nullptr); });

    // Spots on the floor near the wall and the box, on the wall, the box and the ball; two
    // on the ball's polygons after its adjacency is built, and one again on the floor.
    struct Shot {
        double from[3], dir[3];
    };
    const Shot shots[] = {
        {{0.1, 3.0, 1.7}, {0.0, -1.0, 0.0}},   {{0.0, 0.7, 1.0}, {0.0, 0.0, 1.0}},
        {{0.5, 2.0, -0.1}, {0.0, -1.0, 0.0}},  {{-1.0, 2.0, 0.5}, {0.0, -1.0, 0.0}},
        {{-1.0, 0.4, -1.0}, {0.0, 0.0, 1.0}},  {{-1.6, 0.3, 0.5}, {1.0, 0.0, 0.0}},
        {{0.9, 3.0, -0.3}, {0.0, -1.0, 0.0}},  {{-1.7, 3.0, -1.5}, {0.0, -1.0, 0.0}},
    };
    for (const Shot &s : shots) {
        rec.note("spot");
        SpotRecord spot{};
        RayCaster::ray_shade(s.from, s.dir, &spot.access);
    }
    each_instance([&](LWInstance i) { handler.rend->cleanup(i); });
    rec.stop();

    const std::vector<std::string> &seen = rec.lines();
    if (const char *write = std::getenv("ORMEL_WRITE_HOST_CALLS"); write && *write == '1') {
        std::ofstream out(stored_path());
        for (const std::string &line : seen) out << line << '\n';
        GTEST_SKIP() << "wrote " << seen.size() << " lines to " << stored_path();
    }
    const std::vector<std::string> stored = read_lines(stored_path());
    ASSERT_FALSE(stored.empty()) << "no stored sequence at " << stored_path();
    // The first difference, with its place, says more than a whole listing.
    for (size_t i = 0; i < std::min(seen.size(), stored.size()); ++i)
        ASSERT_EQ(seen[i], stored[i]) << "host call " << i + 1 << " differs";
    EXPECT_EQ(seen.size(), stored.size());
    // The sequence covers what it claims to: both ray modes and an adjacency build.
    auto count = [&](const char *prefix) {
        return std::count_if(seen.begin(), seen.end(), [&](const std::string &l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_GT(count("rayCast("), 0);
    EXPECT_GT(count("rayShade("), 0);
    EXPECT_GT(count("scanPolys("), 1);
    EXPECT_GT(count("evaluate obj"), 6);
}

}  // namespace
}  // namespace render
