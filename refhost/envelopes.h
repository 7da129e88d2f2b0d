// Animation channels: a tree of named channel groups holding channels, each channel
// carrying one envelope of keys. LWChanGroupID is a ChannelGroup*, LWChannelID a Channel*,
// LWEnvelopeID an Envelope* and LWEnvKeyframeID an EnvelopeKey*.
#ifndef REFHOST_ENVELOPES_H
#define REFHOST_ENVELOPES_H

#include <memory>
#include <string>
#include <vector>

#include "host/lwsdk.h"

namespace refhost {

class Host;
struct Channel;

struct EnvelopeKey {
    double time = 0.0;
    double value = 0.0;
    int shape = SHAPE_TCB;
    double tension = 0.0, continuity = 0.0, bias = 0.0;
    double params[4] = {0, 0, 0, 0};
};

// Keys sorted by time. No key: 0; one key: its value everywhere; before the first and
// after the last key the end values hold. A span between two keys takes its curve from
// the shape of the key that ends it: step holds the earlier value, linear interpolates,
// every other shape is a Hermite curve with Kochanek-Bartels tangents (tension,
// continuity, bias), scaled for uneven key spacing.
struct Envelope {
    Channel *channel = nullptr;
    std::vector<std::unique_ptr<EnvelopeKey>> keys;

    double evaluate(double time) const;
    EnvelopeKey *add_key(double time, double value);  // replaces the value of a key at that time
    void remove_key(EnvelopeKey *key);
    void copy_keys_from(const Envelope &other);
    void sort_keys();
    bool has_keys() const { return !keys.empty(); }
    int index_of(const EnvelopeKey *key) const;  // -1 when not a key of this envelope
};

struct ChannelGroup {
    std::string name;
    ChannelGroup *parent = nullptr;  // null: the host's root
    std::vector<ChannelGroup *> groups;
    std::vector<Channel *> channels;
    // Held groups belong to another host object (a texture layer); destroying their parent
    // group only unlinks them.
    bool held = false;
    bool linked = false;  // listed in its parent's (or the root's) list
};

struct Channel {
    std::string name;
    int type = LWVP_FLOAT;
    ChannelGroup *group = nullptr;
    Envelope envelope;
    // Value of a channel whose envelope has no keys (a plain, unanimated setting).
    double constant = 0.0;
    bool held = false;  // owned by a variant parameter or texture layer
    bool linked = false;

    double value_at(double time) const {
        return envelope.has_keys() ? envelope.evaluate(time) : constant;
    }
};

// Every group and channel of one host. Structure edits are made outside rendering;
// evaluation only reads.
class EnvelopeSystem {
public:
    explicit EnvelopeSystem(Host &host);
    ~EnvelopeSystem();

    ChannelGroup *create_group(ChannelGroup *parent, const std::string &name, bool held = false);
    // Destroys a group with its unheld subgroups and channels; held ones are unlinked and
    // left to their owners (a held group keeps its contents).
    void destroy_group(ChannelGroup *group);
    void move_group(ChannelGroup *group, ChannelGroup *new_parent);

    // A channel in a group (null: the root). An unlinked channel belongs to no list until
    // attach_channel places it.
    Channel *create_channel(ChannelGroup *group, const std::string &name, int type, bool held = false,
                            bool linked = true);
    void attach_channel(Channel *channel, ChannelGroup *group, const std::string &name);
    void destroy_channel(Channel *channel);
    // Takes a channel out of its group's list; it lives on for its owner.
    void detach_channel(Channel *channel) { unlink(channel); }

    const std::vector<ChannelGroup *> &root_groups() const { return root_groups_; }
    const std::vector<Channel *> &root_channels() const { return root_channels_; }
    bool owns(const Channel *channel) const;
    bool owns(const ChannelGroup *group) const;
    // The group named `name` under parent (null: root), or null.
    ChannelGroup *find_group(ChannelGroup *parent, const std::string &name) const;
    Channel *find_channel(ChannelGroup *group, const std::string &name) const;

private:
    void unlink(ChannelGroup *group);
    void unlink(Channel *channel);

    std::vector<std::unique_ptr<ChannelGroup>> groups_;
    std::vector<std::unique_ptr<Channel>> channels_;
    std::vector<ChannelGroup *> root_groups_;
    std::vector<Channel *> root_channels_;
};

const LWEnvelopeFuncs &envelope_funcs();
const LWChannelInfo &channel_info_funcs();

// Doubles stored exactly through either block I/O mode: as text of 17 significant digits.
void write_double(const LWSaveState *save, double value);
double read_double(const LWLoadState *load, double fallback = 0.0);

// An envelope's keys as an "Envelope" block: I4 key count, then per key time, value
// (doubles), I4 shape, tension, continuity and bias (doubles).
void save_envelope(const Envelope &env, const LWSaveState *save);
// Replaces the keys with those of the next "Envelope" block; false when none is found.
bool load_envelope(Envelope &env, const LWLoadState *load);

inline LWChanGroupID to_id(const ChannelGroup *g) { return reinterpret_cast<LWChanGroupID>(const_cast<ChannelGroup *>(g)); }
inline ChannelGroup *from_id(LWChanGroupID id) { return reinterpret_cast<ChannelGroup *>(id); }
inline LWChannelID to_id(const Channel *c) { return reinterpret_cast<LWChannelID>(const_cast<Channel *>(c)); }
inline Channel *from_id(LWChannelID id) { return reinterpret_cast<Channel *>(id); }
inline LWEnvelopeID to_id(const Envelope *e) { return reinterpret_cast<LWEnvelopeID>(const_cast<Envelope *>(e)); }
inline Envelope *from_id(LWEnvelopeID id) { return reinterpret_cast<Envelope *>(id); }
inline LWEnvKeyframeID to_id(const EnvelopeKey *k) { return reinterpret_cast<LWEnvKeyframeID>(const_cast<EnvelopeKey *>(k)); }
inline EnvelopeKey *from_id(LWEnvKeyframeID id) { return reinterpret_cast<EnvelopeKey *>(id); }

}  // namespace refhost

#endif
