#include "refhost/surface_funcs.h"

#include <cstring>

#include "refhost/envelopes.h"
#include "refhost/host.h"

namespace refhost {

namespace {

Scene *scene() {
    Host *host = Host::current();
    return host ? &host->scene() : nullptr;
}

bool is_scene_surface(const Scene &s, LWSurfaceID id) {
    for (const auto &surf : s.surfaces())
        if (to_id(surf.get()) == id) return true;
    return false;
}

LWSurfaceID sf_create(const char *obj_name, const char *surf_name) {
    Scene *s = scene();
    if (!s || !obj_name || !surf_name) return nullptr;
    Item *object = s->find_object_by_filename(obj_name);
    if (!object) return nullptr;
    for (Surface *surf : object->surfaces)
        if (surf->name == surf_name) return to_id(surf);
    return to_id(&s->add_surface(*object, surf_name));
}

LWSurfaceID sf_first() {
    Scene *s = scene();
    return s && !s->surfaces().empty() ? to_id(s->surfaces().front().get()) : nullptr;
}

LWSurfaceID sf_next(LWSurfaceID surf) {
    Scene *s = scene();
    if (!s || !surf) return nullptr;
    const auto &all = s->surfaces();
    for (size_t i = 0; i + 1 < all.size(); ++i)
        if (to_id(all[i].get()) == surf) return to_id(all[i + 1].get());
    return nullptr;
}

LWSurfaceID *fill(std::vector<LWSurfaceID> &list, const std::vector<LWSurfaceID> &found) {
    list = found;
    list.push_back(nullptr);
    return list.data();
}

LWSurfaceID *sf_by_name(const char *name, const char *obj_name) {
    Host *host = Host::current();
    if (!host || !name) return nullptr;
    std::vector<LWSurfaceID> found;
    for (const auto &surf : host->scene().surfaces())
        if (surf->name == name && (!obj_name || surf->object_filename == obj_name)) found.push_back(to_id(surf.get()));
    if (found.empty()) return nullptr;
    const std::string key = std::string(name) + '\0' + (obj_name ? obj_name : "");
    return fill(host->component<SurfaceLists>().by_name[key], found);
}

LWSurfaceID *sf_by_object(const char *obj_name) {
    Host *host = Host::current();
    if (!host || !obj_name) return nullptr;
    const Item *object = host->scene().find_object_by_filename(obj_name);
    if (!object) return nullptr;
    std::vector<LWSurfaceID> found;
    for (const Surface *surf : object->surfaces) found.push_back(to_id(surf));
    return fill(host->component<SurfaceLists>().by_object[obj_name], found);
}

const char *sf_name(LWSurfaceID surf) { return surf ? from_id(surf)->name.c_str() : nullptr; }

const char *sf_scene_object(LWSurfaceID surf) { return surf ? from_id(surf)->object_filename.c_str() : nullptr; }

int sf_get_int(LWSurfaceID, const char *) { return 0; }

double *sf_get_flt(LWSurfaceID surf, const char *channel) {
    if (!surf || !channel) return nullptr;
    SurfaceValues &v = from_id(surf)->values;
    // Shaders ask for a channel for every spot: compared in place, no string made.
    auto is = [channel](const char *name) { return std::strcmp(channel, name) == 0; };
    if (is(SURF_COLR)) return v.color;
    if (is(SURF_DIFF)) return &v.diffuse;
    if (is(SURF_SPEC)) return &v.specular;
    if (is(SURF_GLOS)) return &v.glossiness;
    if (is(SURF_REFL)) return &v.reflection;
    if (is(SURF_SMAN)) return &v.smoothing_angle;
    return nullptr;
}

LWEnvelopeID sf_get_env(LWSurfaceID, const char *) { return nullptr; }
LWTextureID sf_get_tex(LWSurfaceID, const char *) { return nullptr; }
LWImageID sf_get_img(LWSurfaceID, const char *) { return nullptr; }

LWChanGroupID sf_chan_grp(LWSurfaceID surf) {
    Host *host = Host::current();
    if (!host || !surf || !is_scene_surface(host->scene(), surf)) return nullptr;
    Surface *s = from_id(surf);
    EnvelopeSystem &env = host->component<EnvelopeSystem>();
    if (!s->channel_group || !env.owns(from_id(s->channel_group)))
        s->channel_group = to_id(env.create_group(nullptr, s->name));
    return s->channel_group;
}

}  // namespace

const LWSurfaceFuncs &surface_funcs() {
    static const LWSurfaceFuncs funcs = {
        sf_create, sf_first,   sf_next,    sf_by_name, sf_by_object, sf_name,     sf_scene_object,
        sf_get_int, sf_get_flt, sf_get_env, sf_get_tex, sf_get_img,   sf_chan_grp,
    };
    return funcs;
}

}  // namespace refhost
