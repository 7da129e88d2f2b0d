// Variant parameters: a value of one or three channels that may be animated per channel
// by an envelope and may carry a texture. LWVParmID is a VParm*.
//
// Value at a time: each channel's envelope when it has keys, else the channel's constant.
// At a spot (getVal with a micropolygon) a texture, when there is one, is applied:
//  - one-channel parameters: value times the texture's first output;
//  - colour parameters: the texture's layers blend over the value by their opacities.
// Without a spot, or without a texture, the value alone.
#ifndef REFHOST_VPARM_H
#define REFHOST_VPARM_H

#include <map>
#include <memory>
#include <string>

#include "host/lwsdk.h"
#include "refhost/envelopes.h"
#include "refhost/textures.h"

namespace refhost {

class Host;

// Event codes the host sends to a parameter's event function.
constexpr int kVParmEventBoundingBox = 2;  // data: six doubles, x min, x max, y min, ...
constexpr int kVParmEventTextureAdded = 7;  // data: null

struct VParm {
    int env_type = LWVP_FLOAT;
    int tex_type = LWVPDT_NOTXTR;
    int components = 1;
    // Held channels, unlinked until setup places them: the parameter's name alone (one
    // channel) or "R", "G", "B" in the group given to setup (colour).
    Channel *channels[3] = {nullptr, nullptr, nullptr};
    ChannelGroup *group = nullptr;
    std::string name, plugin;
    LWTxtrContextID context = nullptr;
    LWVP_EventFunc *event = nullptr;
    void *user_data = nullptr;
    bool set_up = false;
    Texture *texture = nullptr;
    TextureSystem *textures = nullptr;  // for evaluation without a host lookup
};

class VParmSystem {
public:
    explicit VParmSystem(Host &host);
    ~VParmSystem();

    VParm *create(int env_type, int tex_type);
    void destroy(VParm *parm);
    bool owns(const VParm *parm) const { return parms_.count(parm) != 0; }
    void setup(VParm *parm, const char *name, ChannelGroup *group, LWTxtrContextID context,
               LWVP_EventFunc *event, const char *plugin, void *user_data);
    void copy(VParm *to, const VParm *from);

    // The value at a time, and at a spot when mp is given; safe from several threads.
    static double get(const VParm *parm, double time, LWMicropol *mp, double *result);
    // Makes a channel animated as the user's envelope button does: one key at time 0
    // holding the current value. Returns the envelope.
    Envelope *enable_envelope(VParm *parm, int component);
    void clear_envelopes(VParm *parm);
    // Gives the parameter a new empty texture of its type in its context, and tells the
    // plug-in (event 7). Null when the parameter takes no texture.
    Texture *attach_texture(VParm *parm);
    void remove_texture(VParm *parm);
    // Calls the parameter's event function; 0 when it has none.
    int send_event(VParm *parm, int code, void *data);

    void save(const VParm *parm, const LWSaveState *save) const;
    bool load(VParm *parm, const LWLoadState *load);

private:
    Texture *attach_texture_silently(VParm *parm);

    Host &host_;
    std::map<const VParm *, std::unique_ptr<VParm>> parms_;
};

const LWVParmFuncs &vparm_funcs();

// Asks the plug-in behind a parameter for its bounding box (event 2); the box starts as
// the host's fallback of -0.5 to 0.5 on each axis. Returns the event function's result.
int vparm_request_bounding_box(LWVParmID parm, double box[6]);

inline LWVParmID to_id(const VParm *p) { return reinterpret_cast<LWVParmID>(const_cast<VParm *>(p)); }
inline VParm *from_id(LWVParmID id) { return reinterpret_cast<VParm *>(id); }

}  // namespace refhost

#endif
