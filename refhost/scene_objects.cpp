#include "refhost/scene_objects.h"

#include "refhost/host.h"
#include "refhost/mesh_access.h"

namespace refhost {

namespace {

Item *object_at(int index) {
    Host *host = Host::current();
    if (!host || index < 0) return nullptr;
    const std::vector<Item *> objects = host->scene().objects();
    return static_cast<size_t>(index) < objects.size() ? objects[index] : nullptr;
}

int so_num_objects() {
    Host *host = Host::current();
    return host ? static_cast<int>(host->scene().objects().size()) : 0;
}

const char *so_filename(int obj) {
    const Item *o = object_at(obj);
    return o ? o->filename.c_str() : nullptr;
}

int so_max_layers(int obj) {
    const Item *o = object_at(obj);
    if (!o) return 0;
    int n = 0;
    for (const auto &l : o->layers)
        if (l->index + 1 > n) n = l->index + 1;
    return n;
}

int so_layer_exists(int obj, int lnum) {
    Item *o = object_at(obj);
    return o && o->layer(lnum) ? 1 : 0;
}

void so_pivot_point(int, int, LWFVector pos) {
    // Layers of this host have their pivot at the object's origin.
    if (pos) pos[0] = pos[1] = pos[2] = 0.0f;
}

LWMeshInfo *so_layer_mesh(int obj, int lnum) {
    Item *o = object_at(obj);
    Layer *l = o ? o->layer(lnum) : nullptr;
    if (!l) return nullptr;
    return make_mesh_access(Host::current()->scene(), o, {&l->mesh});
}

}  // namespace

const LWObjectFuncs &scene_objects_funcs() {
    static const LWObjectFuncs funcs = {
        so_num_objects, so_filename, so_max_layers, so_layer_exists, so_pivot_point, so_layer_mesh,
    };
    return funcs;
}

}  // namespace refhost
