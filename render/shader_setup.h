// Putting the dirt shader on a scene's surfaces: creating instances through the loaded
// plug-in, restoring stored ones, applying a scene file's settings through the plug-in's
// own panel, and writing the instances back into a scene document.
#ifndef RENDER_SHADER_SETUP_H
#define RENDER_SHADER_SETUP_H

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/shader_server.h"
#include "refhost/xpanel.h"
#include "render/host_names.h"
#include "render/scene_file.h"

namespace render {

// Creates the shader on every surface the description shades, with its settings and then
// the command line's overrides ("NAME=VALUE", or "SURFACE:NAME=VALUE" for the surfaces a
// scope names: render/surface_choice.h).
bool apply_shaders(Host &host, ShaderServer &server, SceneDescription &desc,
                   const std::vector<std::string> &overrides, std::string *error);

// The instance's options panel, opened through the plug-in's interface server (null when
// it gives none) and closed again, as the host closes a panel after an edit.
class InstancePanel {
public:
    InstancePanel(Host &host, const ShaderServer &server, LWInstance instance);
    ~InstancePanel();
    InstancePanel(const InstancePanel &) = delete;
    InstancePanel &operator=(const InstancePanel &) = delete;

    XPanel *get() const { return panel_; }

private:
    Host &host_;
    XPanel *panel_ = nullptr;
};

// Applies one setting, by any of its names (setting_names.h), to an instance.
bool apply_setting(Host &host, const ShaderServer &server, LWInstance instance, const std::string &name,
                   const nlohmann::json &value, std::string *error);

// The document with each shaded surface's instance stored in it ("dirt_state"), ready to
// be written as a scene file.
nlohmann::json scene_document_with_instances(Host &host, const ShaderServer &server,
                                             const SceneDescription &desc);

}  // namespace render

#endif
