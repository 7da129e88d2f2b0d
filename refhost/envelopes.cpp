#include "refhost/envelopes.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "refhost/host.h"

namespace refhost {

namespace {

// Kochanek-Bartels tangents of key i: the slope leaving it and the slope arriving at it,
// in value units per span, each scaled to the span it belongs to.
void key_tangents(const std::vector<std::unique_ptr<EnvelopeKey>> &keys, size_t i, double &incoming,
                  double &outgoing) {
    const EnvelopeKey &k = *keys[i];
    const double t = k.tension, c = k.continuity, b = k.bias;
    const bool has_prev = i > 0, has_next = i + 1 < keys.size();
    const double d_prev = has_prev ? k.value - keys[i - 1]->value : 0.0;
    const double d_next = has_next ? keys[i + 1]->value - k.value : 0.0;
    if (!has_prev || !has_next) {
        // An end key: the curve leaves towards its one neighbour.
        const double d = has_prev ? d_prev : d_next;
        incoming = outgoing = (1.0 - t) * d;
        return;
    }
    outgoing = (1.0 - t) * (1.0 + c) * (1.0 + b) * 0.5 * d_prev + (1.0 - t) * (1.0 - c) * (1.0 - b) * 0.5 * d_next;
    incoming = (1.0 - t) * (1.0 - c) * (1.0 + b) * 0.5 * d_prev + (1.0 - t) * (1.0 + c) * (1.0 - b) * 0.5 * d_next;
    // Uneven spacing: each tangent is scaled by its span's share of the two spans.
    const double span_prev = k.time - keys[i - 1]->time;
    const double span_next = keys[i + 1]->time - k.time;
    const double both = span_prev + span_next;
    if (both > 0.0) {
        outgoing *= 2.0 * span_next / both;
        incoming *= 2.0 * span_prev / both;
    }
}

EnvelopeSystem *envelopes() {
    Host *host = Host::current();
    return host ? &host->component<EnvelopeSystem>() : nullptr;
}

template <class T>
void erase_value(std::vector<T *> &v, const T *x) {
    v.erase(std::remove(v.begin(), v.end(), x), v.end());
}

}  // namespace

double Envelope::evaluate(double time) const {
    if (keys.empty()) return 0.0;
    if (keys.size() == 1 || time <= keys.front()->time) return keys.front()->value;
    if (time >= keys.back()->time) return keys.back()->value;
    // The span [k0, k1] holding the time.
    size_t i = 1;
    while (i < keys.size() && keys[i]->time < time) ++i;
    const EnvelopeKey &k0 = *keys[i - 1], &k1 = *keys[i];
    const double span = k1.time - k0.time;
    if (span <= 0.0) return k1.value;
    const double s = (time - k0.time) / span;
    switch (k1.shape) {
    case SHAPE_STEP: return k0.value;
    case SHAPE_LINE: return k0.value + s * (k1.value - k0.value);
    default: break;
    }
    double in0, out0, in1, out1;
    key_tangents(keys, i - 1, in0, out0);
    key_tangents(keys, i, in1, out1);
    const double s2 = s * s, s3 = s2 * s;
    const double h1 = 2.0 * s3 - 3.0 * s2 + 1.0;
    const double h2 = -2.0 * s3 + 3.0 * s2;
    const double h3 = s3 - 2.0 * s2 + s;
    const double h4 = s3 - s2;
    return h1 * k0.value + h2 * k1.value + h3 * out0 + h4 * in1;
}

EnvelopeKey *Envelope::add_key(double time, double value) {
    for (auto &k : keys) {
        if (k->time == time) {
            k->value = value;
            return k.get();
        }
    }
    auto key = std::make_unique<EnvelopeKey>();
    key->time = time;
    key->value = value;
    EnvelopeKey *raw = key.get();
    keys.push_back(std::move(key));
    sort_keys();
    return raw;
}

void Envelope::remove_key(EnvelopeKey *key) {
    keys.erase(std::remove_if(keys.begin(), keys.end(), [key](const auto &k) { return k.get() == key; }),
               keys.end());
}

void Envelope::copy_keys_from(const Envelope &other) {
    if (&other == this) return;
    keys.clear();
    for (const auto &k : other.keys) keys.push_back(std::make_unique<EnvelopeKey>(*k));
}

void Envelope::sort_keys() {
    std::stable_sort(keys.begin(), keys.end(), [](const auto &a, const auto &b) { return a->time < b->time; });
}

int Envelope::index_of(const EnvelopeKey *key) const {
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i].get() == key) return static_cast<int>(i);
    return -1;
}

EnvelopeSystem::EnvelopeSystem(Host &) {}
EnvelopeSystem::~EnvelopeSystem() = default;

ChannelGroup *EnvelopeSystem::create_group(ChannelGroup *parent, const std::string &name, bool held) {
    groups_.push_back(std::make_unique<ChannelGroup>());
    ChannelGroup *g = groups_.back().get();
    g->name = name;
    g->held = held;
    g->parent = parent;
    (parent ? parent->groups : root_groups_).push_back(g);
    g->linked = true;
    return g;
}

void EnvelopeSystem::unlink(ChannelGroup *g) {
    if (!g->linked) return;
    erase_value(g->parent ? g->parent->groups : root_groups_, g);
    g->linked = false;
    g->parent = nullptr;
}

void EnvelopeSystem::unlink(Channel *c) {
    if (!c->linked) return;
    erase_value(c->group ? c->group->channels : root_channels_, c);
    c->linked = false;
    c->group = nullptr;
}

void EnvelopeSystem::destroy_group(ChannelGroup *g) {
    if (!g || !owns(g)) return;
    unlink(g);
    if (g->held) return;  // its owner keeps it whole and destroys it later
    // Children first; held ones survive, unlinked, for their owners to place or destroy.
    const std::vector<ChannelGroup *> subgroups = g->groups;
    for (ChannelGroup *sub : subgroups) {
        if (sub->held) unlink(sub);
        else destroy_group(sub);
    }
    const std::vector<Channel *> chans = g->channels;
    for (Channel *c : chans) {
        if (c->held) unlink(c);
        else destroy_channel(c);
    }
    groups_.erase(std::remove_if(groups_.begin(), groups_.end(), [g](const auto &p) { return p.get() == g; }),
                  groups_.end());
}

void EnvelopeSystem::move_group(ChannelGroup *g, ChannelGroup *new_parent) {
    if (!g || g == new_parent) return;
    unlink(g);
    g->parent = new_parent;
    (new_parent ? new_parent->groups : root_groups_).push_back(g);
    g->linked = true;
}

Channel *EnvelopeSystem::create_channel(ChannelGroup *group, const std::string &name, int type, bool held,
                                        bool linked) {
    channels_.push_back(std::make_unique<Channel>());
    Channel *c = channels_.back().get();
    c->name = name;
    c->type = type;
    c->held = held;
    c->envelope.channel = c;
    if (linked) attach_channel(c, group, name);
    return c;
}

void EnvelopeSystem::attach_channel(Channel *c, ChannelGroup *group, const std::string &name) {
    unlink(c);
    c->name = name;
    c->group = group;
    (group ? group->channels : root_channels_).push_back(c);
    c->linked = true;
}

void EnvelopeSystem::destroy_channel(Channel *c) {
    if (!c || !owns(c)) return;
    unlink(c);
    channels_.erase(
        std::remove_if(channels_.begin(), channels_.end(), [c](const auto &p) { return p.get() == c; }),
        channels_.end());
}

bool EnvelopeSystem::owns(const Channel *c) const {
    return std::any_of(channels_.begin(), channels_.end(), [c](const auto &p) { return p.get() == c; });
}

bool EnvelopeSystem::owns(const ChannelGroup *g) const {
    return std::any_of(groups_.begin(), groups_.end(), [g](const auto &p) { return p.get() == g; });
}

ChannelGroup *EnvelopeSystem::find_group(ChannelGroup *parent, const std::string &name) const {
    for (ChannelGroup *g : parent ? parent->groups : root_groups_)
        if (g->name == name) return g;
    return nullptr;
}

Channel *EnvelopeSystem::find_channel(ChannelGroup *group, const std::string &name) const {
    for (Channel *c : group ? group->channels : root_channels_)
        if (c->name == name) return c;
    return nullptr;
}

// ---- Block I/O of envelopes.

namespace {

const LWBlockIdent kEnvelopeBlock[] = {{LWID_('E', 'N', 'V', 'L'), "Envelope"}, {0, nullptr}};

}  // namespace

void write_double(const LWSaveState *save, double value) {
    // The text of "%.17g", without printf's multi-precision arithmetic.
    char text[40];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::general, 17);
    *r.ptr = '\0';
    save->writeStr(save->writeData, text);
}

double read_double(const LWLoadState *load, double fallback) {
    char text[64] = {};
    if (load->readStr(load->readData, text, sizeof text) <= 0) return fallback;
    char *end = nullptr;
    const double v = std::strtod(text, &end);
    return end == text ? fallback : v;
}

void save_envelope(const Envelope &env, const LWSaveState *save) {
    save->beginBlk(save->writeData, &kEnvelopeBlock[0], 0);
    const int n = static_cast<int>(env.keys.size());
    save->writeI4(save->writeData, &n, 1);
    for (const auto &k : env.keys) {
        write_double(save, k->time);
        write_double(save, k->value);
        save->writeI4(save->writeData, &k->shape, 1);
        write_double(save, k->tension);
        write_double(save, k->continuity);
        write_double(save, k->bias);
    }
    save->endBlk(save->writeData);
}

bool load_envelope(Envelope &env, const LWLoadState *load) {
    const LWID id = load->findBlk(load->readData, kEnvelopeBlock);
    if (id != kEnvelopeBlock[0].id) {
        if (id != 0) load->endBlk(load->readData);
        return false;
    }
    int n = 0;
    if (load->readI4(load->readData, &n, 1) != 1 || n < 0) n = 0;
    env.keys.clear();
    for (int i = 0; i < n; ++i) {
        // The count comes from the data: keys end where the data does.
        char time_text[64] = {};
        if (load->readStr(load->readData, time_text, sizeof time_text) <= 0) break;
        auto k = std::make_unique<EnvelopeKey>();
        char *end = nullptr;
        k->time = std::strtod(time_text, &end);
        if (end == time_text) k->time = 0.0;
        k->value = read_double(load);
        int shape = SHAPE_TCB;
        if (load->readI4(load->readData, &shape, 1) == 1) k->shape = shape;
        k->tension = read_double(load);
        k->continuity = read_double(load);
        k->bias = read_double(load);
        env.keys.push_back(std::move(k));
    }
    env.sort_keys();
    load->endBlk(load->readData);
    return true;
}

// ---- The "Animation Envelopes" service.

namespace {

LWEnvelopeID env_create(LWChanGroupID group, const char *name, int type) {
    EnvelopeSystem *sys = envelopes();
    if (!sys) return nullptr;
    return to_id(&sys->create_channel(from_id(group), name ? name : "", type)->envelope);
}

void env_destroy(LWEnvelopeID env) {
    EnvelopeSystem *sys = envelopes();
    if (!sys || !env) return;
    Channel *c = from_id(env)->channel;
    // Channels of variant parameters and texture layers belong to them.
    if (!c->held) sys->destroy_channel(c);
}

LWChanGroupID env_create_group(LWChanGroupID parent, const char *name) {
    EnvelopeSystem *sys = envelopes();
    return sys ? to_id(sys->create_group(from_id(parent), name ? name : "")) : nullptr;
}

void env_destroy_group(LWChanGroupID group) {
    if (EnvelopeSystem *sys = envelopes()) sys->destroy_group(from_id(group));
}

LWError env_copy(LWEnvelopeID to, LWEnvelopeID from) {
    if (!to || !from) return "Missing envelope";
    from_id(to)->copy_keys_from(*from_id(from));
    return nullptr;
}

LWError env_load(LWEnvelopeID env, const LWLoadState *load) {
    if (!env || !load) return "Missing envelope";
    return load_envelope(*from_id(env), load) ? nullptr : "No envelope data";
}

LWError env_save(LWEnvelopeID env, const LWSaveState *save) {
    if (!env || !save) return "Missing envelope";
    save_envelope(*from_id(env), save);
    return nullptr;
}

double env_evaluate(LWEnvelopeID env, LWTime time) { return env ? from_id(env)->evaluate(time) : 0.0; }

int env_edit(LWChanGroupID, LWEnvelopeID, int, void *) { return 0; }

int env_age(LWEnvelopeID) { return 0; }

LWEnvKeyframeID env_create_key(LWEnvelopeID env, LWTime time, double value) {
    return env ? to_id(from_id(env)->add_key(time, value)) : nullptr;
}

void env_destroy_key(LWEnvelopeID env, LWEnvKeyframeID key) {
    if (env && key) from_id(env)->remove_key(from_id(key));
}

LWEnvKeyframeID env_find_key(LWEnvelopeID env, LWTime time) {
    if (!env) return nullptr;
    for (const auto &k : from_id(env)->keys)
        if (k->time == time) return to_id(k.get());
    return nullptr;
}

LWEnvKeyframeID env_next_key(LWEnvelopeID env, LWEnvKeyframeID key) {
    if (!env) return nullptr;
    const Envelope &e = *from_id(env);
    if (!key) return e.keys.empty() ? nullptr : to_id(e.keys.front().get());
    const int i = e.index_of(from_id(key));
    if (i < 0 || static_cast<size_t>(i) + 1 >= e.keys.size()) return nullptr;
    return to_id(e.keys[i + 1].get());
}

LWEnvKeyframeID env_prev_key(LWEnvelopeID env, LWEnvKeyframeID key) {
    if (!env) return nullptr;
    const Envelope &e = *from_id(env);
    if (!key) return e.keys.empty() ? nullptr : to_id(e.keys.back().get());
    const int i = e.index_of(from_id(key));
    if (i <= 0) return nullptr;
    return to_id(e.keys[i - 1].get());
}

double *key_field(EnvelopeKey &k, LWKeyTag tag) {
    switch (tag) {
    case LWKEY_VALUE: return &k.value;
    case LWKEY_TIME: return &k.time;
    case LWKEY_TENSION: return &k.tension;
    case LWKEY_CONTINUITY: return &k.continuity;
    case LWKEY_BIAS: return &k.bias;
    case LWKEY_PARAM_0: return &k.params[0];
    case LWKEY_PARAM_1: return &k.params[1];
    case LWKEY_PARAM_2: return &k.params[2];
    case LWKEY_PARAM_3: return &k.params[3];
    default: return nullptr;
    }
}

int env_key_set(LWEnvelopeID env, LWEnvKeyframeID key, LWKeyTag tag, void *value) {
    if (!env || !key || !value) return 0;
    Envelope &e = *from_id(env);
    EnvelopeKey *k = from_id(key);
    if (e.index_of(k) < 0) return 0;
    if (tag == LWKEY_SHAPE) {
        k->shape = *static_cast<int *>(value);
        return 1;
    }
    double *field = key_field(*k, tag);
    if (!field) return 0;
    *field = *static_cast<double *>(value);
    if (tag == LWKEY_TIME) e.sort_keys();  // a moved key keeps the keys in time order
    return 1;
}

int env_key_get(LWEnvelopeID env, LWEnvKeyframeID key, LWKeyTag tag, void *value) {
    if (!env || !key || !value) return 0;
    EnvelopeKey *k = from_id(key);
    if (from_id(env)->index_of(k) < 0) return 0;
    if (tag == LWKEY_SHAPE) {
        *static_cast<int *>(value) = k->shape;
        return 1;
    }
    double *field = key_field(*k, tag);
    if (!field) return 0;
    *static_cast<double *>(value) = *field;
    return 1;
}

// ---- The "Channel Info 2" service.

LWChanGroupID ch_next_group(LWChanGroupID parent, LWChanGroupID group) {
    EnvelopeSystem *sys = envelopes();
    if (!sys) return nullptr;
    const auto &list = parent ? from_id(parent)->groups : sys->root_groups();
    if (!group) return list.empty() ? nullptr : to_id(list.front());
    auto it = std::find(list.begin(), list.end(), from_id(group));
    if (it == list.end() || ++it == list.end()) return nullptr;
    return to_id(*it);
}

LWChannelID ch_next_channel(LWChanGroupID parent, LWChannelID chan) {
    EnvelopeSystem *sys = envelopes();
    if (!sys) return nullptr;
    const auto &list = parent ? from_id(parent)->channels : sys->root_channels();
    if (!chan) return list.empty() ? nullptr : to_id(list.front());
    auto it = std::find(list.begin(), list.end(), from_id(chan));
    if (it == list.end() || ++it == list.end()) return nullptr;
    return to_id(*it);
}

const char *ch_group_name(LWChanGroupID group) { return group ? from_id(group)->name.c_str() : nullptr; }
const char *ch_channel_name(LWChannelID chan) { return chan ? from_id(chan)->name.c_str() : nullptr; }
LWChanGroupID ch_group_parent(LWChanGroupID group) { return group ? to_id(from_id(group)->parent) : nullptr; }
LWChanGroupID ch_channel_parent(LWChannelID chan) { return chan ? to_id(from_id(chan)->group) : nullptr; }
int ch_channel_type(LWChannelID chan) { return chan ? from_id(chan)->type : 0; }
double ch_channel_evaluate(LWChannelID chan, LWTime time) { return chan ? from_id(chan)->value_at(time) : 0.0; }
LWEnvelopeID ch_channel_envelope(LWChannelID chan) { return chan ? to_id(&from_id(chan)->envelope) : nullptr; }

}  // namespace

const LWEnvelopeFuncs &envelope_funcs() {
    static const LWEnvelopeFuncs funcs = {
        env_create,     env_destroy,  env_create_group, env_destroy_group, env_copy,
        env_load,       env_save,     env_evaluate,     env_edit,          env_age,
        env_create_key, env_destroy_key, env_find_key,  env_next_key,      env_prev_key,
        env_key_set,    env_key_get,
    };
    return funcs;
}

const LWChannelInfo &channel_info_funcs() {
    static const LWChannelInfo funcs = {
        ch_next_group,   ch_next_channel,    ch_group_name,       ch_channel_name,    ch_group_parent,
        ch_channel_parent, ch_channel_type, ch_channel_evaluate, ch_channel_envelope,
    };
    return funcs;
}

}  // namespace refhost
