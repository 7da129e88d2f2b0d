// A small fake of the host services the parameter library and the shader instance call:
// variant parameters, envelopes' groups, textures and their context, surfaces, scene
// objects with layer meshes, and the panel service. Every call is logged so that tests
// can assert what the module asked of the host. Test code only.
#ifndef ORMEL_TESTS_SUPPORT_FAKE_PARAM_HOST_H
#define ORMEL_TESTS_SUPPORT_FAKE_PARAM_HOST_H

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/host.h"

namespace ormel {
namespace fake {

struct Group {
    LWChanGroupID parent;
    std::string name;
};

struct Texture {
    int content = 0;  // stands for the layers; copied by the host's copy
    std::vector<std::pair<double, int>> new_times;
    int cleanups = 0;
    LWChanGroupID env_group = nullptr;
};

struct VParm {
    int env_type = 0;
    int tex_type = 0;
    bool set_up = false;
    std::string channel;
    LWChanGroupID group = nullptr;
    LWTxtrContextID context = nullptr;
    LWVP_EventFunc *event = nullptr;
    std::string plugin;
    void *user_data = nullptr;
    std::array<double, 3> value{};
    std::array<int, 3> envelopes{};  // 0: no envelope, else stands for its keys
    Texture *texture = nullptr;      // owned by the host
    bool destroyed = false;
};

struct MeshPolygon {
    const char *tag;
    std::vector<std::array<float, 3>> vertices;
};

struct Layer {
    bool exists = true;
    bool has_mesh = true;
    bool releasable = true;
    std::vector<MeshPolygon> polygons;
};

struct SceneObject {
    const char *filename;
    std::vector<LWSurfaceID> surfaces;  // without the terminating null
    std::vector<Layer> layers;
};

struct SurfaceRecord {
    std::string name;
    LWChanGroupID group;
};

// The panel service's view of one created panel.
struct Panel {
    int type = 0;
    LWXPanelControl *controls = nullptr;
    LWXPanelHint *hints = nullptr;
    unsigned int hint_id = ~0u;
    LWXPanelDataDesc *values = nullptr;
    LWXPanelGetFunc *get = nullptr;
    LWXPanelSetFunc *set = nullptr;
    void *view_inst = nullptr;
    void *data = nullptr;
    unsigned int data_id = ~0u;
};

// Serves the tables through a refhost::Host and binds the module's lookup function to
// it. Only one may exist at a time; the destructor forgets every module-wide handle.
class ParamHost {
public:
    ParamHost();
    ~ParamHost();
    ParamHost(const ParamHost &) = delete;
    ParamHost &operator=(const ParamHost &) = delete;

    static ParamHost &current();

    refhost::Host host;
    std::vector<std::string> log;  // "create", "setup", "setVal", ... in call order

    std::vector<std::unique_ptr<VParm>> vparms;
    std::vector<std::unique_ptr<Group>> groups;
    std::vector<std::unique_ptr<Texture>> textures;
    std::vector<std::unique_ptr<SurfaceRecord>> surfaces;
    std::vector<SceneObject> objects;
    std::vector<std::unique_ptr<Panel>> panels;
    std::vector<std::pair<VParm *, VParm *>> copies;  // (to, from)
    std::vector<LWTxtrParamDesc> context_params;
    int contexts_created = 0;
    int meshes_handed_out = 0;
    int meshes_released = 0;
    int vparm_creates_before_failure = -1;  // >= 0: that many succeed, then bad_alloc
    bool panel_refuses = false;

    static VParm *vparm(LWVParmID id) { return reinterpret_cast<VParm *>(id); }
    static Group *group(LWChanGroupID id) { return reinterpret_cast<Group *>(id); }
    static Texture *texture(LWTextureID id) { return reinterpret_cast<Texture *>(id); }
    static Panel *panel(LWXPanelID id) { return reinterpret_cast<Panel *>(id); }

    LWSurfaceID add_surface(const std::string &name);
    Texture *give_texture(LWVParmID id);
    int live_vparms() const;
    int count(const std::string &call) const;

    LWVParmFuncs vparm_funcs{};
    LWEnvelopeFuncs envelope_funcs{};
    LWTextureFuncs texture_funcs{};
    LWSurfaceFuncs surface_funcs{};
    LWObjectFuncs object_funcs{};
    LWXPanelFuncs xpanel_funcs{};
    LWChannelInfo channel_info{};
    LWImageList image_list{};
    LWItemInfo item_info{};
    LWLightInfo light_info{};
    LWObjectInfo object_info{};

private:
    std::vector<LWSurfaceID> by_object_;
};

}  // namespace fake
}  // namespace ormel

#endif
