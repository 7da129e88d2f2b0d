// The reference host's scene: items, meshes, surfaces, lights and images. Host handles
// handed to plug-ins are pointers to these records (LWItemID is an Item*, LWPntID a
// Point*, LWPolID a Polygon*, LWSurfaceID a Surface*, LWImageID an Image*).
#ifndef REFHOST_SCENE_H
#define REFHOST_SCENE_H

#include <array>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/lwsdk.h"

namespace refhost {

struct Vec3d {
    double x = 0.0, y = 0.0, z = 0.0;
};

// A value animated by keys; constant when it has one key or none.
struct AnimatedVec {
    struct Key {
        double time;
        Vec3d value;
    };
    std::vector<Key> keys;  // sorted by time; linear between keys, held beyond the ends

    Vec3d at(double time) const;
    void set(const Vec3d &v) { keys = {{0.0, v}}; }
};

struct Point {
    float base[3] = {0, 0, 0};  // object space, before deformation
    // Object-space displacement applied before the object's transform; lets a test make
    // deformed positions differ from the base ones.
    float deform[3] = {0, 0, 0};
};

struct Polygon {
    std::vector<Point *> vertices;
    std::string surface;  // the SURF tag
    std::string part;     // the PART tag
    // A normal for each corner, object space, as a vertex normal map gives them; when there
    // are as many as corners the host shades with them instead of smoothing by angle.
    std::vector<std::array<float, 3>> normals;
    // Texture coordinates of the file's first UV set, one pair a corner; empty when the
    // file gives none. Points are shared by position, so a seam keeps both sides here.
    std::vector<std::array<float, 2>> uvs;
};

struct Mesh {
    std::vector<std::unique_ptr<Point>> points;
    std::vector<std::unique_ptr<Polygon>> polygons;
    // Weight maps by name: a value for each point that has one.
    std::map<std::string, std::map<const Point *, float>> weight_maps;

    Point *add_point(float x, float y, float z);
    Polygon *add_polygon(std::vector<Point *> vertices, const std::string &surface);
};

struct Layer {
    int index = 0;  // the layer number, from 0
    Mesh mesh;
};

struct Surface;
struct Item;

// Item kinds, as LWI_OBJECT .. LWI_BONE.
enum class ItemType { Object = LWI_OBJECT, Light = LWI_LIGHT, Camera = LWI_CAMERA, Bone = LWI_BONE };

// Motion of an item: position, rotation (heading, pitch, bank in radians) and scale,
// relative to the parent when there is one.
struct Motion {
    AnimatedVec position;
    AnimatedVec rotation;
    AnimatedVec scale{{{0.0, {1.0, 1.0, 1.0}}}};
    AnimatedVec pivot;
};

struct LightData {
    int type = LWLIGHT_DISTANT;
    Vec3d color{1.0, 1.0, 1.0};
    double intensity = 1.0;
    unsigned int flags = 0;
    double cone_angle = 0.5;  // spot lights: half angle of the cone, radians
    double cone_edge = 0.1;   // spot lights: soft edge, radians
};

// Object properties the host reports through its object information; the defaults are a
// new object's.
struct ObjectData {
    unsigned int shadow_options = LWOSHAD_SELF | LWOSHAD_CAST | LWOSHAD_RECEIVE;
    AnimatedVec dissolve;  // x: 0 opaque .. 1 gone
    unsigned int flags = 0;
    AnimatedVec fog;  // x
    int patch_display = 3, patch_render = 3;
    double metaball_display = 0.1, metaball_render = 0.05;
    const Item *bone_source = nullptr;  // null: the object's own bones
    const Item *morph_target = nullptr;
    AnimatedVec morph_amount;  // x
    unsigned int edge_options = 0;
    AnimatedVec edge_color;
    int subdiv_order = 0;
    AnimatedVec polygon_size{{{0.0, {1.0, 1.0, 1.0}}}};  // x
};

struct CameraData {
    double zoom = 3.2;  // focal length over half the frame width, LightWave's zoom factor
};

struct Item {
    ItemType type = ItemType::Object;
    std::string name;
    Item *parent = nullptr;  // bones: their object; others may have a parent item
    Motion motion;

    // Objects.
    std::string filename;  // unique per object; names its surfaces and Scene Objects entry
    std::vector<std::unique_ptr<Layer>> layers;
    std::vector<Surface *> surfaces;
    std::vector<const Item *> excluded_lights;  // LWITEM_RADIOSITY may stand here too
    ObjectData object_props;

    LightData light;
    CameraData camera;

    Layer *layer(int index);
    Layer &add_layer(int index);
};

// Base values of a surface, as the renderer reads them before its shaders run.
struct SurfaceValues {
    double color[3] = {0.8, 0.8, 0.8};
    double diffuse = 1.0;
    double specular = 0.0;
    double glossiness = 0.4;
    double reflection = 0.0;
    double smoothing_angle = 0.0;  // radians; 0 is flat shading
};

// A shader applied to a surface: the handler record the plug-in filled at activation and
// the instance it created for this surface. The renderer runs a surface's shaders in order.
struct ShaderBinding {
    const LWShaderHandler *handler = nullptr;
    LWInstance instance = nullptr;
};

struct Surface {
    std::string name;
    std::string object_filename;  // the object file that carries the surface
    SurfaceValues values;
    LWChanGroupID channel_group = nullptr;
    std::vector<ShaderBinding> shaders;
};

struct Image {
    std::string name;
    std::string filename;
    int width = 0, height = 0;
    std::vector<float> rgb;  // width * height * 3, linear
};

class Scene {
public:
    Item &add_object(const std::string &name, const std::string &filename);
    Item &add_light(const std::string &name, int type);
    Item &add_camera(const std::string &name);
    Item &add_bone(const std::string &name, Item &object);
    Surface &add_surface(Item &object, const std::string &name);
    Image &add_image(const std::string &name, const std::string &filename);
    // Forgets the images added after the first `keep`: for a long-running harness that
    // loads one input after another into the same scene, once nothing refers to them.
    void drop_images_after(size_t keep);

    // Items of one kind, in the order they were added (bones: of one object).
    std::vector<Item *> items(ItemType type, const Item *parent = nullptr) const;
    const std::vector<std::unique_ptr<Item>> &all_items() const { return items_; }
    const std::vector<std::unique_ptr<Surface>> &surfaces() const { return surfaces_; }
    const std::vector<std::unique_ptr<Image>> &images() const { return images_; }
    std::vector<Item *> objects() const { return items(ItemType::Object); }

    Item *find_object_by_filename(const std::string &filename) const;
    // Item parameter (LWIP_* code) of an item at a time; zero for unknown codes.
    Vec3d item_param(const Item &item, int code, double time) const;
    // The item's world axes and position at a time, as item_param gives them for LWIP_RIGHT,
    // LWIP_UP, LWIP_FORWARD and LWIP_W_POSITION, worked out once for the four.
    struct Placement {
        Vec3d right, up, forward, position;
    };
    Placement item_placement(const Item &item, double time) const;

    // The handle a plug-in sees for a weight map (pntVLookup, a gradient's picked map):
    // one stable address per name.
    void *weight_map_handle(const std::string &name) {
        return const_cast<std::string *>(&*vmap_names_.insert(name).first);
    }
    static const std::string &weight_map_name(void *handle) {
        return *static_cast<const std::string *>(handle);
    }

    Vec3d ambient_color{1.0, 1.0, 1.0};
    double ambient_intensity = 0.05;
    // The colour a ray that leaves the scene sees, in every direction.
    Vec3d backdrop_color{0.0, 0.0, 0.0};
    // The time the host is rendering: deformed positions and item motion are taken at it.
    double current_time = 0.0;

private:
    std::vector<std::unique_ptr<Item>> items_;
    std::vector<std::unique_ptr<Surface>> surfaces_;
    std::vector<std::unique_ptr<Image>> images_;
    std::set<std::string> vmap_names_;
};

inline LWItemID to_id(const Item *item) { return reinterpret_cast<LWItemID>(const_cast<Item *>(item)); }
inline Item *from_id(LWItemID id) { return reinterpret_cast<Item *>(id); }
inline LWPntID to_id(const Point *p) { return reinterpret_cast<LWPntID>(const_cast<Point *>(p)); }
inline Point *from_id(LWPntID id) { return reinterpret_cast<Point *>(id); }
inline LWPolID to_id(const Polygon *p) { return reinterpret_cast<LWPolID>(const_cast<Polygon *>(p)); }
inline Polygon *from_id(LWPolID id) { return reinterpret_cast<Polygon *>(id); }
inline LWSurfaceID to_id(const Surface *s) { return reinterpret_cast<LWSurfaceID>(const_cast<Surface *>(s)); }
inline Surface *from_id(LWSurfaceID id) { return reinterpret_cast<Surface *>(id); }
inline LWImageID to_id(const Image *i) { return reinterpret_cast<LWImageID>(const_cast<Image *>(i)); }
inline Image *from_id(LWImageID id) { return reinterpret_cast<Image *>(id); }

}  // namespace refhost

#endif
