#include "render/surface_choice.h"
#include "render/shader_setup.h"

#include <climits>
#include <cmath>

#include "refhost/envelopes.h"
#include "refhost/host.h"
#include "refhost/image_list.h"
#include "refhost/textures.h"
#include "refhost/vparm.h"
#include "refhost/xpanel.h"
#include "render/json_read.h"
#include "render/scene_keys.h"

namespace render {

using nlohmann::json;

namespace {

int shape_code(const std::string &s, const std::string &what) {
    if (s == "tcb") return SHAPE_TCB;
    if (s == "linear") return SHAPE_LINE;
    if (s == "step") return SHAPE_STEP;
    if (s == "hermite") return SHAPE_HERM;
    json_fail(what + " must be \"tcb\", \"linear\", \"step\" or \"hermite\"");
}

// "envelope": [[time, value], ...] or {"keys": [...], "shape": "linear"}.
void apply_envelope(Host &host, VParm *parm, bool color, const json &env, const std::string &what) {
    const json &keys = env.is_object() ? env.value("keys", json()) : env;
    int shape = SHAPE_TCB;
    if (env.is_object()) {
        check_keys(env, what, scene_keys::envelope);
        if (env.contains("shape")) {
            if (!env["shape"].is_string()) json_fail(what + ".shape must be a string");
            shape = shape_code(env["shape"].get<std::string>(), what + ".shape");
        }
    }
    if (!keys.is_array() || keys.empty()) json_fail(what + " must be a non-empty array of [time, value] keys");
    VParmSystem &vparms = host.component<VParmSystem>();
    for (int c = 0; c < parm->components; ++c) {
        Envelope *e = vparms.enable_envelope(parm, c);
        if (!e) json_fail(what + ": the parameter cannot be animated");
        e->keys.clear();
        for (const json &key : keys) {
            if (!key.is_array() || key.size() != 2) json_fail(what + ": each key must be [time, value]");
            double v[3];
            json_values(key[1], color, what, v);
            EnvelopeKey *k = e->add_key(json_number(key[0], what), v[c]);
            k->shape = shape;
        }
        e->sort_keys();
    }
}

Item *find_item(Scene &scene, const std::string &name) {
    for (const auto &item : scene.all_items())
        if (item->name == name) return item.get();
    return nullptr;
}

void apply_layer(Host &host, Texture *texture, bool color, const json &l, const std::string &where) {
    if (!l.is_object() || !l.contains("type") || !l["type"].is_string())
        json_fail(where + " must be an object with a \"type\"");
    check_keys(l, where, scene_keys::layer);
    TextureSystem &textures = host.component<TextureSystem>();
    const std::string type = l["type"].get<std::string>();
    TextureLayer *layer;
    if (type == "constant" || type == "noise") {
        layer = textures.add_layer(texture, TLT_PROC);
        layer->procedure = type == "constant" ? Procedure::Constant : Procedure::Noise;
    } else if (type == "image") {
        layer = textures.add_layer(texture, TLT_IMAGE);
        if (!l.contains("image") || !l["image"].is_string()) json_fail(where + ".image must name a PNG file");
        const std::string path = l["image"].get<std::string>();
        LWImageID image = image_list_funcs().load(path.c_str());
        if (!image) json_fail(where + ": cannot read image " + path);
        layer->image = from_id(image);
    } else if (type == "gradient") {
        layer = textures.add_layer(texture, TLT_GRAD);
        int input = kGradientWorldY;
        if (l.contains("input")) {
            if (!l["input"].is_string()) json_fail(where + ".input must be a string");
            const std::string name = l["input"].get<std::string>();
            if (name != "World Y") {
                input = -1;
                if (texture->context)
                    for (size_t i = 0; i < texture->context->inputs.size(); ++i)
                        if (texture->context->inputs[i]->name == name) input = static_cast<int>(i) + 1;
                if (input < 0) {
                    std::vector<std::string> names{"World Y"};
                    if (texture->context)
                        for (const auto &known : texture->context->inputs) names.push_back(known->name);
                    json_fail(where + ".input: no gradient input named \"" + name + "\"" + did_you_mean(name, names));
                }
            }
        }
        textures.set_gradient_input(layer, input);
        if (l.contains("item")) {
            if (!l["item"].is_string()) json_fail(where + ".item must be an item's name");
            Item *item = find_item(host.scene(), l["item"].get<std::string>());
            if (!item) json_fail(where + ".item: no item named \"" + l["item"].get<std::string>() + "\"");
            textures.set_gradient_item(layer, to_id(item));
        }
        if (l.contains("keys")) {
            if (!l["keys"].is_array() || l["keys"].empty()) json_fail(where + ".keys must be [[position, value], ...]");
            layer->keys.clear();
            for (const json &k : l["keys"]) {
                if (!k.is_array() || k.size() != 2) json_fail(where + ".keys: each key must be [position, value]");
                GradientKey key;
                key.position = json_number(k[0], where + ".keys");
                json_values(k[1], color, where + ".keys", key.value);
                layer->keys.push_back(key);
            }
        }
    } else {
        json_fail(where + ".type must be \"constant\", \"noise\", \"image\" or \"gradient\"");
    }
    if (l.contains("value")) json_values(l["value"], color, where + ".value", layer->value);
    if (l.contains("opacity")) layer->set_opacity(json_number(l["opacity"], where + ".opacity"));
    if (l.contains("invert")) {
        if (!l["invert"].is_boolean()) json_fail(where + ".invert must be true or false");
        layer->invert = l["invert"].get<bool>();
    }
    if (l.contains("size")) {
        double s[3];
        json_values(l["size"], l["size"].is_array(), where + ".size", s);
        for (int k = 0; k < 3; ++k) layer->size[k] = s[k];
    }
    if (l.contains("center")) json_values(l["center"], true, where + ".center", layer->center);
    if (l.contains("axis")) {
        const std::string axis = l["axis"].is_string() ? l["axis"].get<std::string>() : "";
        if (axis != "x" && axis != "y" && axis != "z") json_fail(where + ".axis must be \"x\", \"y\" or \"z\"");
        layer->axis = axis[0] - 'x';
    }
}

void apply_env_setting(Host &host, XPanel &panel, const std::string &name, bool color, const json &v) {
    double d[3];
    if (!v.is_object()) {
        json_values(v, color, name, d);
        panel.write(name, PanelValue::of_vector(d[0], d[1], d[2]));
        return;
    }
    check_keys(v, name, scene_keys::setting);
    if (v.contains("value")) {
        json_values(v["value"], color, name + ".value", d);
        panel.write(name, PanelValue::of_vector(d[0], d[1], d[2]));
    }
    const PanelValue current = panel.read(name);
    VParm *parm = current.vparm ? from_id(current.vparm) : nullptr;
    if (!parm) json_fail(name + ": the plug-in gives no parameter to edit");
    if (v.contains("envelope")) apply_envelope(host, parm, color, v["envelope"], name + ".envelope");
    if (v.contains("texture")) {
        const json &layers = v["texture"];
        if (!layers.is_array()) json_fail(name + ".texture must be an array of layers");
        VParmSystem &vparms = host.component<VParmSystem>();
        vparms.remove_texture(parm);
        Texture *texture = vparms.attach_texture(parm);
        if (!texture) json_fail(name + " cannot carry a texture");
        for (size_t i = 0; i < layers.size(); ++i)
            apply_layer(host, texture, color, layers[i], name + ".texture[" + std::to_string(i) + "]");
    }
    // Tell the plug-in its parameter changed, as the panel does after an edit.
    if (panel.set) panel.set(panel.inst, panel.value(name)->vid, current.vparm);
}

// "1,0,0" as [1, 0, 0]; false unless every part is a number.
bool comma_list(const std::string &value, json &out) {
    if (value.find(',') == std::string::npos) return false;
    out = json::array();
    size_t start = 0;
    while (true) {
        const size_t comma = value.find(',', start);
        const std::string part = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        json number;
        if (!try_parse_json(part, "--set", number) || !number.is_number()) return false;
        out.push_back(number);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

json parse_override(const std::string &text, std::string &name) {
    const size_t eq = text.find('=');
    name = text.substr(0, eq);
    const std::string value = text.substr(eq + 1);
    // Held to the scene file's nesting limit: the value is copied and walked recursively.
    json parsed;
    if (try_parse_json(value, "--set " + name, parsed)) return parsed;
    json list;
    if (comma_list(value, list)) return list;
    if (setting_kind(name) == SettingKind::Switch)
        json_fail("--set " + name + ": a switch takes 0 or 1 (or true, false), not \"" + value + "\"");
    json_fail("--set " + name + ": \"" + value + "\" is not a number, r,g,b, a JSON array or a JSON object");
}

}  // namespace

InstancePanel::InstancePanel(Host &host, const ShaderServer &server, LWInstance instance) : host_(host) {
    LWInterface iface{};
    iface.inst = instance;
    if (server.plugin->activate(host, LWSHADER_ICLASS, "Ormel_Dirt", LWSHADER_VERSION, &iface) == AFUNC_OK &&
        iface.panel)
        panel_ = from_id(iface.panel);
}

InstancePanel::~InstancePanel() {
    if (panel_) host_.component<XPanelSystem>().destroy(panel_);
}

bool apply_setting(Host &host, const ShaderServer &server, LWInstance instance, const std::string &given,
                   const json &value, std::string *error) {
    try {
        const SettingKind kind = setting_kind(given);
        if (kind == SettingKind::Unknown) json_fail("unknown setting \"" + given + "\"" + did_you_mean(given, setting_names()));
        const std::string name = panel_setting_name(given);
        const InstancePanel open(host, server, instance);
        XPanel *panel = open.get();
        if (!panel) json_fail("the plug-in gives no panel to apply \"" + name + "\"");
        switch (kind) {
        case SettingKind::Switch:
            if (value.is_boolean()) {
                panel->write(name, PanelValue::of_int(value.get<bool>() ? 1 : 0));
                break;
            }
            [[fallthrough]];
        case SettingKind::Integer:
            // Any 32-bit value is the plug-in's to take; nothing wider is wrapped into it.
            panel->write(name, PanelValue::of_int(json_integer(value, name, INT_MIN, INT_MAX)));
            break;
        case SettingKind::Number: panel->write(name, PanelValue::of_float(json_number(value, name))); break;
        case SettingKind::Angle: panel->write(name, PanelValue::of_float(json_number(value, name) * kDegree)); break;
        case SettingKind::Env:
        case SettingKind::PercentEnv: apply_env_setting(host, *panel, name, false, value); break;
        case SettingKind::ColorEnv: apply_env_setting(host, *panel, name, true, value); break;
        case SettingKind::Unknown: break;
        }
        return true;
    } catch (const JsonError &e) {
        if (error) *error = e.message;
        return false;
    }
}

bool apply_shaders(Host &host, ShaderServer &server, SceneDescription &desc,
                   const std::vector<std::string> &overrides, std::string *error) {
    for (ShaderSettings &s : desc.shaders) {
        LWError create_error = nullptr;
        LWInstance instance = server.inst.create(server.inst.priv, to_id(s.surface), &create_error);
        if (!instance) {
            if (error) *error = one_line("the plug-in could not create a shader for surface " + s.surface->name);
            return false;
        }
        s.surface->shaders.push_back({&server.handler, instance});
        if (!s.stored.empty()) restore_instance(server, instance, s.stored);
        for (auto it = s.settings.begin(); it != s.settings.end(); ++it) {
            std::string why;
            if (!apply_setting(host, server, instance, it.key(), it.value(), &why)) {
                if (error) *error = one_line("surface " + s.surface->name + ": " + why);
                return false;
            }
        }
        for (const std::string &given : overrides) {
            std::string name, why, text;
            const std::string scope = setting_scope(given, &text);
            if (!scope.empty() && !scope_names(scope, *s.surface)) continue;
            json value;
            try {
                value = parse_override(text, name);
            } catch (const JsonError &e) {
                if (error) *error = e.message;
                return false;
            }
            if (!apply_setting(host, server, instance, name, value, &why)) {
                if (error) *error = "--set: " + why;
                return false;
            }
        }
    }
    return true;
}

json scene_document_with_instances(Host &host, const ShaderServer &server, const SceneDescription &desc) {
    json doc = desc.document;
    if (!doc.contains("surfaces") || !doc["surfaces"].is_array()) doc["surfaces"] = json::array();
    for (const ShaderSettings &s : desc.shaders) {
        LWInstance instance = nullptr;
        for (const ShaderBinding &b : s.surface->shaders)
            if (b.handler == &server.handler) instance = b.instance;
        if (!instance) continue;
        // Find the surface's entry, or add one.
        json *entry = nullptr;
        for (json &e : doc["surfaces"])
            if (e.value("object", "") == s.surface->object_filename && e.value("name", "") == s.surface->name)
                entry = &e;
        if (!entry) {
            doc["surfaces"].push_back(json{{"object", s.surface->object_filename}, {"name", s.surface->name}});
            entry = &doc["surfaces"].back();
        }
        // The stored form holds every setting; the plain settings are left out so that
        // loading restores exactly what was stored.
        (*entry)["dirt"] = true;
        (*entry)["dirt_state"] = store_instance(server, instance);
    }
    (void)host;
    return doc;
}

}  // namespace render
