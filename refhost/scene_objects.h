// "Scene Objects 4": the scene's objects by index, their layers and per-layer meshes.
//
// Object indices follow the order in which objects were added to the scene; layer numbers
// are the layers' own indices. layerMesh gives a new mesh record over one layer, which
// the caller releases with the record's destroy.
#ifndef REFHOST_SCENE_OBJECTS_H
#define REFHOST_SCENE_OBJECTS_H

#include "host/lwsdk.h"

namespace refhost {

const LWObjectFuncs &scene_objects_funcs();

}  // namespace refhost

#endif
