// The calls the plug-in makes to the host while it shades a few spots, in order, with their
// arguments and results, against the sequence stored beside this file. A change to the
// shading code that is meant to leave results alone must leave this sequence alone too:
// the comparison is strict, line by line.
//
// One change of the renderer may change it: a ray that meets the edge two triangles share
// exactly may be reported on either of them (both are right; the order in which the
// acceleration structure meets them decides), and the spot is then shaded on the other
// polygon. The stored sequence was last written when the caster's structure became one
// scene per object, which changed such a tie on the ball. To write it anew after a
// deliberate change, run data/regenerate_host_calls.sh once: it first checks that every spot
// whose calls changed begins to differ at a ray (the spot's own, or one a shader cast) whose
// hit lies within the caster's self-hit tolerance of an edge two polygons share, that its
// calls differ only from there to the spot's end, and that nothing else changed (the test
// ChangesFromTheStoredSequenceAreEdgeTies below, run with ORMEL_HOST_CALLS_BEFORE set); only
// then does it write the file (ORMEL_WRITE_HOST_CALLS=1).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
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
#include "refhost/vec3d_math.h"
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

    std::vector<std::string> record_sequence(RayCaster &caster);
};

// Spots on the floor near the wall and the box, on the wall, the box and the ball; two on
// the ball's polygons after its adjacency is built, and one again on the floor.
struct Shot {
    double from[3], dir[3];
};
const Shot kShots[] = {
    {{0.1, 3.0, 1.7}, {0.0, -1.0, 0.0}},   {{0.0, 0.7, 1.0}, {0.0, 0.0, 1.0}},
    {{0.5, 2.0, -0.1}, {0.0, -1.0, 0.0}},  {{-1.0, 2.0, 0.5}, {0.0, -1.0, 0.0}},
    {{-1.0, 0.4, -1.0}, {0.0, 0.0, 1.0}},  {{-1.6, 0.3, 0.5}, {1.0, 0.0, 0.0}},
    {{0.9, 3.0, -0.3}, {0.0, -1.0, 0.0}},  {{-1.7, 3.0, -1.5}, {0.0, -1.0, 0.0}},
};

std::vector<std::string> HostCalls::record_sequence(RayCaster &caster) {
    Recorder &rec = Recorder::instance();
    RayCaster::Scope scope(caster);
    rec.start();
    each_instance([&](LWInstance i) { EXPECT_EQ(handler.rend->init(i, LWINIT_RENDER), nullptr); });
    each_instance([&](LWInstance i) { EXPECT_EQ(handler.rend->newTime(i, 0, 0.0), nullptr); });
    for (const Shot &s : kShots) {
        rec.note("spot");
        SpotRecord spot{};
        RayCaster::ray_shade(s.from, s.dir, &spot.access);
    }
    each_instance([&](LWInstance i) { handler.rend->cleanup(i); });
    rec.stop();
    return rec.lines();
}

TEST_F(HostCalls, ShadingAFewSpotsMakesTheStoredSequenceOfHostCalls) {
    RayCaster caster(host.scene());
    const std::vector<std::string> seen = record_sequence(caster);
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

// A ray call's origin and direction: "rayCast((x,y,z), (x,y,z)) -> ...", rayShade alike.
bool parse_ray(const std::string &line, Vec3d &from, Vec3d &dir) {
    const size_t open = line.find('(');
    return open != std::string::npos && std::sscanf(line.c_str() + open, "((%lf,%lf,%lf), (%lf,%lf,%lf))", &from.x,
                                                    &from.y, &from.z, &dir.x, &dir.y, &dir.z) == 6;
}

// How far p lies from the nearest edge that two polygons of the object share.
double distance_to_shared_edge(const ObjectGeometry &g, const Vec3d &p) {
    using vmath::add, vmath::dot, vmath::length, vmath::mul, vmath::sub;
    std::map<std::pair<const Point *, const Point *>, int> edges;
    for (const Polygon *polygon : g.polygons) {
        const auto &v = polygon->vertices;
        if (v.size() < 3) continue;
        for (size_t k = 0; k < v.size(); ++k) ++edges[std::minmax(v[k], v[(k + 1) % v.size()])];
    }
    double best = std::numeric_limits<double>::infinity();
    for (const auto &[edge, polygons] : edges) {
        if (polygons < 2) continue;
        const Vec3d a = g.position(edge.first), ab = sub(g.position(edge.second), a);
        const double t = std::clamp(dot(sub(p, a), ab) / dot(ab, ab), 0.0, 1.0);
        best = std::min(best, length(sub(p, add(a, mul(t, ab)))));
    }
    return best;
}

// The calls split at each spot's marker; the first part is what comes before any spot.
std::vector<std::vector<std::string>> by_spot(const std::vector<std::string> &lines) {
    std::vector<std::vector<std::string>> spots(1);
    for (const std::string &line : lines) {
        if (line == "spot") spots.emplace_back();
        spots.back().push_back(line);
    }
    return spots;
}

bool starts(const std::string &line, const char *prefix) { return line.rfind(prefix, 0) == 0; }

// Run by data/regenerate_host_calls.sh before it writes the stored sequence anew: the new
// sequence against the one stored before (ORMEL_HOST_CALLS_BEFORE). See the header.
TEST_F(HostCalls, ChangesFromTheStoredSequenceAreEdgeTies) {
    const char *before_path = std::getenv("ORMEL_HOST_CALLS_BEFORE");
    if (!before_path || !*before_path) GTEST_SKIP() << "run by tests/render/data/regenerate_host_calls.sh";
    const std::vector<std::string> before = read_lines(before_path);
    ASSERT_FALSE(before.empty()) << "no sequence at " << before_path;
    RayCaster caster(host.scene());
    const auto old_spots = by_spot(before), new_spots = by_spot(record_sequence(caster));
    ASSERT_EQ(old_spots.size(), new_spots.size()) << "the number of spots changed";
    EXPECT_EQ(old_spots[0], new_spots[0]) << "the calls before the first spot changed";

    int ties = 0;
    for (size_t s = 1; s < new_spots.size(); ++s) {
        const std::vector<std::string> &was = old_spots[s], &now = new_spots[s];
        if (was == now) continue;
        size_t i = 0;
        while (i < std::min(was.size(), now.size()) && was[i] == now[i]) ++i;
        ASSERT_LT(i, std::min(was.size(), now.size())) << "spot " << s << " gained or lost calls at its end";
        // The ray whose result differs: one a shader cast, with the same arguments, or the
        // one that found the spot being shaded (a shader's rayShade or the spot's own).
        const std::string &line = now[i];
        Vec3d from, dir;
        bool ray = false;
        if (starts(line, "rayCast(") || starts(line, "rayShade(")) {
            ray = line.substr(0, line.find(" -> ")) == was[i].substr(0, was[i].find(" -> ")) &&
                  parse_ray(line, from, dir);
        } else if (starts(line, "evaluate obj") && starts(now[i - 1], "rayShade(")) {
            ray = parse_ray(now[i - 1], from, dir);
        } else if (starts(line, "evaluate obj") && i == 1) {
            from = vmath::from(kShots[s - 1].from);
            dir = vmath::from(kShots[s - 1].dir);
            ray = true;
        }
        ASSERT_TRUE(ray) << "spot " << s << ", call " << i + 1 << " differs, not as a ray's result:\n  now " << line
                         << "\n  was " << was[i];
        RayCaster::Hit hit;
        ASSERT_TRUE(caster.intersect(from, dir, std::numeric_limits<double>::infinity(), hit)) << line;
        EXPECT_LE(distance_to_shared_edge(*hit.geometry, hit.position), caster.self_hit_tolerance())
            << "spot " << s << ": the ray that changed meets no shared edge: " << line;
        ++ties;
    }
    if (!HasFailure()) std::printf("%d spot(s) of %zu changed, each at a ray meeting a shared edge\n", ties, new_spots.size() - 1);
}

}  // namespace
}  // namespace render
