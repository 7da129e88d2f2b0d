#include "refhost/scene.h"

#include <cmath>

#include "refhost/vec3d_math.h"

namespace refhost {

using namespace vmath;

namespace {

// An orthonormal frame: the item's +X, +Y and +Z axes.
struct Frame {
    Vec3d right{1, 0, 0}, up{0, 1, 0}, forward{0, 0, 1};

    Vec3d apply(const Vec3d &v) const {
        return add(add(mul(v.x, right), mul(v.y, up)), mul(v.z, forward));
    }
};

// Heading turns +Z towards +X about +Y, pitch turns +Z towards -Y, bank turns +X towards +Y
// about the forward axis (LightWave's left-handed convention).
Frame frame_from_hpb(const Vec3d &hpb) {
    const double ch = std::cos(hpb.x), sh = std::sin(hpb.x);
    const double cp = std::cos(hpb.y), sp = std::sin(hpb.y);
    const double cb = std::cos(hpb.z), sb = std::sin(hpb.z);
    const Vec3d r{ch, 0.0, -sh};
    const Vec3d u{sh * sp, cp, ch * sp};
    Frame f;
    f.forward = {sh * cp, -sp, ch * cp};
    f.right = add(mul(cb, r), mul(sb, u));
    f.up = add(mul(-sb, r), mul(cb, u));
    return f;
}

struct WorldTransform {
    Frame frame;  // rotation only
    Vec3d position;
};

WorldTransform world_transform(const Item &item, double time) {
    WorldTransform local;
    local.frame = frame_from_hpb(item.motion.rotation.at(time));
    local.position = item.motion.position.at(time);
    if (!item.parent) return local;
    const WorldTransform parent = world_transform(*item.parent, time);
    WorldTransform w;
    w.frame.right = parent.frame.apply(local.frame.right);
    w.frame.up = parent.frame.apply(local.frame.up);
    w.frame.forward = parent.frame.apply(local.frame.forward);
    w.position = add(parent.position, parent.frame.apply(local.position));
    return w;
}

}  // namespace

Vec3d AnimatedVec::at(double time) const {
    if (keys.empty()) return {};
    if (time <= keys.front().time) return keys.front().value;
    if (time >= keys.back().time) return keys.back().value;
    for (size_t i = 1; i < keys.size(); ++i) {
        if (time <= keys[i].time) {
            const Key &a = keys[i - 1], &b = keys[i];
            const double t = (time - a.time) / (b.time - a.time);
            return {a.value.x + t * (b.value.x - a.value.x), a.value.y + t * (b.value.y - a.value.y),
                    a.value.z + t * (b.value.z - a.value.z)};
        }
    }
    return keys.back().value;
}

Point *Mesh::add_point(float x, float y, float z) {
    points.push_back(std::make_unique<Point>());
    Point *p = points.back().get();
    p->base[0] = x;
    p->base[1] = y;
    p->base[2] = z;
    return p;
}

Polygon *Mesh::add_polygon(std::vector<Point *> vertices, const std::string &surface) {
    polygons.push_back(std::make_unique<Polygon>());
    Polygon *p = polygons.back().get();
    p->vertices = std::move(vertices);
    p->surface = surface;
    return p;
}

Layer *Item::layer(int index) {
    for (auto &l : layers)
        if (l->index == index) return l.get();
    return nullptr;
}

Layer &Item::add_layer(int index) {
    if (Layer *existing = layer(index)) return *existing;
    layers.push_back(std::make_unique<Layer>());
    layers.back()->index = index;
    return *layers.back();
}

Item &Scene::add_object(const std::string &name, const std::string &filename) {
    items_.push_back(std::make_unique<Item>());
    Item &item = *items_.back();
    item.type = ItemType::Object;
    item.name = name;
    item.filename = filename;
    return item;
}

Item &Scene::add_light(const std::string &name, int type) {
    items_.push_back(std::make_unique<Item>());
    Item &item = *items_.back();
    item.type = ItemType::Light;
    item.name = name;
    item.light.type = type;
    return item;
}

Item &Scene::add_camera(const std::string &name) {
    items_.push_back(std::make_unique<Item>());
    Item &item = *items_.back();
    item.type = ItemType::Camera;
    item.name = name;
    return item;
}

Item &Scene::add_bone(const std::string &name, Item &object) {
    items_.push_back(std::make_unique<Item>());
    Item &item = *items_.back();
    item.type = ItemType::Bone;
    item.name = name;
    item.parent = &object;
    return item;
}

Surface &Scene::add_surface(Item &object, const std::string &name) {
    surfaces_.push_back(std::make_unique<Surface>());
    Surface &s = *surfaces_.back();
    s.name = name;
    s.object_filename = object.filename;
    object.surfaces.push_back(&s);
    return s;
}

Image &Scene::add_image(const std::string &name, const std::string &filename) {
    images_.push_back(std::make_unique<Image>());
    Image &img = *images_.back();
    img.name = name;
    img.filename = filename;
    return img;
}

void Scene::drop_images_after(size_t keep) {
    if (images_.size() > keep) images_.resize(keep);
}

std::vector<Item *> Scene::items(ItemType type, const Item *parent) const {
    std::vector<Item *> out;
    for (const auto &item : items_) {
        if (item->type != type) continue;
        if (type == ItemType::Bone && parent && item->parent != parent) continue;
        out.push_back(item.get());
    }
    return out;
}

Item *Scene::find_object_by_filename(const std::string &filename) const {
    for (const auto &item : items_)
        if (item->type == ItemType::Object && item->filename == filename) return item.get();
    return nullptr;
}

Scene::Placement Scene::item_placement(const Item &item, double time) const {
    const WorldTransform w = world_transform(item, time);
    return {w.frame.right, w.frame.up, w.frame.forward, w.position};
}

Vec3d Scene::item_param(const Item &item, int code, double time) const {
    const WorldTransform w = world_transform(item, time);
    switch (code) {
    case LWIP_POSITION: return item.motion.position.at(time);
    case LWIP_RIGHT: return w.frame.right;
    case LWIP_UP: return w.frame.up;
    case LWIP_FORWARD: return w.frame.forward;
    case LWIP_ROTATION: return item.motion.rotation.at(time);
    case LWIP_SCALING: return item.motion.scale.at(time);
    case LWIP_PIVOT: return item.motion.pivot.at(time);
    case LWIP_W_POSITION: return w.position;
    // The world axes expressed in the item's own coordinates: the transposed rotation.
    case LWIP_W_RIGHT: return {w.frame.right.x, w.frame.up.x, w.frame.forward.x};
    case LWIP_W_UP: return {w.frame.right.y, w.frame.up.y, w.frame.forward.y};
    case LWIP_W_FORWARD: return {w.frame.right.z, w.frame.up.z, w.frame.forward.z};
    case LWIP_PIVOT_ROT: return {};
    default: return {};
    }
}

}  // namespace refhost
