// "LW Object Info 4": per-object queries, mesh access included.
//
// Works on the current host's scene; IDs that are not objects of it give null or 0.
#ifndef REFHOST_OBJECT_INFO_H
#define REFHOST_OBJECT_INFO_H

#include <vector>

#include "host/lwsdk.h"
#include "refhost/scene.h"

namespace refhost {

LWObjectInfo *object_info_table();

// The meshes of every layer of an object, in layer order.
std::vector<const Mesh *> object_meshes(const Item &object);
// The same into `meshes`, reusing its capacity.
void object_meshes(const Item &object, std::vector<const Mesh *> &meshes);

}  // namespace refhost

#endif
