// Fake host tables for the shading tests: meshes, the scene's objects, render memory,
// variant parameters, textures and ray functions, all recording what the module asks.
// Host callbacks carry no context, so the fakes work on one process-wide FakeWorld.
#ifndef ORMEL_TESTS_SUPPORT_SHADING_FAKES_H
#define ORMEL_TESTS_SUPPORT_SHADING_FAKES_H

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/vec.h"
#include "host/lwsdk.h"
#include "instance/dirt_instance.h"
#include "module/globals.h"
#include "module/module_state.h"
#include "params/services.h"

namespace ormel {
namespace fake {

inline LWPntID point_id(int index) {
    return reinterpret_cast<LWPntID>(static_cast<uintptr_t>(index + 1));
}
inline LWPolID polygon_id(int index) {
    return reinterpret_cast<LWPolID>(static_cast<uintptr_t>(index + 1));
}
inline int index_of(const void *id) { return static_cast<int>(reinterpret_cast<uintptr_t>(id)) - 1; }
inline LWItemID item_id(int n) { return reinterpret_cast<LWItemID>(static_cast<uintptr_t>(0x1000 + n)); }

// One object's mesh: points with base and deformed positions, polygons as point indices.
struct Mesh {
    std::vector<std::array<float, 3>> base;
    std::vector<std::array<float, 3>> other;
    std::vector<std::vector<int>> polygons;
    LWMeshInfo record{};
    std::atomic<int> scans{0};
    std::atomic<int> destroyed{0};

    Mesh() {
        record.priv = this;
        record.destroy = [](LWMeshInfoID m) { self(m).destroyed++; };
        record.scanPolys = [](LWMeshInfoID m, LWPolScanFunc *func, void *data) -> size_t {
            Mesh &mesh = self(m);
            mesh.scans++;
            for (size_t i = 0; i < mesh.polygons.size(); ++i) {
                size_t r = func(data, polygon_id(static_cast<int>(i)));
                if (r) return r;
            }
            return 0;
        };
        record.polSize = [](LWMeshInfoID m, LWPolID p) {
            return static_cast<int>(self(m).polygons.at(index_of(p)).size());
        };
        record.polVertex = [](LWMeshInfoID m, LWPolID p, int i) {
            return point_id(self(m).polygons.at(index_of(p)).at(static_cast<size_t>(i)));
        };
        record.pntBasePos = [](LWMeshInfoID m, LWPntID pt, LWFVector pos) {
            const auto &p = self(m).base.at(index_of(pt));
            pos[0] = p[0], pos[1] = p[1], pos[2] = p[2];
        };
        record.pntOtherPos = [](LWMeshInfoID m, LWPntID pt, LWFVector pos) {
            const auto &p = self(m).other.at(index_of(pt));
            pos[0] = p[0], pos[1] = p[1], pos[2] = p[2];
        };
    }
    Mesh(const Mesh &) = delete;
    Mesh &operator=(const Mesh &) = delete;

    static Mesh &self(LWMeshInfoID m) { return *static_cast<Mesh *>(m->priv); }

    // Adds a point at the same base and deformed position; returns its index.
    int point(float x, float y, float z) {
        base.push_back({x, y, z});
        other.push_back({x, y, z});
        return static_cast<int>(base.size()) - 1;
    }
    int polygon(std::vector<int> points) {
        polygons.push_back(std::move(points));
        return static_cast<int>(polygons.size()) - 1;
    }
};

// A variant parameter: its value, its optional texture, and the reads made of it.
struct Texture {
    double value[3] = {0.0, 0.0, 0.0};
    double bump_height = 0.0;  // written into the spot record when evaluated
    bool writes_bump_height = false;
};

struct ParamRead {
    const void *param;
    double time;
    bool with_spot;
    double wNorm[3];
    double bumpHeight;
};

struct Param {
    double value[3] = {0.0, 0.0, 0.0};
    Texture *texture = nullptr;
    LWVParmID id() { return reinterpret_cast<LWVParmID>(this); }
};

struct Ray {
    double origin[3];
    double direction[3];
    bool shade;
};

// Everything the fake host serves.
struct World {
    std::vector<LWItemID> objects;
    std::map<LWItemID, Mesh *> meshes;
    std::atomic<int> mesh_requests{0};
    bool withhold_meshes = false;
    // Calls of the object-information slots beside meshInfo, which answer values that
    // would crash a caller taking them for a mesh record.
    std::atomic<int> other_object_queries{0};

    std::mutex mutex;
    std::map<std::string, std::vector<int32_t>, std::less<>> chunks;  // render memory, 4-byte aligned
    std::vector<std::string> chunk_finds;
    std::vector<std::string> chunk_creates;
    bool fail_chunk_create = false;

    double smoothing_angle = 0.0;
    bool has_smoothing_angle = true;

    bool record = true;
    std::vector<ParamRead> reads;
    std::vector<const Texture *> texture_evaluations;
    std::vector<Ray> rays;
    std::atomic<int> init_mp{0};
    // Answers a ray: distance and, for rayShade, the object hit.
    std::function<double(const double *, const double *, LWItemID *)> trace;

    LWItemInfo item_info{};
    LWObjectInfo object_info{};
    LWGlobalPool pool{};
    LWSurfaceFuncs surface{};
    LWVParmFuncs vparm{};
    LWTextureFuncs texture{};
    char dummy[8] = {};
};

// The world the fake callbacks serve; set before any module call, cleared after.
inline World *&current_world() {
    static World *w = nullptr;
    return w;
}

inline World &world() { return *current_world(); }

inline double fake_ray_cast(const LWDVector position, const LWDVector direction) {
    World &w = world();
    if (w.record) {
        std::lock_guard<std::mutex> lock(w.mutex);
        w.rays.push_back({{position[0], position[1], position[2]},
                          {direction[0], direction[1], direction[2]}, false});
    }
    LWItemID hit = nullptr;
    return w.trace ? w.trace(position, direction, &hit) : -1.0;
}

inline double fake_ray_shade(const LWDVector position, const LWDVector direction,
                             LWShaderAccess *access) {
    World &w = world();
    if (w.record) {
        std::lock_guard<std::mutex> lock(w.mutex);
        w.rays.push_back({{position[0], position[1], position[2]},
                          {direction[0], direction[1], direction[2]}, true});
    }
    LWItemID hit = nullptr;
    double d = w.trace ? w.trace(position, direction, &hit) : -1.0;
    if (d >= 0.0) {
        // A hit fills in the whole of the host's record: 912 bytes in the newest hosts.
        std::memset(static_cast<void *>(access), 0, 912);
        access->objID = hit;
    }
    return d;
}

// Installs a fresh world as the module's host: the eight activation globals, the parameter
// library's tables; tears everything down again on destruction.
class Installed {
public:
    Installed() : world_(new World) {
        current_world() = world_.get();
        World &w = *world_;
        w.item_info.first = [](LWItemType type, LWItemID) -> LWItemID {
            World &ww = world();
            return type == LWI_OBJECT && !ww.objects.empty() ? ww.objects.front() : nullptr;
        };
        w.item_info.next = [](LWItemID item) -> LWItemID {
            World &ww = world();
            for (size_t i = 0; i + 1 < ww.objects.size(); ++i)
                if (ww.objects[i] == item) return ww.objects[i + 1];
            return nullptr;
        };
        w.object_info.meshInfo = [](LWItemID obj, int) -> LWMeshInfo * {
            World &ww = world();
            ww.mesh_requests++;
            auto found = ww.meshes.find(obj);
            if (ww.withhold_meshes || found == ww.meshes.end()) return nullptr;
            return &found->second->record;
        };
        w.object_info.shadowOpts = [](LWItemID) -> unsigned int {
            world().other_object_queries++;
            return LWOSHAD_SELF | LWOSHAD_CAST | LWOSHAD_RECEIVE;
        };
        w.object_info.dissolve = [](LWItemID, LWTime) {
            world().other_object_queries++;
            return 0.5;
        };
        w.object_info.flags = [](LWItemID) -> unsigned int {
            world().other_object_queries++;
            return 0x40u;
        };
        w.pool.find = [](const char *name) -> LWMemChunk {
            World &ww = world();
            std::lock_guard<std::mutex> lock(ww.mutex);
            if (ww.record) ww.chunk_finds.push_back(name);
            auto found = ww.chunks.find(name);
            return found == ww.chunks.end() ? nullptr : found->second.data();
        };
        w.pool.create = [](const char *name, int size) -> LWMemChunk {
            World &ww = world();
            std::lock_guard<std::mutex> lock(ww.mutex);
            ww.chunk_creates.push_back(name);
            if (ww.fail_chunk_create) return nullptr;
            // Filled with a pattern: the module must zero a chunk it creates.
            auto &chunk = ww.chunks[name];
            chunk.assign(static_cast<size_t>(size + 3) / 4, 0x5a5a5a5a);
            return chunk.data();
        };
        w.surface.getFlt = [](LWSurfaceID, const char *channel) -> double * {
            World &ww = world();
            if (std::strcmp(channel, "SmoothingAngle") != 0 || !ww.has_smoothing_angle) return nullptr;
            return &ww.smoothing_angle;
        };
        w.vparm.getVal = [](LWVParmID id, LWTime time, LWMicropol *mp, double *out) -> double {
            World &ww = world();
            Param &p = *reinterpret_cast<Param *>(id);
            if (ww.record) {
                std::lock_guard<std::mutex> lock(ww.mutex);
                ParamRead r{&p, time, mp != nullptr, {0, 0, 0}, 0.0};
                if (mp) {
                    std::memcpy(r.wNorm, mp->wNorm, sizeof r.wNorm);
                    r.bumpHeight = mp->bumpHeight;
                }
                ww.reads.push_back(r);
            }
            out[0] = p.value[0], out[1] = p.value[1], out[2] = p.value[2];
            return p.value[0];
        };
        w.vparm.getTex = [](LWVParmID id) -> LWTextureID {
            return reinterpret_cast<LWTextureID>(reinterpret_cast<Param *>(id)->texture);
        };
        // Enough for a parameter object to be made and destroyed; tests then point its
        // vparm at a fake Param.
        w.vparm.create = [](int, int) -> LWVParmID { return nullptr; };
        w.vparm.setup = [](LWVParmID, const char *, LWChanGroupID, LWTxtrContextID, LWVP_EventFunc *,
                           const char *, void *) {};
        w.vparm.setVal = [](LWVParmID, double *) { return 0; };
        w.vparm.destroy = [](LWVParmID) {};
        w.vparm.initMP = [](LWMicropol *mp) {
            world().init_mp++;
            mp->txVal = 0.25;
            // Hosts since 8.2 attach a corner record of their own.
            static LWVertexIndexes corners{};
            mp->VertexIndexes = &corners;
        };
        w.texture.evaluate = [](LWTextureID id, LWMicropol *mp, double *rv) -> double {
            World &ww = world();
            const Texture &t = *reinterpret_cast<const Texture *>(id);
            if (ww.record) {
                std::lock_guard<std::mutex> lock(ww.mutex);
                ww.texture_evaluations.push_back(&t);
            }
            rv[0] = t.value[0], rv[1] = t.value[1], rv[2] = t.value[2];
            if (t.writes_bump_height) mp->bumpHeight = t.bump_height;
            return t.value[0];
        };

        ShaderGlobals &g = shader_globals;
        g.item_info = &w.item_info;
        g.object_info = &w.object_info;
        g.render_memory = &w.pool;
        g.surface_funcs = &w.surface;
        g.light_info = reinterpret_cast<LWLightInfo *>(w.dummy);
        g.scene_info = reinterpret_cast<LWSceneInfo *>(w.dummy);
        g.image_list = reinterpret_cast<LWImageList *>(w.dummy);
        g.backdrop_info = reinterpret_cast<LWBackdropInfo *>(w.dummy);
        param_services.vparm = &w.vparm;
        param_services.texture = &w.texture;
        host_services.object_info = &w.object_info;
        host_services.vparm = &w.vparm;
        host_services.texture = &w.texture;
        host_services.item_info = &w.item_info;
    }
    ~Installed() {
        {
            CriticalSectionGuard guard(module_state.normal_cache_lock);
            normal_cache_reset();
        }
        shader_globals = ShaderGlobals();
        reset_param_library_services();
        current_world() = nullptr;
    }
    Installed(const Installed &) = delete;
    Installed &operator=(const Installed &) = delete;

    World &operator*() { return *world_; }
    World *operator->() { return world_.get(); }

    // Adds an object with its mesh to the scene.
    void add_object(LWItemID id, Mesh *mesh) {
        world_->objects.push_back(id);
        if (mesh) world_->meshes[id] = mesh;
    }

private:
    std::unique_ptr<World> world_;
};

// A spot record with an identity transform, on the given polygon of an object.
inline LWShaderAccess make_spot(LWItemID obj, LWPolID polygon, Vec3 wPos, Vec3 normal) {
    LWShaderAccess a;
    std::memset(&a, 0, sizeof a);
    wPos.store(a.oPos);
    wPos.store(a.wPos);
    normal.store(a.gNorm);
    normal.store(a.wNorm);
    normal.store(a.wNorm0);
    for (int k = 0; k < 9; ++k) a.oXfrm[k] = a.wXfrm[k] = (k % 4 == 0) ? 1.0 : 0.0;
    a.objID = obj;
    a.polygon = polygon;
    a.rayCast = fake_ray_cast;
    a.rayShade = fake_ray_shade;
    a.diffuse = 0.8;
    a.color[0] = 0.9, a.color[1] = 0.7, a.color[2] = 0.1;
    a.specular = 0.3;
    a.mirror = 0.2;
    a.bumpHeight = 0.4;
    return a;
}

// A shader instance with the defaults of a new one, whose eight parameters read the given
// fake parameters. Declare it after the Installed host that serves it.
struct TestInstance {
    fake::Param width, falloff, amount, color, Kd, Ks, mirror, bump;
    DirtInstance inst{};
    std::unique_ptr<PluginDataParam> owned[8];

    TestInstance() {
        width.value[0] = width.value[1] = width.value[2] = 0.05;
        falloff.value[0] = falloff.value[1] = falloff.value[2] = 0.5;
        amount.value[0] = amount.value[1] = amount.value[2] = 1.0;
        color.value[0] = color.value[1] = color.value[2] = 0.5;
        Kd.value[0] = Kd.value[1] = Kd.value[2] = 0.5;
        bump.value[0] = bump.value[1] = bump.value[2] = 1.0;
        Param *params[8] = {&width, &falloff, &amount, &color, &Kd, &Ks, &mirror, &bump};
        PluginDataParam **slots[8] = {&inst.dirt_width, &inst.dirt_falloff, &inst.dirt_amount,
                                      &inst.dirt_color,  &inst.dirt_Kd,      &inst.dirt_Ks,
                                      &inst.dirt_mirror, &inst.dirt_bump};
        const char *names[8] = {"dirt_width", "dirt_falloff", "dirt_amount", "dirt_color",
                                "dirt_diffuse", "dirt_specular", "dirt_mirror", "dirt_bump"};
        for (int i = 0; i < 8; ++i) {
            owned[i].reset(new PluginDataParam(names[i], LWVP_FLOAT, LWVPDT_NOTXTR, nullptr,
                                               "Ormel_Dirt", inst.surface));
            owned[i]->vparm = params[i]->id();
            *slots[i] = owned[i].get();
        }
        inst.sample_theta = 1.0471975511965976;
        inst.sample_jitter = 0.3490658503988659;
        inst.sample_count = 6;
        inst.sample_itr = 1;
        inst.sample_scale = 0.1;
        inst.use_Kd = 1;
        inst.surface = reinterpret_cast<LWSurfaceID>(0x5eed);
    }
    TestInstance(const TestInstance &) = delete;
    TestInstance &operator=(const TestInstance &) = delete;
    LWInstance handle() { return &inst; }
};

}  // namespace fake
}  // namespace ormel

#endif
