// Textures: stacks of layers evaluated at a spot, and texture contexts that lend a
// texture's gradients extra inputs computed by a plug-in. LWTextureID is a Texture*,
// LWTLayerID a TextureLayer*, LWTxtrContextID a TextureContext*.
#ifndef REFHOST_TEXTURES_H
#define REFHOST_TEXTURES_H

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/envelopes.h"
#include "refhost/scene.h"

namespace refhost {

class Host;
class TextureSystem;
struct Texture;

// One registered input of a context: the plug-in's row, with its texts owned here.
struct ContextInput {
    LWTxtrParamDesc desc{};
    std::string name, item_name;
};

struct TextureContext {
    LWTxtrParamFuncs funcs{};
    std::vector<std::unique_ptr<ContextInput>> inputs;  // input number N is inputs[N - 1]
};

// What a procedural layer computes.
enum class Procedure { Noise, Constant };

// A gradient's input: 0 is the built-in world Y position of the spot; N >= 1 is the
// texture context's input number N.
constexpr int kGradientWorldY = 0;

struct GradientKey {
    double position = 0.0;  // in the input's units
    double value[3] = {0, 0, 0};
};

// One layer. Its value at a spot (before opacity):
//  - procedural Constant: `value`; procedural Noise: `value` times a lattice value noise of
//    the spot's object position divided by `size`, in [0, 1];
//  - image: the pixel of `image` under a planar projection of the object position along
//    `axis` (0 X, 1 Y, 2 Z), centred on `center` with `size` covering the image once and
//    repeating; colour textures take its RGB, others its luminance in every component;
//  - gradient: the keys interpolated linearly over the input value, held beyond the ends.
// `invert` turns v into 1 - v. Opacity is the "Opacity" channel of the layer's group.
struct TextureLayer {
    Texture *texture = nullptr;
    int type = TLT_PROC;
    Procedure procedure = Procedure::Noise;
    bool active = true;
    bool invert = false;
    ChannelGroup *group = nullptr;  // the layer's envelope group; may be null
    Channel *opacity = nullptr;     // in `group`, or unlinked when there is none
    double value[3] = {1.0, 1.0, 1.0};
    Image *image = nullptr;
    int axis = 2;
    double center[3] = {0, 0, 0};
    double size[3] = {1, 1, 1};
    int gradient_input = kGradientWorldY;
    LWItemID gradient_item = nullptr;
    std::vector<GradientKey> keys;

    // Per-time data of a gradient over a context input: the row copy the plug-in sees
    // (its itemID is the picked item) and what its paramTime returned.
    ContextInput row;
    gParamData time_data = nullptr;
    std::atomic<bool> has_time_data{false};
    double data_time = 0.0;

    double opacity_at(double time) const { return opacity ? opacity->value_at(time) : 1.0; }
    void set_opacity(double v) {
        if (opacity) opacity->constant = v;
    }
};

// Layers stack from the first (bottom) to the last (top); each blends over the result of
// those below it by its opacity, starting from zero.
struct Texture {
    TextureSystem *system = nullptr;  // evaluation reaches it without asking the host
    int return_type = TRT_PERCENT;
    std::string name;
    TextureContext *context = nullptr;
    void *user_data = nullptr;
    ChannelGroup *env_group = nullptr;
    std::vector<std::unique_ptr<TextureLayer>> layers;
    double time = 0.0;
    LWFrame frame = 0;
    bool time_set = false;
    std::mutex data_mutex;  // guards per-time data made on first use by render threads
};

class TextureSystem {
public:
    explicit TextureSystem(Host &host);
    ~TextureSystem();

    TextureContext *create_context(const LWTxtrParamFuncs &funcs);
    void destroy_context(TextureContext *context);
    bool owns(const TextureContext *context) const { return contexts_.count(context) != 0; }

    Texture *create(int return_type, const std::string &name, TextureContext *context, void *user_data);
    void destroy(Texture *texture);
    bool owns(const Texture *texture) const { return textures_.count(texture) != 0; }
    void copy(Texture *to, const Texture *from);

    TextureLayer *add_layer(Texture *texture, int type);
    void set_layer_type(TextureLayer *layer, int type);
    void set_env_group(Texture *texture, ChannelGroup *group);
    // Removes the layer's envelope group; its opacity stays, in a channel no group lists.
    void drop_layer_group(TextureLayer *layer);
    // Chooses a gradient's input and resets its keys to the input's range (0 to 1 over
    // the input's start and end).
    void set_gradient_input(TextureLayer *layer, int input);
    void set_gradient_item(TextureLayer *layer, LWItemID item);

    void new_time(Texture *texture, double time, LWFrame frame);
    void cleanup(Texture *texture);

    // Blends the layers over base (three values) at a spot into out; returns out[0].
    double evaluate(Texture *texture, LWMicropol *mp, const double base[3], double out[3]);
    // A layer's own value at a spot, before opacity.
    void layer_value(TextureLayer *layer, LWMicropol *mp, double out[3]);

    void save(const Texture *texture, const LWSaveState *save) const;
    bool load(Texture *texture, const LWLoadState *load);

private:
    void release_time_data(TextureLayer *layer);
    void ensure_time_data(TextureLayer *layer);
    void make_layer_group(TextureLayer *layer);
    void refresh_row(TextureLayer *layer);
    void destroy_layer(TextureLayer *layer);

    Host &host_;
    std::map<const TextureContext *, std::unique_ptr<TextureContext>> contexts_;
    std::map<const Texture *, std::unique_ptr<Texture>> textures_;
};

const LWTextureFuncs &texture_funcs();

// The inputs a plug-in registered with a context, in order.
const std::vector<std::unique_ptr<ContextInput>> &context_inputs(LWTxtrContextID context);

inline LWTextureID to_id(const Texture *t) { return reinterpret_cast<LWTextureID>(const_cast<Texture *>(t)); }
inline Texture *from_id(LWTextureID id) { return reinterpret_cast<Texture *>(id); }
inline LWTLayerID to_id(const TextureLayer *l) { return reinterpret_cast<LWTLayerID>(const_cast<TextureLayer *>(l)); }
inline TextureLayer *from_id(LWTLayerID id) { return reinterpret_cast<TextureLayer *>(id); }
inline LWTxtrContextID to_id(const TextureContext *c) { return reinterpret_cast<LWTxtrContextID>(const_cast<TextureContext *>(c)); }
inline TextureContext *from_id(LWTxtrContextID id) { return reinterpret_cast<TextureContext *>(id); }

}  // namespace refhost

#endif
