// "LWXPanel": declarative panels. The host keeps copies of a plug-in's control, value and
// hint tables and works a view panel through the plug-in's get and set callbacks, as its
// panel does when the user edits a control. LWXPanelID is an XPanel*.
//
// Hints are read as pointer-sized words: a tag, its fixed argument words and, for tags
// that take one, a list ended by a 0 word; a single 0 word ends the array. Fixed words:
// label 2 (ID, text) plus an empty list, group 1 (ID) plus its members, enable 4 (the
// switch's value ID and three reserved words) plus the controls it enables, tabs 1 (ID)
// plus its groups. A label with ID 0 is the panel's title. An unknown tag ends reading.
#ifndef REFHOST_XPANEL_H
#define REFHOST_XPANEL_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/envelopes.h"
#include "refhost/textures.h"

namespace refhost {

class Host;
struct VParm;

struct PanelControl {
    unsigned int cid = 0;
    std::string label, ctrlclass;
};

struct PanelValueDesc {
    unsigned int vid = 0;
    std::string name, datatype;
};

// A value as the panel holds it, by the kind its data type names: "integer" (and
// switches), floating types ("float", "distance", "percent", "angle", "time"), three-value
// types ("color", "fvec", "distance3"), the "-env" types (a variant parameter whose value
// is read with getVal at time 0 without a spot and written with setVal), and texts.
struct PanelValue {
    enum class Kind { None, Int, Float, Vector, VParm, Text };
    Kind kind = Kind::None;
    int i = 0;
    double d[3] = {0, 0, 0};
    LWVParmID vparm = nullptr;
    std::string text;

    static PanelValue of_int(int v) {
        PanelValue p;
        p.kind = Kind::Int;
        p.i = v;
        return p;
    }
    static PanelValue of_float(double v) {
        PanelValue p;
        p.kind = Kind::Float;
        p.d[0] = v;
        return p;
    }
    static PanelValue of_vector(double x, double y, double z) {
        PanelValue p;
        p.kind = Kind::Vector;
        p.d[0] = x, p.d[1] = y, p.d[2] = z;
        return p;
    }
};

PanelValue::Kind value_kind(const std::string &datatype);

// One tab of a tab set: its group, the group's label, and the controls under it, groups
// flattened in order.
struct PanelTab {
    unsigned int group = 0;
    std::string label;
    std::vector<unsigned int> controls;
};

struct PanelEnable {
    unsigned int switch_vid = 0;
    std::vector<unsigned int> controls;
};

class XPanel {
public:
    explicit XPanel(Host &host) : host_(host) {}

    int type = LWXP_VIEW;
    std::vector<PanelControl> controls;
    std::vector<PanelValueDesc> values;
    LWXPanelGetFunc *get = nullptr;
    LWXPanelSetFunc *set = nullptr;
    void *inst = nullptr;
    std::map<unsigned int, void *> data;  // setData
    int refreshes = 0;

    // Read from the hints.
    std::string title;
    std::map<unsigned int, std::string> labels;
    std::vector<std::pair<unsigned int, std::vector<unsigned int>>> groups;
    std::vector<PanelEnable> enables;
    std::vector<std::pair<unsigned int, std::vector<unsigned int>>> tab_sets;
    std::vector<unsigned int> unknown_tags;
    std::map<unsigned int, std::vector<LWXPanelHint>> hint_words;  // copies, by hint ID

    void add_hints(unsigned int id, const LWXPanelHint *hints);

    const PanelControl *control(unsigned int cid) const;
    const PanelValueDesc *value(unsigned int vid) const;
    const PanelValueDesc *value(const std::string &name) const;

    // The value through the plug-in's get callback; Kind::None when it gives none.
    PanelValue read(unsigned int vid) const;
    PanelValue read(const std::string &name) const;
    // Hands a new value to the plug-in as the panel does after an edit; the set
    // callback's refresh code, or -1 when there is no callback or no such value.
    int write(unsigned int vid, const PanelValue &value);
    int write(const std::string &name, const PanelValue &value);

    // The envelope ("E") and texture ("T") buttons of an "-env" control: they animate a
    // channel of the control's variant parameter or give it a texture, then tell the
    // plug-in as an edit does. Null when the value is not a variant parameter (or, for
    // the texture, when it takes none).
    Envelope *press_envelope_button(unsigned int vid, int component = 0);
    Texture *press_texture_button(unsigned int vid);

    // False while a switch that enables the control reads zero.
    bool enabled(unsigned int cid) const;
    // The tabs of every tab set, in order.
    std::vector<PanelTab> tabs() const;
    // The controls of a group, nested groups flattened in order.
    std::vector<unsigned int> group_controls(unsigned int group) const;
    bool is_group(unsigned int id) const;

    // Form panels keep their own values.
    std::map<unsigned int, PanelValue> form;

private:
    VParm *env_value(unsigned int vid) const;

    Host &host_;
};

struct XPanelCall {
    std::string what;  // "create", "destroy", "describe", "hint", "setData", "viewInst", ...
    XPanel *panel = nullptr;
    unsigned int id = 0;
};

class XPanelSystem {
public:
    explicit XPanelSystem(Host &host) : host_(host) {}

    XPanel *create(int type, const LWXPanelControl *controls);
    void destroy(XPanel *panel);
    bool owns(const XPanel *panel) const { return panels_.count(panel) != 0; }
    void record(const char *what, XPanel *panel, unsigned int id) { calls_.push_back({what, panel, id}); }

    const std::vector<XPanelCall> &calls() const { return calls_; }
    void clear_calls() { calls_.clear(); }
    XPanel *last_panel() const { return last_; }

private:
    Host &host_;
    std::map<const XPanel *, std::unique_ptr<XPanel>> panels_;
    std::vector<XPanelCall> calls_;
    XPanel *last_ = nullptr;
};

const LWXPanelFuncs &xpanel_funcs();

inline LWXPanelID to_id(const XPanel *p) { return reinterpret_cast<LWXPanelID>(const_cast<XPanel *>(p)); }
inline XPanel *from_id(LWXPanelID id) { return reinterpret_cast<XPanel *>(id); }

}  // namespace refhost

#endif
