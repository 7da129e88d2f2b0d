#include "params/plugin_data_param.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "params/param_library.h"
#include "params/services.h"

namespace ormel {

namespace {

constexpr int kEventBoundingBox = 2;
constexpr int kEventEnvelopeGroup = 7;

constexpr double kEmptyMin = 1e16;
constexpr double kEmptyMax = -1e16;

void set_fallback_box(double box[kBoxSize]) {
    for (int axis = 0; axis < 3; ++axis) {
        box[2 * axis] = -0.5;
        box[2 * axis + 1] = 0.5;
    }
}

// The texture of a parameter, or null when it has none (or no variant parameter).
LWTextureID parameter_texture(const PluginDataParam &param) {
    if (!param.vparm || !param_services.vparm) return nullptr;
    return param_services.vparm->getTex(param.vparm);
}

// Widens the box by every polygon of one layer mesh that carries the surface.
void grow_box_by_mesh(LWMeshInfo *mesh, const char *surface_name, double box[kBoxSize]) {
    PolygonScanData data{surface_name, mesh, box};
    if (mesh->scanPolys) mesh->scanPolys(mesh, grow_box_by_polygon, &data);
    // A mesh record the host hands out is released here unless it cannot be.
    if (mesh->destroy) mesh->destroy(mesh);
}

}  // namespace

PluginDataParam::PluginDataParam(const char *name, int env_type, int tex_type,
                                 LWChanGroupID group, const char *plugin_name,
                                 LWSurfaceID surface)
    : env_type(env_type), tex_type(tex_type), group(group), surface(surface), vparm(nullptr) {
    acquire_param_services();
    LWVParmFuncs *funcs = param_services.vparm;
    // Without the variant-parameter service there is nothing to hold the value; the owner
    // checks the library's services before it makes parameters, so this is a last guard.
    if (!funcs) return;

    vparm = funcs->create(env_type, tex_type);
    LWTxtrContextID context = tex_type == LWVPDT_NOTXTR ? nullptr : shared_texture_context();

    if (env_type == LWVP_COLOR) {
        // The three colour channels live in a subgroup of their own, named after this
        // object so that the colours of different instances never share a group.
        char channel[128];
        const auto id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this));
        std::snprintf(channel, sizeof channel, "%s_%08x", name, static_cast<unsigned>(id));
        LWEnvelopeFuncs *envelope = param_services.envelope;
        LWChanGroupID subgroup = envelope ? envelope->createGroup(group, channel) : nullptr;
        funcs->setup(vparm, channel, subgroup, context, param_event, plugin_name, this);
    } else {
        funcs->setup(vparm, name, group, context, param_event, plugin_name, this);
    }

    double zero[3] = {0.0, 0.0, 0.0};
    funcs->setVal(vparm, zero);
}

PluginDataParam::~PluginDataParam() {
    // The channel groups belong to the host and stay.
    if (vparm && param_services.vparm) param_services.vparm->destroy(vparm);
}

void PluginDataParam::texture_new_time(double time, int frame) {
    LWTextureID texture = parameter_texture(*this);
    if (texture && param_services.texture) param_services.texture->newtime(texture, time, frame);
}

void PluginDataParam::texture_cleanup() {
    LWTextureID texture = parameter_texture(*this);
    if (texture && param_services.texture) param_services.texture->cleanup(texture);
}

int param_event(LWVParmID, void *user_data, int event_code, void *event_data) {
    auto *param = static_cast<PluginDataParam *>(user_data);
    if (!param) return 1;
    switch (event_code) {
    case kEventBoundingBox: {
        auto *box = static_cast<double *>(event_data);
        if (!box) break;
        if (param->surface)
            surface_bounding_box(param->surface, box);
        else
            set_fallback_box(box);
        break;
    }
    case kEventEnvelopeGroup: {
        // The texture's envelopes go into the instance group, for a colour as well.
        if (!param->group) break;
        LWTextureID texture = parameter_texture(*param);
        if (texture && param_services.texture)
            param_services.texture->setEnvGroup(texture, param->group);
        break;
    }
    default:
        break;
    }
    return 1;
}

bool surface_bounding_box(LWSurfaceID surface, double box[kBoxSize]) {
    acquire_host_services();
    for (int axis = 0; axis < 3; ++axis) {
        box[2 * axis] = kEmptyMin;
        box[2 * axis + 1] = kEmptyMax;
    }

    LWObjectFuncs *objects = host_services.scene_objects;
    LWSurfaceFuncs *surfaces = host_services.surface;
    if (objects && surfaces) {
        const char *surface_name = surfaces->name(surface);
        const int object_count = objects->numObjects();
        for (int obj = 0; obj < object_count; ++obj) {
            if (!object_uses_surface(objects->filename(obj), surface)) continue;
            const int layer_count = objects->maxLayers(obj);
            for (int layer = 0; layer < layer_count; ++layer) {
                if (!objects->layerExists(obj, layer)) continue;
                LWMeshInfo *mesh = objects->layerMesh(obj, layer);
                if (mesh) grow_box_by_mesh(mesh, surface_name, box);
            }
        }
    }

    // A flat extent is a valid box; only an axis that no vertex reached is empty.
    for (int axis = 0; axis < 3; ++axis) {
        if (!(box[2 * axis] <= box[2 * axis + 1])) {
            set_fallback_box(box);
            return false;
        }
    }
    return true;
}

bool object_uses_surface(const char *object_file, LWSurfaceID surface) {
    if (!object_file || !host_services.surface) return false;
    LWSurfaceID *list = host_services.surface->byObject(object_file);
    if (!list) return false;
    for (LWSurfaceID *entry = list; *entry; ++entry) {
        if (*entry == surface) return true;
    }
    return false;
}

size_t grow_box_by_polygon(void *scan_data, LWPolID polygon) {
    auto *data = static_cast<PolygonScanData *>(scan_data);
    LWMeshInfo *mesh = data->mesh;

    // Only polygons tagged with the surface's own name count; a missing tag matches only
    // a surface without a name.
    const char *tag = mesh->polTag(mesh, polygon, LWPTAG_SURF);
    const char *name = data->surface_name;
    const bool same = (tag && name) ? std::strcmp(tag, name) == 0 : tag == name;
    if (!same) return 0;

    double *box = data->box;
    const int size = mesh->polSize(mesh, polygon);
    for (int i = 0; i < size; ++i) {
        LWPntID point = mesh->polVertex(mesh, polygon, i);
        LWFVector pos;
        mesh->pntBasePos(mesh, point, pos);
        for (int axis = 0; axis < 3; ++axis) {
            const double c = static_cast<double>(pos[axis]);
            if (c < box[2 * axis]) box[2 * axis] = c;
            if (c > box[2 * axis + 1]) box[2 * axis + 1] = c;
        }
    }
    return 0;
}

}  // namespace ormel
