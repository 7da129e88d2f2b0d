#include "render/mask.h"

#include "refhost/host.h"
#include "refhost/vparm.h"
#include "refhost/xpanel.h"
#include "render/shader_setup.h"

namespace render {

namespace {

// What the copy changes: the colour alone, towards white.
const std::pair<const char *, int> kMaskSwitches[] = {
    {"use_color", 1}, {"use_Kd", 0}, {"use_Ks", 0}, {"use_mirror", 0}, {"use_bump", 0},
};

}  // namespace

MaskShaders::~MaskShaders() {
    restore();
    for (const Entry &e : entries_)
        if (e.copy) server_.inst.destroy(e.copy);
}

bool MaskShaders::create(std::string *error) {
    for (const auto &surface : host_.scene().surfaces()) {
        LWInstance original = nullptr;
        for (const ShaderBinding &b : surface->shaders)
            if (b.handler == &server_.handler) original = b.instance;
        if (!original) continue;
        LWError create_error = nullptr;
        LWInstance copy = server_.inst.create(server_.inst.priv, to_id(surface.get()), &create_error);
        if (!copy) {
            if (error) *error = "the plug-in could not create a mask shader for surface " + surface->name;
            return false;
        }
        entries_.push_back({surface.get(), {}, copy});
        server_.inst.copy(copy, original);
        std::string why;
        for (const auto &[name, on] : kMaskSwitches)
            if (!apply_setting(host_, server_, copy, name, on, &why)) {
                if (error) *error = "mask shader for surface " + surface->name + ": " + why;
                return false;
            }
        // A plain white: no envelope, no texture.
        const InstancePanel open(host_, server_, copy);
        if (XPanel *panel = open.get()) {
            const PanelValue color = panel->read("dirt_color");
            if (color.vparm) {
                VParmSystem &vparms = host_.component<VParmSystem>();
                vparms.clear_envelopes(from_id(color.vparm));
                vparms.remove_texture(from_id(color.vparm));
            }
        }
        if (!apply_setting(host_, server_, copy, "dirt_color", nlohmann::json::array({1.0, 1.0, 1.0}), &why)) {
            if (error) *error = "mask shader for surface " + surface->name + ": " + why;
            return false;
        }
    }
    return true;
}

void MaskShaders::begin() {
    for (const Entry &e : entries_)
        if (server_.rend.init) server_.rend.init(e.copy, LWINIT_RENDER);
}

void MaskShaders::end() {
    for (const Entry &e : entries_)
        if (server_.rend.cleanup) server_.rend.cleanup(e.copy);
}

void MaskShaders::bind() {
    if (bound_) return;
    for (Entry &e : entries_) {
        e.kept = std::move(e.surface->shaders);
        e.surface->shaders = {ShaderBinding{&server_.handler, e.copy}};
    }
    for (const auto &surface : host_.scene().surfaces()) {
        saved_values_.push_back(surface->values);
        for (double &c : surface->values.color) c = 0.0;
    }
    bound_ = true;
}

void MaskShaders::restore() {
    if (!bound_) return;
    for (Entry &e : entries_) e.surface->shaders = std::move(e.kept);
    size_t i = 0;
    for (const auto &surface : host_.scene().surfaces()) surface->values = saved_values_[i++];
    saved_values_.clear();
    bound_ = false;
}

}  // namespace render
