#include "refhost/xpanel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "refhost/host.h"
#include "refhost/vparm.h"

namespace refhost {

namespace {

uintptr_t word(LWXPanelHint h) { return reinterpret_cast<uintptr_t>(h); }

bool ends_with(const std::string &s, const std::string &tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Reads a 0-ended list of IDs from hints[i]; leaves i after its terminator.
std::vector<unsigned int> read_list(const std::vector<LWXPanelHint> &h, size_t &i) {
    std::vector<unsigned int> out;
    while (i < h.size() && word(h[i]) != 0) out.push_back(static_cast<unsigned int>(word(h[i++])));
    ++i;
    return out;
}

}  // namespace

PanelValue::Kind value_kind(const std::string &t) {
    if (ends_with(t, "-env")) return PanelValue::Kind::VParm;
    if (t == "integer" || t == "iBoolean" || t == "iChoice" || t == "iPopChoice") return PanelValue::Kind::Int;
    if (t == "float" || t == "distance" || t == "percent" || t == "angle" || t == "time")
        return PanelValue::Kind::Float;
    if (t == "color" || t == "fvec" || t == "distance3" || t == "percent3" || t == "angle3")
        return PanelValue::Kind::Vector;
    if (t == "string" || t == "sFileName") return PanelValue::Kind::Text;
    return PanelValue::Kind::None;
}

void XPanel::add_hints(unsigned int id, const LWXPanelHint *hints) {
    if (!hints) return;
    // Copy the words first: the array is the plug-in's.
    std::vector<LWXPanelHint> h;
    for (size_t n = 0;; ++n) {
        const uintptr_t tag = word(hints[n]);
        h.push_back(hints[n]);
        if (tag == 0) break;
        size_t fixed = 0;
        switch (tag) {
        case XPTAG_LABEL: fixed = 2; break;
        case XPTAG_GROUP: fixed = 1; break;
        case XPTAG_ENABLE: fixed = 4; break;
        case XPTAG_TABS: fixed = 1; break;
        default: unknown_tags.push_back(static_cast<unsigned int>(tag)); break;
        }
        if (fixed == 0) break;  // an unknown tag: its length is unknown too
        for (size_t k = 0; k < fixed; ++k) h.push_back(hints[++n]);
        do h.push_back(hints[++n]);
        while (word(hints[n]) != 0);
    }
    if (word(h.back()) != 0) h.push_back(XPTAG_END);
    hint_words[id].insert(hint_words[id].end(), h.begin(), h.end());

    for (size_t i = 0; i < h.size() && word(h[i]) != 0;) {
        const uintptr_t tag = word(h[i++]);
        const auto arg = [&](size_t k) { return word(h[i + k]); };
        switch (tag) {
        case XPTAG_LABEL: {
            const auto target = static_cast<unsigned int>(arg(0));
            const char *text = reinterpret_cast<const char *>(arg(1));
            i += 2;
            read_list(h, i);
            if (target == 0 && id == 0) title = text ? text : "";
            else labels[target ? target : id] = text ? text : "";
            break;
        }
        case XPTAG_GROUP: {
            const auto gid = static_cast<unsigned int>(arg(0));
            i += 1;
            groups.emplace_back(gid, read_list(h, i));
            break;
        }
        case XPTAG_ENABLE: {
            PanelEnable e;
            e.switch_vid = static_cast<unsigned int>(arg(0));
            i += 4;
            e.controls = read_list(h, i);
            enables.push_back(std::move(e));
            break;
        }
        case XPTAG_TABS: {
            const auto tid = static_cast<unsigned int>(arg(0));
            i += 1;
            tab_sets.emplace_back(tid, read_list(h, i));
            break;
        }
        default: i = h.size(); break;
        }
    }
}

const PanelControl *XPanel::control(unsigned int cid) const {
    for (const PanelControl &c : controls)
        if (c.cid == cid) return &c;
    return nullptr;
}

const PanelValueDesc *XPanel::value(unsigned int vid) const {
    for (const PanelValueDesc &v : values)
        if (v.vid == vid) return &v;
    return nullptr;
}

const PanelValueDesc *XPanel::value(const std::string &name) const {
    for (const PanelValueDesc &v : values)
        if (v.name == name) return &v;
    return nullptr;
}

PanelValue XPanel::read(unsigned int vid) const {
    PanelValue out;
    const PanelValueDesc *desc = value(vid);
    if (!desc || !get) return out;
    void *p = get(inst, vid);
    if (!p) return out;
    out.kind = value_kind(desc->datatype);
    switch (out.kind) {
    case PanelValue::Kind::Int: std::memcpy(&out.i, p, sizeof out.i); break;
    case PanelValue::Kind::Float: std::memcpy(&out.d[0], p, sizeof out.d[0]); break;
    case PanelValue::Kind::Vector: std::memcpy(out.d, p, sizeof out.d); break;
    case PanelValue::Kind::VParm:
        out.vparm = static_cast<LWVParmID>(p);
        vparm_funcs().getVal(out.vparm, 0.0, nullptr, out.d);
        break;
    case PanelValue::Kind::Text: out.text = static_cast<const char *>(p); break;
    case PanelValue::Kind::None: break;
    }
    return out;
}

PanelValue XPanel::read(const std::string &name) const {
    const PanelValueDesc *desc = value(name);
    return desc ? read(desc->vid) : PanelValue{};
}

int XPanel::write(unsigned int vid, const PanelValue &v) {
    const PanelValueDesc *desc = value(vid);
    if (!desc || !set) return -1;
    switch (value_kind(desc->datatype)) {
    case PanelValue::Kind::Int: {
        int i = v.kind == PanelValue::Kind::Int ? v.i : static_cast<int>(v.d[0]);
        return set(inst, vid, &i);
    }
    case PanelValue::Kind::Float: {
        double d = v.kind == PanelValue::Kind::Int ? v.i : v.d[0];
        return set(inst, vid, &d);
    }
    case PanelValue::Kind::Vector: {
        double d[3] = {v.d[0], v.d[1], v.d[2]};
        return set(inst, vid, d);
    }
    case PanelValue::Kind::VParm: {
        // The panel edits the plug-in's variant parameter itself, then tells the plug-in.
        LWVParmID parm = get ? static_cast<LWVParmID>(get(inst, vid)) : nullptr;
        if (!parm) return -1;
        double d[3] = {v.d[0], v.d[1], v.d[2]};
        if (v.kind == PanelValue::Kind::Float || v.kind == PanelValue::Kind::Int) {
            const double x = v.kind == PanelValue::Kind::Int ? v.i : v.d[0];
            d[0] = d[1] = d[2] = x;
        }
        vparm_funcs().setVal(parm, d);
        return set(inst, vid, parm);
    }
    case PanelValue::Kind::Text: {
        std::string text = v.text;
        return set(inst, vid, &text[0]);
    }
    case PanelValue::Kind::None: break;
    }
    return -1;
}

int XPanel::write(const std::string &name, const PanelValue &v) {
    const PanelValueDesc *desc = value(name);
    return desc ? write(desc->vid, v) : -1;
}

VParm *XPanel::env_value(unsigned int vid) const {
    const PanelValueDesc *desc = value(vid);
    if (!desc || !get || value_kind(desc->datatype) != PanelValue::Kind::VParm) return nullptr;
    VParm *parm = from_id(static_cast<LWVParmID>(get(inst, vid)));
    return parm && host_.component<VParmSystem>().owns(parm) ? parm : nullptr;
}

Envelope *XPanel::press_envelope_button(unsigned int vid, int component) {
    VParm *parm = env_value(vid);
    Envelope *env = parm ? host_.component<VParmSystem>().enable_envelope(parm, component) : nullptr;
    if (env && set) set(inst, vid, to_id(parm));
    return env;
}

Texture *XPanel::press_texture_button(unsigned int vid) {
    VParm *parm = env_value(vid);
    Texture *tex = parm ? host_.component<VParmSystem>().attach_texture(parm) : nullptr;
    if (tex && set) set(inst, vid, to_id(parm));
    return tex;
}

bool XPanel::enabled(unsigned int cid) const {
    for (const PanelEnable &e : enables) {
        if (std::find(e.controls.begin(), e.controls.end(), cid) == e.controls.end()) continue;
        const PanelValue s = read(e.switch_vid);
        const bool on = s.kind == PanelValue::Kind::Int ? s.i != 0
                        : s.kind == PanelValue::Kind::Float ? s.d[0] != 0.0
                                                            : false;
        if (!on) return false;
    }
    return true;
}

bool XPanel::is_group(unsigned int id) const {
    return std::any_of(groups.begin(), groups.end(), [id](const auto &g) { return g.first == id; });
}

std::vector<unsigned int> XPanel::group_controls(unsigned int group) const {
    std::vector<unsigned int> out;
    for (const auto &g : groups) {
        if (g.first != group) continue;
        for (unsigned int member : g.second) {
            if (member != group && is_group(member)) {
                const std::vector<unsigned int> inner = group_controls(member);
                out.insert(out.end(), inner.begin(), inner.end());
            } else {
                out.push_back(member);
            }
        }
    }
    return out;
}

std::vector<PanelTab> XPanel::tabs() const {
    std::vector<PanelTab> out;
    for (const auto &set : tab_sets) {
        for (unsigned int g : set.second) {
            PanelTab tab;
            tab.group = g;
            auto label = labels.find(g);
            if (label != labels.end()) tab.label = label->second;
            tab.controls = group_controls(g);
            out.push_back(std::move(tab));
        }
    }
    return out;
}

XPanel *XPanelSystem::create(int type, const LWXPanelControl *controls) {
    if (type != LWXP_VIEW && type != LWXP_FORM) return nullptr;
    auto panel = std::make_unique<XPanel>(host_);
    panel->type = type;
    for (const LWXPanelControl *c = controls; c && c->cid != 0; ++c)
        panel->controls.push_back({c->cid, c->label ? c->label : "", c->ctrlclass ? c->ctrlclass : ""});
    XPanel *raw = panel.get();
    panels_[raw] = std::move(panel);
    last_ = raw;
    return raw;
}

void XPanelSystem::destroy(XPanel *panel) {
    if (!owns(panel)) return;
    if (last_ == panel) last_ = nullptr;
    panels_.erase(panel);
}

// ---- The "LWXPanel" service.

namespace {

XPanelSystem *panels() {
    Host *host = Host::current();
    return host ? &host->component<XPanelSystem>() : nullptr;
}

// The panel behind an ID, after logging the call; null for unknown panels.
XPanel *logged(const char *what, LWXPanelID id, unsigned int n = 0) {
    XPanelSystem *sys = panels();
    if (!sys) return nullptr;
    XPanel *p = from_id(id);
    sys->record(what, p, n);
    return sys->owns(p) ? p : nullptr;
}

LWXPanelID xp_create(int type, LWXPanelControl *controls) {
    XPanelSystem *sys = panels();
    if (!sys) return nullptr;
    XPanel *p = sys->create(type, controls);
    sys->record("create", p, static_cast<unsigned int>(type));
    return to_id(p);
}

void xp_destroy(LWXPanelID panel) {
    if (XPanel *p = logged("destroy", panel)) panels()->destroy(p);
}

void xp_describe(LWXPanelID panel, LWXPanelDataDesc *data, LWXPanelGetFunc *get, LWXPanelSetFunc *set) {
    XPanel *p = logged("describe", panel);
    if (!p) return;
    p->values.clear();
    for (const LWXPanelDataDesc *d = data; d && d->vid != 0; ++d)
        p->values.push_back({d->vid, d->name ? d->name : "", d->datatype ? d->datatype : ""});
    p->get = get;
    p->set = set;
}

void xp_hint(LWXPanelID panel, unsigned int id, LWXPanelHint *hints) {
    if (XPanel *p = logged("hint", panel, id)) p->add_hints(id, hints);
}

void *xp_get_data(LWXPanelID panel, unsigned int vid) {
    XPanel *p = logged("getData", panel, vid);
    if (!p) return nullptr;
    auto it = p->data.find(vid);
    return it == p->data.end() ? nullptr : it->second;
}

void xp_set_data(LWXPanelID panel, unsigned int vid, void *data) {
    if (XPanel *p = logged("setData", panel, vid)) p->data[vid] = data;
}

void *xp_form_get(LWXPanelID panel, unsigned int cid) {
    XPanel *p = logged("formGet", panel, cid);
    if (!p) return nullptr;
    auto it = p->form.find(cid);
    if (it == p->form.end()) return nullptr;
    PanelValue &v = it->second;
    switch (v.kind) {
    case PanelValue::Kind::Int: return &v.i;
    case PanelValue::Kind::Float:
    case PanelValue::Kind::Vector: return v.d;
    case PanelValue::Kind::Text: return &v.text[0];
    default: return nullptr;
    }
}

void xp_form_set(LWXPanelID panel, unsigned int cid, void *value) {
    XPanel *p = logged("formSet", panel, cid);
    const PanelValueDesc *desc = p ? p->value(cid) : nullptr;
    if (!desc || !value) return;
    PanelValue v;
    v.kind = value_kind(desc->datatype);
    switch (v.kind) {
    case PanelValue::Kind::Int: std::memcpy(&v.i, value, sizeof v.i); break;
    case PanelValue::Kind::Float: std::memcpy(&v.d[0], value, sizeof v.d[0]); break;
    case PanelValue::Kind::Vector: std::memcpy(v.d, value, sizeof v.d); break;
    case PanelValue::Kind::Text: v.text = static_cast<const char *>(value); break;
    default: return;
    }
    p->form[cid] = v;
}

void xp_view_inst(LWXPanelID panel, void *inst) {
    if (XPanel *p = logged("viewInst", panel)) p->inst = inst;
}

void xp_view_refresh(LWXPanelID panel) {
    if (XPanel *p = logged("viewRefresh", panel)) ++p->refreshes;
}

int xp_post(LWXPanelID panel) { return logged("post", panel) ? 1 : 0; }
int xp_open(LWXPanelID panel) { return logged("open", panel) ? 1 : 0; }

}  // namespace

const LWXPanelFuncs &xpanel_funcs() {
    static const LWXPanelFuncs funcs = {
        // No owner-drawn controls: no drawing functions.
        4,           nullptr,      xp_create,   xp_destroy,      xp_describe, xp_hint,  xp_get_data,
        xp_set_data, xp_form_get,  xp_form_set, xp_view_inst,    xp_view_refresh, xp_post, xp_open,
    };
    return funcs;
}

}  // namespace refhost
