// The fake host services of fake_param_host.h (no tests of its own).
#include "tests/support/fake_param_host.h"

#include <cstring>
#include <new>

#include "module/globals.h"
#include "module/module_state.h"
#include "panel/options_panel.h"
#include "params/services.h"

namespace ormel {
namespace fake {

namespace {

ParamHost *current_host = nullptr;

ParamHost &H() { return *current_host; }

// ---- Variant parameters.

LWVParmID vp_create(int env_type, int tex_type) {
    H().log.push_back("create");
    if (H().vparm_creates_before_failure == 0) throw std::bad_alloc();
    if (H().vparm_creates_before_failure > 0) --H().vparm_creates_before_failure;
    auto v = std::make_unique<VParm>();
    v->env_type = env_type;
    v->tex_type = tex_type;
    H().vparms.push_back(std::move(v));
    return reinterpret_cast<LWVParmID>(H().vparms.back().get());
}

void vp_destroy(LWVParmID id) {
    H().log.push_back("destroy");
    ParamHost::vparm(id)->destroyed = true;
}

void vp_setup(LWVParmID id, const char *channel, LWChanGroupID group, LWTxtrContextID context,
              LWVP_EventFunc *event, const char *plugin, void *user) {
    H().log.push_back("setup");
    VParm *v = ParamHost::vparm(id);
    v->set_up = true;
    v->channel = channel ? channel : "";
    v->group = group;
    v->context = context;
    v->event = event;
    v->plugin = plugin ? plugin : "";
    v->user_data = user;
}

LWError vp_copy(LWVParmID to, LWVParmID from) {
    H().log.push_back("copy");
    VParm *dst = ParamHost::vparm(to);
    VParm *src = ParamHost::vparm(from);
    H().copies.emplace_back(dst, src);
    dst->value = src->value;
    dst->envelopes = src->envelopes;
    if (src->texture) H().give_texture(to)->content = src->texture->content;
    return nullptr;
}

double vp_get_val(LWVParmID id, LWTime, LWMicropol *, double *result) {
    const VParm *v = ParamHost::vparm(id);
    for (int i = 0; i < 3; ++i) result[i] = v->value[i];
    return result[0];
}

int vp_set_val(LWVParmID id, double *value) {
    H().log.push_back("setVal");
    VParm *v = ParamHost::vparm(id);
    for (int i = 0; i < 3; ++i) v->value[i] = value[i];
    return 1;
}

int vp_get_state(LWVParmID id) {
    const VParm *v = ParamHost::vparm(id);
    return (v->envelopes[0] ? LWVPSF_ENV : 0) | (v->texture ? LWVPSF_TEX : 0);
}

LWTextureID vp_get_tex(LWVParmID id) {
    return reinterpret_cast<LWTextureID>(ParamHost::vparm(id)->texture);
}

// ---- Channel groups.

LWChanGroupID env_create_group(LWChanGroupID parent, const char *name) {
    H().log.push_back("createGroup");
    H().groups.push_back(std::make_unique<Group>(Group{parent, name ? name : ""}));
    return reinterpret_cast<LWChanGroupID>(H().groups.back().get());
}

// ---- Textures and the texture context.

LWTxtrContextID tx_context_create(LWTxtrParamFuncs) {
    H().log.push_back("contextCreate");
    ++H().contexts_created;
    return reinterpret_cast<LWTxtrContextID>(static_cast<uintptr_t>(0xC0DE0000u) +
                                             static_cast<uintptr_t>(H().contexts_created));
}

void tx_context_destroy(LWTxtrContextID) { H().log.push_back("contextDestroy"); }

void tx_context_add_param(LWTxtrContextID, LWTxtrParamDesc desc) {
    H().context_params.push_back(desc);
}

void tx_newtime(LWTextureID id, LWTime time, LWFrame frame) {
    H().log.push_back("newtime");
    ParamHost::texture(id)->new_times.emplace_back(time, frame);
}

void tx_cleanup(LWTextureID id) {
    H().log.push_back("cleanup");
    ++ParamHost::texture(id)->cleanups;
}

void tx_set_env_group(LWTextureID id, LWChanGroupID group) {
    H().log.push_back("setEnvGroup");
    ParamHost::texture(id)->env_group = group;
}

// ---- Surfaces.

const char *srf_name(LWSurfaceID id) {
    const auto *s = reinterpret_cast<const SurfaceRecord *>(id);
    return s->name.empty() ? nullptr : s->name.c_str();
}

LWChanGroupID srf_chan_grp(LWSurfaceID id) {
    return reinterpret_cast<SurfaceRecord *>(id)->group;
}

LWSurfaceID *srf_by_object(const char *name) {
    for (const SceneObject &obj : H().objects) {
        if (obj.filename && std::strcmp(obj.filename, name) == 0) {
            static std::vector<LWSurfaceID> list;
            list = obj.surfaces;
            list.push_back(nullptr);
            return list.data();
        }
    }
    return nullptr;
}

// ---- Scene objects and their layer meshes.

struct MeshRecord {
    LWMeshInfo info;
    const Layer *layer;
};

const MeshPolygon *polygon_of(LWPolID id) { return reinterpret_cast<const MeshPolygon *>(id); }

void mesh_destroy(LWMeshInfoID mesh) {
    ++H().meshes_released;
    delete reinterpret_cast<MeshRecord *>(mesh);
}

size_t mesh_scan_polys(LWMeshInfoID mesh, LWPolScanFunc *func, void *data) {
    const Layer *layer = reinterpret_cast<MeshRecord *>(mesh)->layer;
    for (const MeshPolygon &p : layer->polygons) {
        size_t r = func(data, reinterpret_cast<LWPolID>(const_cast<MeshPolygon *>(&p)));
        if (r) return r;
    }
    return 0;
}

void mesh_pnt_base_pos(LWMeshInfoID, LWPntID point, LWFVector pos) {
    const auto *p = reinterpret_cast<const std::array<float, 3> *>(point);
    for (int i = 0; i < 3; ++i) pos[i] = (*p)[i];
}

int mesh_pol_size(LWMeshInfoID, LWPolID polygon) {
    return static_cast<int>(polygon_of(polygon)->vertices.size());
}

LWPntID mesh_pol_vertex(LWMeshInfoID, LWPolID polygon, int index) {
    const auto &v = polygon_of(polygon)->vertices[static_cast<size_t>(index)];
    return reinterpret_cast<LWPntID>(const_cast<std::array<float, 3> *>(&v));
}

const char *mesh_pol_tag(LWMeshInfoID, LWPolID polygon, LWID type) {
    return type == LWPTAG_SURF ? polygon_of(polygon)->tag : nullptr;
}

int obj_num_objects() { return static_cast<int>(H().objects.size()); }
const char *obj_filename(int obj) { return H().objects[static_cast<size_t>(obj)].filename; }
int obj_max_layers(int obj) {
    return static_cast<int>(H().objects[static_cast<size_t>(obj)].layers.size());
}
int obj_layer_exists(int obj, int layer) {
    return H().objects[static_cast<size_t>(obj)].layers[static_cast<size_t>(layer)].exists;
}

LWMeshInfo *obj_layer_mesh(int obj, int layer) {
    const Layer &l = H().objects[static_cast<size_t>(obj)].layers[static_cast<size_t>(layer)];
    if (!l.has_mesh) return nullptr;
    auto *record = new MeshRecord{};
    record->layer = &l;
    LWMeshInfo &m = record->info;
    m.destroy = l.releasable ? mesh_destroy : nullptr;
    m.scanPolys = mesh_scan_polys;
    m.pntBasePos = mesh_pnt_base_pos;
    m.polSize = mesh_pol_size;
    m.polVertex = mesh_pol_vertex;
    m.polTag = mesh_pol_tag;
    ++H().meshes_handed_out;
    if (!l.releasable) {
        // Nothing will release it: keep it until the host goes.
        static std::vector<std::unique_ptr<MeshRecord>> kept;
        kept.emplace_back(record);
    }
    return &record->info;
}

// ---- The panel service.

LWXPanelID xp_create(int type, LWXPanelControl *controls) {
    H().log.push_back("xpanel.create");
    if (H().panel_refuses) return nullptr;
    auto p = std::make_unique<Panel>();
    p->type = type;
    p->controls = controls;
    H().panels.push_back(std::move(p));
    return reinterpret_cast<LWXPanelID>(H().panels.back().get());
}

void xp_hint(LWXPanelID panel, unsigned int id, LWXPanelHint *hints) {
    H().log.push_back("xpanel.hint");
    ParamHost::panel(panel)->hint_id = id;
    ParamHost::panel(panel)->hints = hints;
}

void xp_describe(LWXPanelID panel, LWXPanelDataDesc *values, LWXPanelGetFunc *get,
                 LWXPanelSetFunc *set) {
    H().log.push_back("xpanel.describe");
    Panel *p = ParamHost::panel(panel);
    p->values = values;
    p->get = get;
    p->set = set;
}

void xp_view_inst(LWXPanelID panel, void *inst) {
    H().log.push_back("xpanel.viewInst");
    ParamHost::panel(panel)->view_inst = inst;
}

void xp_set_data(LWXPanelID panel, unsigned int id, void *data) {
    H().log.push_back("xpanel.setData");
    ParamHost::panel(panel)->data_id = id;
    ParamHost::panel(panel)->data = data;
}

}  // namespace

ParamHost::ParamHost() {
    current_host = this;
    vparm_funcs.create = vp_create;
    vparm_funcs.destroy = vp_destroy;
    vparm_funcs.setup = vp_setup;
    vparm_funcs.copy = vp_copy;
    vparm_funcs.getVal = vp_get_val;
    vparm_funcs.setVal = vp_set_val;
    vparm_funcs.getState = vp_get_state;
    vparm_funcs.getTex = vp_get_tex;
    envelope_funcs.createGroup = env_create_group;
    texture_funcs.contextCreate = tx_context_create;
    texture_funcs.contextDestroy = tx_context_destroy;
    texture_funcs.contextAddParam = tx_context_add_param;
    texture_funcs.newtime = tx_newtime;
    texture_funcs.cleanup = tx_cleanup;
    texture_funcs.setEnvGroup = tx_set_env_group;
    surface_funcs.byObject = srf_by_object;
    surface_funcs.name = srf_name;
    surface_funcs.chanGrp = srf_chan_grp;
    object_funcs.numObjects = obj_num_objects;
    object_funcs.filename = obj_filename;
    object_funcs.maxLayers = obj_max_layers;
    object_funcs.layerExists = obj_layer_exists;
    object_funcs.layerMesh = obj_layer_mesh;
    xpanel_funcs.create = xp_create;
    xpanel_funcs.hint = xp_hint;
    xpanel_funcs.describe = xp_describe;
    xpanel_funcs.viewInst = xp_view_inst;
    xpanel_funcs.setData = xp_set_data;

    host.provide(LWVPARMFUNCS_GLOBAL, &vparm_funcs);
    host.provide(LWENVELOPEFUNCS_GLOBAL, &envelope_funcs);
    host.provide(LWTEXTUREFUNCS_GLOBAL, &texture_funcs);
    host.provide(LWSURFACEFUNCS_GLOBAL, &surface_funcs);
    host.provide(LWOBJECTFUNCS_GLOBAL, &object_funcs);
    host.provide(LWXPANELFUNCS_GLOBAL, &xpanel_funcs);
    host.provide(LWCHANNELINFO_GLOBAL, &channel_info);
    host.provide(LWIMAGELIST_GLOBAL, &image_list);
    host.provide(LWITEMINFO_GLOBAL, &item_info);
    host.provide(LWLIGHTINFO_GLOBAL, &light_info);
    host.provide(LWOBJECTINFO_GLOBAL, &object_info);

    reset_param_library_services();
    module_state.gradient_context.id = nullptr;
    shader_globals = ShaderGlobals();
    shader_globals.global = host.global_func();
}

ParamHost::~ParamHost() {
    reset_param_library_services();
    module_state.gradient_context.id = nullptr;
    shader_globals = ShaderGlobals();
    ormel::xpanel_funcs = nullptr;
    current_host = nullptr;
}

ParamHost &ParamHost::current() { return *current_host; }

LWSurfaceID ParamHost::add_surface(const std::string &name) {
    groups.push_back(std::make_unique<Group>(Group{nullptr, "surface " + name}));
    auto *group = reinterpret_cast<LWChanGroupID>(groups.back().get());
    surfaces.push_back(std::make_unique<SurfaceRecord>(SurfaceRecord{name, group}));
    return reinterpret_cast<LWSurfaceID>(surfaces.back().get());
}

Texture *ParamHost::give_texture(LWVParmID id) {
    VParm *v = vparm(id);
    if (!v->texture) {
        textures.push_back(std::make_unique<Texture>());
        v->texture = textures.back().get();
    }
    return v->texture;
}

int ParamHost::live_vparms() const {
    int n = 0;
    for (const auto &v : vparms) n += !v->destroyed;
    return n;
}

int ParamHost::count(const std::string &call) const {
    int n = 0;
    for (const std::string &entry : log) n += entry == call;
    return n;
}

}  // namespace fake
}  // namespace ormel
