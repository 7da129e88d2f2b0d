#include "refhost/vparm.h"

#include <cstring>

#include "refhost/host.h"

namespace refhost {

namespace {

const char *const kColourChannels[3] = {"R", "G", "B"};
constexpr int kSaveVersion = 1;

bool valid_env_type(int t) {
    return t == LWVP_FLOAT || t == LWVP_PERCENT || t == LWVP_DIST || t == LWVP_ANGLE || t == LWVP_COLOR;
}

}  // namespace

VParmSystem::VParmSystem(Host &host) : host_(host) {}
VParmSystem::~VParmSystem() = default;  // channels and textures go with their own systems

VParm *VParmSystem::create(int env_type, int tex_type) {
    if (!valid_env_type(env_type)) return nullptr;
    auto parm = std::make_unique<VParm>();
    VParm *p = parm.get();
    p->env_type = env_type;
    p->tex_type = tex_type < LWVPDT_VECTOR || tex_type > LWVPDT_PERCENT ? LWVPDT_NOTXTR : tex_type;
    p->components = env_type == LWVP_COLOR ? 3 : 1;
    p->textures = &host_.component<TextureSystem>();
    EnvelopeSystem &env = host_.component<EnvelopeSystem>();
    for (int i = 0; i < p->components; ++i)
        p->channels[i] = env.create_channel(nullptr, "", env_type, /*held=*/true, /*linked=*/false);
    parms_[p] = std::move(parm);
    return p;
}

void VParmSystem::destroy(VParm *p) {
    if (!p || !owns(p)) return;
    remove_texture(p);
    EnvelopeSystem &env = host_.component<EnvelopeSystem>();
    for (Channel *c : p->channels) {
        if (!c) continue;
        c->held = false;
        env.destroy_channel(c);
    }
    parms_.erase(p);
}

void VParmSystem::setup(VParm *p, const char *name, ChannelGroup *group, LWTxtrContextID context,
                        LWVP_EventFunc *event, const char *plugin, void *user_data) {
    p->name = name ? name : "";
    p->plugin = plugin ? plugin : "";
    p->group = group;
    p->context = context;
    p->event = event;
    p->user_data = user_data;
    p->set_up = true;
    EnvelopeSystem &env = host_.component<EnvelopeSystem>();
    for (int i = 0; i < p->components; ++i)
        env.attach_channel(p->channels[i], group, p->components == 3 ? kColourChannels[i] : p->name);
}

void VParmSystem::copy(VParm *to, const VParm *from) {
    if (to == from) return;
    const int n = to->components < from->components ? to->components : from->components;
    for (int i = 0; i < n; ++i) {
        to->channels[i]->constant = from->channels[i]->constant;
        to->channels[i]->envelope.copy_keys_from(from->channels[i]->envelope);
    }
    if (!from->texture) {
        remove_texture(to);
        return;
    }
    const bool added = !to->texture;
    if (added && !attach_texture_silently(to)) return;
    host_.component<TextureSystem>().copy(to->texture, from->texture);
    if (added) send_event(to, kVParmEventTextureAdded, nullptr);
}

double VParmSystem::get(const VParm *p, double time, LWMicropol *mp, double *result) {
    double v[3] = {0, 0, 0};
    for (int i = 0; i < p->components; ++i) v[i] = p->channels[i]->value_at(time);
    if (mp && p->texture) {
        TextureSystem &tex = *p->textures;
        if (p->components == 3) {
            double out[3];
            tex.evaluate(p->texture, mp, v, out);
            std::memcpy(v, out, sizeof v);
        } else {
            const double zero[3] = {0, 0, 0};
            double out[3];
            v[0] *= tex.evaluate(p->texture, mp, zero, out);
        }
    }
    if (result)
        for (int i = 0; i < p->components; ++i) result[i] = v[i];
    return v[0];
}

Envelope *VParmSystem::enable_envelope(VParm *p, int component) {
    if (component < 0 || component >= p->components) return nullptr;
    Channel *c = p->channels[component];
    if (!c->envelope.has_keys()) c->envelope.add_key(0.0, c->constant);
    return &c->envelope;
}

void VParmSystem::clear_envelopes(VParm *p) {
    for (int i = 0; i < p->components; ++i) p->channels[i]->envelope.keys.clear();
}

Texture *VParmSystem::attach_texture_silently(VParm *p) {
    if (p->texture) return p->texture;
    if (p->tex_type == LWVPDT_NOTXTR) return nullptr;
    // The variant parameter's texture types share their numbers with texture return types.
    p->texture = host_.component<TextureSystem>().create(p->tex_type, p->name, from_id(p->context), p->user_data);
    return p->texture;
}

Texture *VParmSystem::attach_texture(VParm *p) {
    if (p->texture) return p->texture;
    if (!attach_texture_silently(p)) return nullptr;
    send_event(p, kVParmEventTextureAdded, nullptr);
    return p->texture;
}

void VParmSystem::remove_texture(VParm *p) {
    if (!p->texture) return;
    host_.component<TextureSystem>().destroy(p->texture);
    p->texture = nullptr;
}

int VParmSystem::send_event(VParm *p, int code, void *data) {
    if (!p || !p->event) return 0;
    return p->event(to_id(p), p->user_data, code, data);
}

// Layout: I4 version; I4 channel count; per channel its constant (double) and its
// "Envelope" block; I4 texture flag; the texture's own data when the flag is 1.
void VParmSystem::save(const VParm *p, const LWSaveState *save) const {
    const int version = kSaveVersion;
    save->writeI4(save->writeData, &version, 1);
    save->writeI4(save->writeData, &p->components, 1);
    for (int i = 0; i < p->components; ++i) {
        write_double(save, p->channels[i]->constant);
        save_envelope(p->channels[i]->envelope, save);
    }
    const int textured = p->texture ? 1 : 0;
    save->writeI4(save->writeData, &textured, 1);
    if (p->texture) host_.component<TextureSystem>().save(p->texture, save);
}

bool VParmSystem::load(VParm *p, const LWLoadState *load) {
    int version = 0, count = 0;
    if (load->readI4(load->readData, &version, 1) != 1 || version != kSaveVersion) return false;
    if (load->readI4(load->readData, &count, 1) != 1 || count < 0 || count > 3) return false;
    for (int i = 0; i < count; ++i) {
        // Channels beyond this parameter's own are read and dropped.
        Channel scratch;
        Channel *c = i < p->components ? p->channels[i] : &scratch;
        c->constant = read_double(load, c->constant);
        if (!load_envelope(c->envelope, load)) c->envelope.keys.clear();
    }
    int textured = 0;
    if (load->readI4(load->readData, &textured, 1) != 1) textured = 0;
    if (!textured) {
        remove_texture(p);
        return true;
    }
    const bool added = !p->texture;
    TextureSystem &tex = host_.component<TextureSystem>();
    if (attach_texture_silently(p)) {
        tex.load(p->texture, load);
        if (added) send_event(p, kVParmEventTextureAdded, nullptr);
    } else {
        // A parameter that takes no texture reads the saved one into a scratch texture.
        Texture *scratch = tex.create(TRT_PERCENT, "", nullptr, nullptr);
        tex.load(scratch, load);
        tex.destroy(scratch);
    }
    return true;
}

// ---- The "LWVParmFuncs 2" service.

namespace {

VParmSystem *system() {
    Host *host = Host::current();
    return host ? &host->component<VParmSystem>() : nullptr;
}

LWVParmID vp_create(int env_type, int tex_type) {
    VParmSystem *sys = system();
    return sys ? to_id(sys->create(env_type, tex_type)) : nullptr;
}

void vp_destroy(LWVParmID parm) {
    if (VParmSystem *sys = system()) sys->destroy(from_id(parm));
}

void vp_setup(LWVParmID parm, const char *name, LWChanGroupID group, LWTxtrContextID context,
              LWVP_EventFunc *event, const char *plugin, void *user_data) {
    VParmSystem *sys = system();
    if (!sys || !parm) return;
    sys->setup(from_id(parm), name, from_id(group), context, event, plugin, user_data);
}

LWError vp_copy(LWVParmID to, LWVParmID from) {
    VParmSystem *sys = system();
    if (!sys || !to || !from) return "Missing variant parameter";
    sys->copy(from_id(to), from_id(from));
    return nullptr;
}

LWError vp_load(LWVParmID parm, const LWLoadState *load) {
    VParmSystem *sys = system();
    if (!sys || !parm || !load) return "Missing variant parameter";
    return sys->load(from_id(parm), load) ? nullptr : "Unreadable variant parameter data";
}

LWError vp_save(LWVParmID parm, const LWSaveState *save) {
    VParmSystem *sys = system();
    if (!sys || !parm || !save) return "Missing variant parameter";
    sys->save(from_id(parm), save);
    return nullptr;
}

// Render threads read values: no host lookup on this path.
double vp_get_val(LWVParmID parm, LWTime time, LWMicropol *mp, double *result) {
    return parm ? VParmSystem::get(from_id(parm), time, mp, result) : 0.0;
}

int vp_set_val(LWVParmID parm, double *value) {
    if (!parm || !value) return 0;
    VParm *p = from_id(parm);
    for (int i = 0; i < p->components; ++i) p->channels[i]->constant = value[i];
    return p->components;
}

int vp_get_state(LWVParmID parm) {
    if (!parm) return 0;
    const VParm *p = from_id(parm);
    int state = 0;
    for (int i = 0; i < p->components; ++i)
        if (p->channels[i]->envelope.has_keys()) state |= LWVPSF_ENV;
    if (p->texture) state |= LWVPSF_TEX;
    return state;
}

void vp_set_state(LWVParmID parm, int state) {
    VParmSystem *sys = system();
    if (!sys || !parm) return;
    VParm *p = from_id(parm);
    if (state & LWVPSF_ENV) {
        for (int i = 0; i < p->components; ++i) sys->enable_envelope(p, i);
    } else {
        sys->clear_envelopes(p);
    }
    if (state & LWVPSF_TEX) sys->attach_texture(p);
    else sys->remove_texture(p);
}

void vp_edit_env(LWVParmID) {}
void vp_edit_tex(LWVParmID) {}

void vp_init_mp(LWMicropol *mp) {
    if (!mp) return;
    std::memset(mp, 0, sizeof *mp);
    // A neutral spot: unit object scale and identity transforms.
    for (int i = 0; i < 3; ++i) {
        mp->oScl[i] = 1.0;
        mp->oXfrm[i * 4] = 1.0;
        mp->wXfrm[i * 4] = 1.0;
    }
    // As hosts since 8.2 do, the record gets the calling thread's corner record; a module
    // that fills the spot itself replaces it.
    thread_local LWVertexIndexes corners;
    corners = LWVertexIndexes{{-1, -1, -1, -1}, {nullptr, nullptr, nullptr, nullptr}, {0, 0, 0, 0}, 0.0f, 0.0f};
    mp->VertexIndexes = &corners;
}

void vp_get_env(LWVParmID parm, LWEnvelopeID envlist[3]) {
    if (!envlist) return;
    for (int i = 0; i < 3; ++i) envlist[i] = nullptr;
    if (!parm) return;
    const VParm *p = from_id(parm);
    for (int i = 0; i < p->components; ++i)
        if (p->channels[i]->envelope.has_keys()) envlist[i] = to_id(&p->channels[i]->envelope);
}

LWTextureID vp_get_tex(LWVParmID parm) { return parm ? to_id(from_id(parm)->texture) : nullptr; }

}  // namespace

int vparm_request_bounding_box(LWVParmID parm, double box[6]) {
    for (int i = 0; i < 6; ++i) box[i] = i % 2 ? 0.5 : -0.5;
    VParmSystem *sys = system();
    return sys && parm ? sys->send_event(from_id(parm), kVParmEventBoundingBox, box) : 0;
}

const LWVParmFuncs &vparm_funcs() {
    static const LWVParmFuncs funcs = {
        vp_create,    vp_destroy,   vp_setup,    vp_copy,     vp_load,
        vp_save,      vp_get_val,   vp_set_val,  vp_get_state, vp_set_state,
        vp_edit_env,  vp_edit_tex,  vp_init_mp,  vp_get_env,  vp_get_tex,
    };
    return funcs;
}

}  // namespace refhost
