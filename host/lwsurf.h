// Surface functions.
#ifndef LWSDK_SURF_H
#define LWSDK_SURF_H

#include "lwtypes.h"

#define LWSURFACEFUNCS_GLOBAL "Surface Functions 2"

#define SURF_COLR "BaseColor"
#define SURF_DIFF "Diffuse"
#define SURF_SPEC "Specularity"
#define SURF_GLOS "Glossiness"
#define SURF_REFL "Reflectivity"
#define SURF_SMAN "SmoothingAngle"

typedef struct st_LWSurfaceFuncs {
    LWSurfaceID (*create)(const char *objName, const char *surfName);
    LWSurfaceID (*first)(void);
    LWSurfaceID (*next)(LWSurfaceID surf);
    LWSurfaceID *(*byName)(const char *name, const char *objName);
    LWSurfaceID *(*byObject)(const char *objName);
    const char *(*name)(LWSurfaceID surf);
    const char *(*sceneObject)(LWSurfaceID surf);
    int (*getInt)(LWSurfaceID surf, const char *channel);
    double *(*getFlt)(LWSurfaceID surf, const char *channel);
    LWEnvelopeID (*getEnv)(LWSurfaceID surf, const char *channel);
    LWTextureID (*getTex)(LWSurfaceID surf, const char *channel);
    LWImageID (*getImg)(LWSurfaceID surf, const char *channel);
    LWChanGroupID (*chanGrp)(LWSurfaceID surf);
} LWSurfaceFuncs;

#endif
