// "Surface Functions 2" over the scene's surfaces. LWSurfaceID is a Surface*.
//
// Lists handed out by byName and byObject stay valid until the next call with the same
// arguments. getFlt gives the surface's own base values ("BaseColor" as three doubles,
// "Diffuse", "Specularity", "Glossiness", "Reflectivity", "SmoothingAngle"); chanGrp makes
// the surface's channel group on first request, at the root, named after the surface.
#ifndef REFHOST_SURFACE_FUNCS_H
#define REFHOST_SURFACE_FUNCS_H

#include <map>
#include <string>
#include <vector>

#include "host/lwsdk.h"

namespace refhost {

class Host;

// Stable storage for the null-terminated lists of one host.
struct SurfaceLists {
    explicit SurfaceLists(Host &) {}
    std::map<std::string, std::vector<LWSurfaceID>> by_object;
    std::map<std::string, std::vector<LWSurfaceID>> by_name;
};

const LWSurfaceFuncs &surface_funcs();

}  // namespace refhost

#endif
