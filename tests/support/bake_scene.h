// A scene built from a scene document with the plug-in's shader on its surfaces, as
// dirt-render sets it up, for the bake tests.
#ifndef ORMEL_TESTS_SUPPORT_BAKE_SCENE_H
#define ORMEL_TESTS_SUPPORT_BAKE_SCENE_H

#include <gtest/gtest.h>

#include <string>

#include "refhost/host.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/services.h"
#include "refhost/shader_server.h"
#include "render/scene_file.h"
#include "render/shader_setup.h"

namespace testing_support {

// A floor of 0.5 m cells, 8 m across, with a 1 m box standing on it at the origin; both
// carry the shader, 1 m wide. Every vertex lies on a multiple of 0.5 m.
inline nlohmann::json box_on_floor_document() {
    return nlohmann::json::parse(R"({
      "objects": [
        {"name": "Floor", "primitives": [{"type": "floor", "size": 8, "cells": 16, "surface": "Floor"}]},
        {"name": "Box", "primitives": [{"type": "box", "min": [-0.5, 0, -0.5], "max": [0.5, 1, 0.5], "surface": "Box"}]}
      ],
      "surfaces": [
        {"object": "Floor", "name": "Floor", "color": [0.8, 0.7, 0.6], "dirt": {"dirt_width": 1.0, "use_color": 1}},
        {"object": "Box", "name": "Box", "dirt": {"dirt_width": 1.0, "use_color": 1}}
      ]
    })");
}

class BakeScene : public ::testing::Test {
protected:
    void load(const nlohmann::json &doc) {
        refhost::install_instance_services(host);
        refhost::install_render_services(host);
        std::string error;
        ASSERT_TRUE(render::build_scene_from_json(doc, ".", host.scene(), desc, &error)) << error;
        ASSERT_TRUE(plugin.load(ORMEL_PLUGIN_PATH)) << plugin.error();
        ASSERT_TRUE(refhost::activate_shader(host, plugin, "Ormel_Dirt", server, &error)) << error;
        activated = true;
        ASSERT_TRUE(render::apply_shaders(host, server, desc, {}, &error)) << error;
    }
    void TearDown() override {
        if (activated) refhost::release_shaders(host, server);
    }

    refhost::Item &object(const std::string &name) {
        for (refhost::Item *o : host.scene().objects())
            if (o->name == name) return *o;
        throw std::runtime_error("no object " + name);
    }

    refhost::Host host;
    refhost::PluginFile plugin;
    refhost::ShaderServer server;
    render::SceneDescription desc;
    bool activated = false;
};

}  // namespace testing_support

#endif
