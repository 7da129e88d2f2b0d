#include "refhost/textures.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "refhost/host.h"

namespace refhost {

namespace {

constexpr int kSaveVersion = 1;

// ---- Lattice value noise: a hashed value at each integer point, blended smoothly.

double lattice_value(int64_t x, int64_t y, int64_t z) {
    uint64_t h = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full;
    h ^= static_cast<uint64_t>(z) * 0x165667B19E3779F9ull;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return static_cast<double>(h >> 11) / 9007199254740992.0;  // [0, 1)
}

double fade(double t) { return t * t * (3.0 - 2.0 * t); }

double value_noise(double x, double y, double z) {
    const double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    const auto ix = static_cast<int64_t>(fx), iy = static_cast<int64_t>(fy), iz = static_cast<int64_t>(fz);
    const double u = fade(x - fx), v = fade(y - fy), w = fade(z - fz);
    double c[2][2][2];
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            for (int k = 0; k < 2; ++k) c[i][j][k] = lattice_value(ix + i, iy + j, iz + k);
    auto lerp = [](double a, double b, double t) { return a + t * (b - a); };
    const double x00 = lerp(c[0][0][0], c[1][0][0], u), x10 = lerp(c[0][1][0], c[1][1][0], u);
    const double x01 = lerp(c[0][0][1], c[1][0][1], u), x11 = lerp(c[0][1][1], c[1][1][1], u);
    return lerp(lerp(x00, x10, v), lerp(x01, x11, v), w);
}

int wrap(int i, int n) {
    const int m = i % n;
    return m < 0 ? m + n : m;
}

double luminance(const float *rgb) {
    return 0.2126 * static_cast<double>(rgb[0]) + 0.7152 * static_cast<double>(rgb[1]) +
           0.0722 * static_cast<double>(rgb[2]);
}

TextureSystem *textures() {
    Host *host = Host::current();
    return host ? &host->component<TextureSystem>() : nullptr;
}

const ContextInput *context_input(const Texture *t, int number) {
    if (!t->context || number < 1 || static_cast<size_t>(number) > t->context->inputs.size()) return nullptr;
    return t->context->inputs[number - 1].get();
}

bool uses_context_input(const TextureLayer *l) {
    return l->type == TLT_GRAD && l->gradient_input != kGradientWorldY && context_input(l->texture, l->gradient_input);
}

}  // namespace

TextureSystem::TextureSystem(Host &host) : host_(host) {}
// At host teardown a plug-in may be gone already: per-time data is not handed back.
TextureSystem::~TextureSystem() = default;

TextureContext *TextureSystem::create_context(const LWTxtrParamFuncs &funcs) {
    auto c = std::make_unique<TextureContext>();
    c->funcs = funcs;
    TextureContext *raw = c.get();
    contexts_[raw] = std::move(c);
    return raw;
}

void TextureSystem::destroy_context(TextureContext *context) {
    if (!owns(context)) return;
    // Textures in the context hand back their per-time data and lose the extra inputs.
    for (auto &entry : textures_) {
        Texture *t = entry.second.get();
        if (t->context != context) continue;
        for (auto &l : t->layers) release_time_data(l.get());
        t->context = nullptr;
    }
    contexts_.erase(context);
}

Texture *TextureSystem::create(int return_type, const std::string &name, TextureContext *context, void *user_data) {
    auto t = std::make_unique<Texture>();
    t->system = this;
    t->return_type = return_type;
    t->name = name;
    t->context = owns(context) ? context : nullptr;
    t->user_data = user_data;
    Texture *raw = t.get();
    textures_[raw] = std::move(t);
    return raw;
}

void TextureSystem::destroy(Texture *texture) {
    if (!owns(texture)) return;
    for (auto &l : texture->layers) destroy_layer(l.get());
    textures_.erase(texture);
}

void TextureSystem::destroy_layer(TextureLayer *l) {
    release_time_data(l);
    EnvelopeSystem &env = host_.component<EnvelopeSystem>();
    if (l->opacity) {
        l->opacity->held = false;
        env.destroy_channel(l->opacity);
        l->opacity = nullptr;
    }
    if (l->group) {
        l->group->held = false;
        env.destroy_group(l->group);
        l->group = nullptr;
    }
}

void TextureSystem::make_layer_group(TextureLayer *l) {
    EnvelopeSystem &env = host_.component<EnvelopeSystem>();
    Texture *t = l->texture;
    if (t->env_group && !env.owns(t->env_group)) t->env_group = nullptr;  // destroyed under us
    // Named after the texture, so that several textures' layers can share a group.
    const std::string name = (t->name.empty() ? "" : t->name + ".") + "Layer" + std::to_string(t->layers.size());
    l->group = env.create_group(t->env_group, name, /*held=*/true);
    if (!l->opacity) l->opacity = env.create_channel(l->group, "Opacity", LWVP_PERCENT, /*held=*/true);
    else env.attach_channel(l->opacity, l->group, "Opacity");
}

TextureLayer *TextureSystem::add_layer(Texture *t, int type) {
    if (!owns(t) || type < TLT_IMAGE || type > TLT_GRAD) return nullptr;
    t->layers.push_back(std::make_unique<TextureLayer>());
    TextureLayer *l = t->layers.back().get();
    l->texture = t;
    make_layer_group(l);
    l->opacity->constant = 1.0;
    set_layer_type(l, type);
    return l;
}

void TextureSystem::set_layer_type(TextureLayer *l, int type) {
    if (type < TLT_IMAGE || type > TLT_GRAD) return;
    release_time_data(l);
    l->type = type;
    if (type == TLT_GRAD) set_gradient_input(l, l->gradient_input);
}

void TextureSystem::drop_layer_group(TextureLayer *l) {
    if (!l->group) return;
    // The opacity keeps its value and keys, in a channel that no group lists.
    EnvelopeSystem &env = host_.component<EnvelopeSystem>();
    env.detach_channel(l->opacity);
    l->group->held = false;
    env.destroy_group(l->group);
    l->group = nullptr;
}

void TextureSystem::set_gradient_item(TextureLayer *l, LWItemID item) {
    std::lock_guard<std::mutex> lock(l->texture->data_mutex);
    // Data made for the old item is handed back; the next use makes it for the new one.
    release_time_data(l);
    l->gradient_item = item;
    refresh_row(l);
}

void TextureSystem::set_env_group(Texture *t, ChannelGroup *group) {
    t->env_group = group;
    EnvelopeSystem &env = host_.component<EnvelopeSystem>();
    for (auto &l : t->layers)
        if (l->group) env.move_group(l->group, group);
}

void TextureSystem::refresh_row(TextureLayer *l) {
    const ContextInput *in = context_input(l->texture, l->gradient_input);
    if (!in) {
        l->row = ContextInput{};
        return;
    }
    l->row.desc = in->desc;
    l->row.name = in->name;
    l->row.desc.name = const_cast<char *>(l->row.name.c_str());
    l->row.desc.itemID = l->gradient_item;
    // The picked item's name (a weight map's handle names the map itself).
    l->row.item_name.clear();
    if (l->gradient_item) {
        if (in->desc.itemType == 4) {
            l->row.item_name = Scene::weight_map_name(l->gradient_item);
        } else {
            // Only scene items have names; pseudo-items such as radiosity have none.
            for (const auto &it : host_.scene().all_items())
                if (to_id(it.get()) == l->gradient_item) l->row.item_name = it->name;
        }
    }
    l->row.desc.itemName = l->gradient_item ? const_cast<char *>(l->row.item_name.c_str()) : nullptr;
}

void TextureSystem::set_gradient_input(TextureLayer *l, int input) {
    release_time_data(l);
    l->gradient_input = input;
    double start = 0.0, end = 1.0;
    if (const ContextInput *in = context_input(l->texture, input)) {
        start = in->desc.start;
        end = in->desc.end;
    }
    l->keys.assign(2, GradientKey{});
    l->keys[0].position = start;
    l->keys[1].position = end;
    for (double &v : l->keys[1].value) v = 1.0;
    refresh_row(l);
}

void TextureSystem::release_time_data(TextureLayer *l) {
    if (!l->has_time_data.load()) return;
    const Texture *t = l->texture;
    if (t->context && t->context->funcs.paramCleanup)
        t->context->funcs.paramCleanup(&l->row.desc, l->gradient_input, l->time_data);
    l->time_data = nullptr;
    l->has_time_data.store(false);
}

void TextureSystem::ensure_time_data(TextureLayer *l) {
    if (l->has_time_data.load(std::memory_order_acquire)) return;
    Texture *t = l->texture;
    std::lock_guard<std::mutex> lock(t->data_mutex);
    if (l->has_time_data.load(std::memory_order_relaxed)) return;
    refresh_row(l);
    l->time_data = t->context->funcs.paramTime
                       ? t->context->funcs.paramTime(t->user_data, &l->row.desc, l->gradient_input, t->time, t->frame)
                       : nullptr;
    l->data_time = t->time;
    l->has_time_data.store(true, std::memory_order_release);
}

void TextureSystem::new_time(Texture *t, double time, LWFrame frame) {
    {
        std::lock_guard<std::mutex> lock(t->data_mutex);
        if (t->time_set && t->time == time && t->frame == frame) return;
        // A new time: what was made for the old one is handed back first.
        for (auto &l : t->layers) release_time_data(l.get());
        t->time = time;
        t->frame = frame;
        t->time_set = true;
    }
    for (auto &l : t->layers)
        if (l->active && uses_context_input(l.get())) ensure_time_data(l.get());
}

void TextureSystem::cleanup(Texture *t) {
    std::lock_guard<std::mutex> lock(t->data_mutex);
    for (auto &l : t->layers) release_time_data(l.get());
    t->time_set = false;
}

void TextureSystem::layer_value(TextureLayer *l, LWMicropol *mp, double out[3]) {
    const Texture *t = l->texture;
    for (int i = 0; i < 3; ++i) out[i] = 0.0;
    switch (l->type) {
    case TLT_PROC: {
        double n = 1.0;
        if (l->procedure == Procedure::Noise)
            n = value_noise(mp->oPos[0] / l->size[0], mp->oPos[1] / l->size[1], mp->oPos[2] / l->size[2]);
        for (int i = 0; i < 3; ++i) out[i] = l->value[i] * n;
        break;
    }
    case TLT_IMAGE: {
        const Image *img = l->image;
        if (!img || img->width <= 0 || img->height <= 0 ||
            img->rgb.size() < static_cast<size_t>(img->width) * static_cast<size_t>(img->height) * 3)
            break;
        // Planar projection: the two axes other than the projection axis span the image.
        const int a = l->axis == 0 ? 2 : 0;
        const int b = l->axis == 1 ? 2 : 1;
        const double u = (mp->oPos[a] - l->center[a]) / l->size[a] + 0.5;
        const double v = (mp->oPos[b] - l->center[b]) / l->size[b] + 0.5;
        if (!std::isfinite(u) || !std::isfinite(v)) break;
        const int px = wrap(static_cast<int>(std::floor(u * img->width)), img->width);
        const int py = wrap(static_cast<int>(std::floor((1.0 - v) * img->height)), img->height);
        const float *rgb = &img->rgb[(static_cast<size_t>(py) * img->width + px) * 3];
        if (t->return_type == TRT_COLOR) {
            for (int i = 0; i < 3; ++i) out[i] = static_cast<double>(rgb[i]);
        } else {
            const double y = luminance(rgb);
            for (int i = 0; i < 3; ++i) out[i] = y;
        }
        break;
    }
    case TLT_GRAD: {
        double x = mp->wPos[1];
        if (l->gradient_input != kGradientWorldY) {
            if (!uses_context_input(l)) break;
            ensure_time_data(l);
            x = t->context->funcs.paramEvaluate
                    ? t->context->funcs.paramEvaluate(&l->row.desc, l->gradient_input, mp, l->time_data)
                    : 0.0;
        }
        if (l->keys.empty()) break;
        const GradientKey *k0 = &l->keys.front();
        const GradientKey *k1 = k0;
        if (x >= l->keys.back().position) {
            k0 = k1 = &l->keys.back();
        } else {
            for (size_t i = 1; i < l->keys.size(); ++i) {
                if (x < l->keys[i].position) {
                    if (x >= l->keys[i - 1].position) {
                        k0 = &l->keys[i - 1];
                        k1 = &l->keys[i];
                    }
                    break;
                }
            }
        }
        const double span = k1->position - k0->position;
        const double s = span > 0.0 ? (x - k0->position) / span : 0.0;
        for (int i = 0; i < 3; ++i) out[i] = k0->value[i] + s * (k1->value[i] - k0->value[i]);
        break;
    }
    default: break;
    }
    if (l->invert)
        for (int i = 0; i < 3; ++i) out[i] = 1.0 - out[i];
}

double TextureSystem::evaluate(Texture *t, LWMicropol *mp, const double base[3], double out[3]) {
    double r[3] = {base[0], base[1], base[2]};
    LWMicropol blank;
    if (!mp) {
        std::memset(&blank, 0, sizeof blank);
        mp = &blank;
    }
    for (auto &l : t->layers) {
        if (!l->active) continue;
        double v[3];
        layer_value(l.get(), mp, v);
        const double a = l->opacity_at(t->time);
        for (int i = 0; i < 3; ++i) r[i] = r[i] + a * (v[i] - r[i]);
    }
    for (int i = 0; i < 3; ++i) out[i] = r[i];
    return r[0];
}

void TextureSystem::copy(Texture *to, const Texture *from) {
    if (to == from || !owns(to) || !from) return;
    for (auto &l : to->layers) destroy_layer(l.get());
    to->layers.clear();
    for (const auto &src : from->layers) {
        TextureLayer *l = add_layer(to, src->type);
        l->procedure = src->procedure;
        l->active = src->active;
        l->invert = src->invert;
        std::memcpy(l->value, src->value, sizeof l->value);
        l->image = src->image;
        l->axis = src->axis;
        std::memcpy(l->center, src->center, sizeof l->center);
        std::memcpy(l->size, src->size, sizeof l->size);
        l->gradient_input = src->gradient_input;
        l->gradient_item = src->gradient_item;
        l->keys = src->keys;
        if (src->opacity) {
            l->opacity->constant = src->opacity->constant;
            l->opacity->envelope.copy_keys_from(src->opacity->envelope);
        }
        if (!src->group) drop_layer_group(l);
        refresh_row(l);
    }
}

// ---- Saving and loading: per layer its settings, its opacity with envelope, and its
// image by name only.

namespace {

void write_i4(const LWSaveState *s, int v) { s->writeI4(s->writeData, &v, 1); }

int read_i4(const LWLoadState *l, int fallback = 0) {
    int v = 0;
    return l->readI4(l->readData, &v, 1) == 1 ? v : fallback;
}

std::string read_str(const LWLoadState *l) {
    char buf[512] = {};
    l->readStr(l->readData, buf, sizeof buf);
    buf[sizeof buf - 1] = '\0';
    return buf;
}

}  // namespace

void TextureSystem::save(const Texture *t, const LWSaveState *s) const {
    write_i4(s, kSaveVersion);
    write_i4(s, static_cast<int>(t->layers.size()));
    for (const auto &l : t->layers) {
        write_i4(s, l->type);
        write_i4(s, l->procedure == Procedure::Noise ? 0 : 1);
        write_i4(s, l->active ? 1 : 0);
        write_i4(s, l->invert ? 1 : 0);
        write_i4(s, l->group ? 1 : 0);
        write_double(s, l->opacity ? l->opacity->constant : 1.0);
        Envelope none;
        save_envelope(l->opacity ? l->opacity->envelope : none, s);
        for (double v : l->value) write_double(s, v);
        s->writeStr(s->writeData, l->image ? l->image->name.c_str() : "");
        write_i4(s, l->axis);
        for (double v : l->center) write_double(s, v);
        for (double v : l->size) write_double(s, v);
        write_i4(s, l->gradient_input);
        // The picked item by name: 1 a scene item, 2 a weight map.
        const ContextInput *in = context_input(t, l->gradient_input);
        const bool vmap = in && in->desc.itemType == 4;
        write_i4(s, l->gradient_item ? (vmap ? 2 : 1) : 0);
        s->writeStr(s->writeData, l->row.item_name.c_str());
        write_i4(s, static_cast<int>(l->keys.size()));
        for (const GradientKey &k : l->keys) {
            write_double(s, k.position);
            for (double v : k.value) write_double(s, v);
        }
    }
}

bool TextureSystem::load(Texture *t, const LWLoadState *ld) {
    if (read_i4(ld) != kSaveVersion) return false;
    const int count = read_i4(ld);
    if (count < 0) return false;
    {
        std::lock_guard<std::mutex> lock(t->data_mutex);
        for (auto &l : t->layers) destroy_layer(l.get());
        t->layers.clear();
    }
    Scene &scene = host_.scene();
    for (int n = 0; n < count; ++n) {
        // The count comes from the data: layers end where the data does.
        int type = read_i4(ld, INT_MIN);
        if (type == INT_MIN) break;
        if (type < TLT_IMAGE || type > TLT_GRAD) type = TLT_PROC;
        TextureLayer *l = add_layer(t, type);
        l->procedure = read_i4(ld) == 0 ? Procedure::Noise : Procedure::Constant;
        l->active = read_i4(ld, 1) != 0;
        l->invert = read_i4(ld) != 0;
        const bool grouped = read_i4(ld, 1) != 0;
        l->opacity->constant = read_double(ld, 1.0);
        load_envelope(l->opacity->envelope, ld);
        for (double &v : l->value) v = read_double(ld, 1.0);
        const std::string image = read_str(ld);
        l->image = nullptr;
        for (const auto &img : scene.images())
            if (!image.empty() && img->name == image) {
                l->image = img.get();
                break;
            }
        l->axis = read_i4(ld, 2);
        if (l->axis < 0 || l->axis > 2) l->axis = 2;
        for (double &v : l->center) v = read_double(ld);
        for (double &v : l->size) v = read_double(ld, 1.0);
        l->gradient_input = read_i4(ld);
        const int item_kind = read_i4(ld);
        const std::string item = read_str(ld);
        l->gradient_item = nullptr;
        // The kind must suit the input: a weight map only for a weight-map input, a scene
        // item only for another one (the save writes the handle as that kind).
        const ContextInput *in = context_input(t, l->gradient_input);
        const bool vmap_input = in && in->desc.itemType == 4;
        if (item_kind == 2 && vmap_input) {
            l->gradient_item = reinterpret_cast<LWItemID>(scene.weight_map_handle(item));
        } else if (item_kind == 1 && !vmap_input) {
            for (const auto &it : scene.all_items())
                if (it->name == item) {
                    l->gradient_item = to_id(it.get());
                    break;
                }
        }
        const int nkeys = read_i4(ld);
        l->keys.clear();
        for (int k = 0; k < nkeys && k < 4096; ++k) {
            GradientKey key;
            key.position = read_double(ld);
            for (double &v : key.value) v = read_double(ld);
            l->keys.push_back(key);
        }
        if (!grouped) drop_layer_group(l);
        refresh_row(l);
    }
    return true;
}

// ---- The "Texture Functions 3" service.

namespace {

LWTxtrContextID tx_context_create(LWTxtrParamFuncs funcs) {
    TextureSystem *sys = textures();
    return sys ? to_id(sys->create_context(funcs)) : nullptr;
}

void tx_context_destroy(LWTxtrContextID context) {
    if (TextureSystem *sys = textures()) sys->destroy_context(from_id(context));
}

void tx_context_add_param(LWTxtrContextID context, LWTxtrParamDesc desc) {
    TextureSystem *sys = textures();
    if (!sys || !sys->owns(from_id(context))) return;
    auto in = std::make_unique<ContextInput>();
    in->desc = desc;
    in->name = desc.name ? desc.name : "";
    in->item_name = desc.itemName ? desc.itemName : "";
    in->desc.name = const_cast<char *>(in->name.c_str());
    in->desc.itemName = desc.itemName ? const_cast<char *>(in->item_name.c_str()) : nullptr;
    from_id(context)->inputs.push_back(std::move(in));
}

LWTextureID tx_create(int return_type, const char *name, LWTxtrContextID context, void *user_data) {
    TextureSystem *sys = textures();
    return sys ? to_id(sys->create(return_type, name ? name : "", from_id(context), user_data)) : nullptr;
}

void tx_destroy(LWTextureID t) {
    if (TextureSystem *sys = textures()) sys->destroy(from_id(t));
}

void tx_copy(LWTextureID to, LWTextureID from) {
    if (TextureSystem *sys = textures()) sys->copy(from_id(to), from_id(from));
}

void tx_newtime(LWTextureID t, LWTime time, LWFrame frame) {
    if (t)
        if (TextureSystem *sys = textures()) sys->new_time(from_id(t), time, frame);
}

void tx_cleanup(LWTextureID t) {
    if (t)
        if (TextureSystem *sys = textures()) sys->cleanup(from_id(t));
}

void tx_load(LWTextureID t, const LWLoadState *load) {
    if (t && load)
        if (TextureSystem *sys = textures()) sys->load(from_id(t), load);
}

void tx_save(LWTextureID t, const LWSaveState *save) {
    if (t && save)
        if (TextureSystem *sys = textures()) sys->save(from_id(t), save);
}

// Render threads evaluate: the texture knows its system, so no host lookup is made.
double tx_evaluate(LWTextureID t, LWMicropol *mp, double *rv) {
    TextureSystem *sys = t ? from_id(t)->system : nullptr;
    if (!sys) return 0.0;
    const double zero[3] = {0, 0, 0};
    double out[3];
    const double r = sys->evaluate(from_id(t), mp, zero, out);
    if (rv) std::memcpy(rv, out, sizeof out);
    return r;
}

void tx_set_env_group(LWTextureID t, LWChanGroupID group) {
    if (t)
        if (TextureSystem *sys = textures()) sys->set_env_group(from_id(t), from_id(group));
}

LWTLayerID tx_first_layer(LWTextureID t) {
    if (!t || from_id(t)->layers.empty()) return nullptr;
    return to_id(from_id(t)->layers.front().get());
}

LWTLayerID tx_last_layer(LWTextureID t) {
    if (!t || from_id(t)->layers.empty()) return nullptr;
    return to_id(from_id(t)->layers.back().get());
}

LWTLayerID tx_next_layer(LWTextureID t, LWTLayerID layer) {
    if (!t) return nullptr;
    if (!layer) return tx_first_layer(t);
    const auto &layers = from_id(t)->layers;
    for (size_t i = 0; i + 1 < layers.size(); ++i)
        if (layers[i].get() == from_id(layer)) return to_id(layers[i + 1].get());
    return nullptr;
}

LWTLayerID tx_layer_add(LWTextureID t, int type) {
    TextureSystem *sys = textures();
    return sys && t ? to_id(sys->add_layer(from_id(t), type)) : nullptr;
}

void tx_layer_set_type(LWTLayerID layer, int type) {
    if (layer)
        if (TextureSystem *sys = textures()) sys->set_layer_type(from_id(layer), type);
}

int tx_layer_type(LWTLayerID layer) { return layer ? from_id(layer)->type : -1; }

double tx_layer_evaluate(LWTLayerID layer, LWMicropol *mp, double *rv) {
    TextureSystem *sys = layer ? from_id(layer)->texture->system : nullptr;
    if (!sys) return 0.0;
    LWMicropol blank;
    if (!mp) {
        std::memset(&blank, 0, sizeof blank);
        mp = &blank;
    }
    double out[3];
    sys->layer_value(from_id(layer), mp, out);
    if (rv) std::memcpy(rv, out, sizeof out);
    return out[0];
}

LWChanGroupID tx_layer_env_group(LWTLayerID layer) { return layer ? to_id(from_id(layer)->group) : nullptr; }

// Layer settings by tag: TXTAG_IMAGE (LWImageID, image layers only), TXTAG_OPAC (double),
// TXTAG_AXIS (int), TXTAG_POSI and TXTAG_SIZE (three doubles), TXTAG_INPUT (int, a
// gradient's input), TXTAG_ROBJ (LWItemID, a gradient's picked item), TXTAG_ACTIVE and
// TXTAG_INVERT (int). 1 when the tag applies, else 0.
int tx_set_param(LWTLayerID layer, int tag, void *data) {
    TextureSystem *sys = textures();
    if (!sys || !layer || !data) return 0;
    TextureLayer *l = from_id(layer);
    switch (tag) {
    case TXTAG_IMAGE:
        if (l->type != TLT_IMAGE) return 0;
        l->image = from_id(*static_cast<LWImageID *>(data));
        return 1;
    case TXTAG_OPAC: l->set_opacity(*static_cast<double *>(data)); return 1;
    case TXTAG_AXIS: {
        const int axis = *static_cast<int *>(data);
        if (axis < 0 || axis > 2) return 0;
        l->axis = axis;
        return 1;
    }
    case TXTAG_POSI: std::memcpy(l->center, data, sizeof l->center); return 1;
    case TXTAG_SIZE: std::memcpy(l->size, data, sizeof l->size); return 1;
    case TXTAG_INPUT:
        if (l->type != TLT_GRAD) return 0;
        sys->set_gradient_input(l, *static_cast<int *>(data));
        return 1;
    case TXTAG_ROBJ:
        sys->set_gradient_item(l, *static_cast<LWItemID *>(data));
        return 1;
    case TXTAG_ACTIVE: l->active = *static_cast<int *>(data) != 0; return 1;
    case TXTAG_INVERT: l->invert = *static_cast<int *>(data) != 0; return 1;
    default: return 0;
    }
}

int tx_get_param(LWTLayerID layer, int tag, void *data) {
    if (!layer || !data) return 0;
    TextureLayer *l = from_id(layer);
    switch (tag) {
    case TXTAG_IMAGE:
        if (l->type != TLT_IMAGE) return 0;
        *static_cast<LWImageID *>(data) = to_id(l->image);
        return 1;
    case TXTAG_OPAC: *static_cast<double *>(data) = l->opacity ? l->opacity->constant : 1.0; return 1;
    case TXTAG_AXIS: *static_cast<int *>(data) = l->axis; return 1;
    case TXTAG_POSI: std::memcpy(data, l->center, sizeof l->center); return 1;
    case TXTAG_SIZE: std::memcpy(data, l->size, sizeof l->size); return 1;
    case TXTAG_INPUT:
        if (l->type != TLT_GRAD) return 0;
        *static_cast<int *>(data) = l->gradient_input;
        return 1;
    case TXTAG_ROBJ: *static_cast<LWItemID *>(data) = l->gradient_item; return 1;
    case TXTAG_ACTIVE: *static_cast<int *>(data) = l->active ? 1 : 0; return 1;
    case TXTAG_INVERT: *static_cast<int *>(data) = l->invert ? 1 : 0; return 1;
    default: return 0;
    }
}

}  // namespace

const LWTextureFuncs &texture_funcs() {
    static const LWTextureFuncs funcs = {
        tx_context_create, tx_context_destroy, tx_context_add_param, tx_create,       tx_destroy,
        tx_copy,           tx_newtime,         tx_cleanup,           tx_load,         tx_save,
        tx_evaluate,       tx_set_env_group,   tx_first_layer,       tx_last_layer,   tx_next_layer,
        tx_layer_add,      tx_layer_set_type,  tx_layer_type,        tx_layer_evaluate, tx_layer_env_group,
        tx_set_param,      tx_get_param,
    };
    return funcs;
}

const std::vector<std::unique_ptr<ContextInput>> &context_inputs(LWTxtrContextID context) {
    static const std::vector<std::unique_ptr<ContextInput>> none;
    return context ? from_id(context)->inputs : none;
}

}  // namespace refhost
