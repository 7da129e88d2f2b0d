// LWMeshInfo records over the scene's meshes.
#ifndef REFHOST_MESH_ACCESS_H
#define REFHOST_MESH_ACCESS_H

#include <vector>

#include "host/lwsdk.h"
#include "refhost/scene.h"

namespace refhost {

// Counts of mesh records made and destroyed, for tests that check a plug-in releases
// every record it asks for. Each thread counts its own (plug-ins make records for every
// spot, and one shared counter would be written by every render thread); the figures
// are the sums over all threads, those that have ended included.
struct MeshAccessStats {
    long created = 0;
    long destroyed = 0;
};
MeshAccessStats mesh_access_stats();

// A new record over the given meshes of an object (all layers for a frozen object mesh,
// one layer for Scene Objects). Base positions are object space; other positions are the
// deformed points moved by the object's transform at the scene's current time (world
// space). The caller (the plug-in) releases it with the record's destroy.
LWMeshInfo *make_mesh_access(const Scene &scene, const Item *object, std::vector<const Mesh *> meshes);

// A new record over no meshes yet: fill mesh_access_meshes_to_fill (its capacity may be
// kept from an earlier record, so filling it need not allocate).
LWMeshInfo *new_mesh_access(const Scene &scene, const Item *object);
std::vector<const Mesh *> &mesh_access_meshes_to_fill(LWMeshInfo *info);
const std::vector<const Mesh *> &mesh_access_meshes(LWMeshInfo *info);

// An object's placement at a time: scale, then the item's axes, then its world position.
struct ObjectTransform {
    Vec3d s, r, u, f, p;
    // The deformed point in world space.
    Vec3d apply(const Point &point) const;
};
ObjectTransform object_transform(const Scene &scene, const Item &object, double time);

// The world-space position of a deformed point of an object at a time.
Vec3d deformed_world_position(const Scene &scene, const Item &object, const Point &point, double time);

}  // namespace refhost

#endif
