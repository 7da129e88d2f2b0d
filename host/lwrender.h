// Scene items, objects, lights, the scene and the backdrop.
#ifndef LWSDK_RENDER_H
#define LWSDK_RENDER_H

#include "lwmeshes.h"
#include "lwtypes.h"

#define LWITEMINFO_GLOBAL "LW Item Info 3"
#define LWOBJECTINFO_GLOBAL "LW Object Info 4"
#define LWLIGHTINFO_GLOBAL "LW Light Info 3"
#define LWSCENEINFO_GLOBAL "LW Scene Info 3"
#define LWBACKDROPINFO_GLOBAL "LW Backdrop Info 2"

typedef int LWItemType;
#define LWI_OBJECT 0
#define LWI_LIGHT 1
#define LWI_CAMERA 2
#define LWI_BONE 3

typedef int LWItemParam;
#define LWIP_POSITION 1
#define LWIP_RIGHT 2
#define LWIP_UP 3
#define LWIP_FORWARD 4
#define LWIP_ROTATION 5
#define LWIP_SCALING 6
#define LWIP_PIVOT 7
#define LWIP_W_POSITION 8
#define LWIP_W_RIGHT 9
#define LWIP_W_UP 10
#define LWIP_W_FORWARD 11
#define LWIP_PIVOT_ROT 12

typedef struct st_LWItemInfo {
    LWItemID (*first)(LWItemType type, LWItemID parent);
    LWItemID (*next)(LWItemID item);
    LWItemID (*firstChild)(LWItemID parent);
    LWItemID (*nextChild)(LWItemID parent, LWItemID prevChild);
    LWItemID (*parent)(LWItemID item);
    LWItemID (*target)(LWItemID item);
    LWItemID (*goal)(LWItemID item);
    LWItemType (*type)(LWItemID item);
    const char *(*name)(LWItemID item);
    void (*param)(LWItemID item, LWItemParam param, LWTime time, LWDVector vector);
} LWItemInfo;

// Shadow option bits of an object (shadowOpts).
#define LWOSHAD_SELF (1 << 0)
#define LWOSHAD_CAST (1 << 1)
#define LWOSHAD_RECEIVE (1 << 2)

// Every slot up to the last one the module calls: the host reads the table by position.
typedef struct st_LWObjectInfo {
    const char *(*filename)(LWItemID obj);
    int (*numPoints)(LWItemID obj);
    int (*numPolygons)(LWItemID obj);
    unsigned int (*shadowOpts)(LWItemID obj);
    double (*dissolve)(LWItemID obj, LWTime time);
    LWMeshInfoID (*meshInfo)(LWItemID obj, int frozen);
    unsigned int (*flags)(LWItemID obj);
    double (*fog)(LWItemID obj, LWTime time);
    LWTextureID (*dispMap)(LWItemID obj);
    LWTextureID (*clipMap)(LWItemID obj);
    void (*patchLevel)(LWItemID obj, int *display, int *render);
    void (*metaballRes)(LWItemID obj, double *display, double *render);
    LWItemID (*boneSource)(LWItemID obj);
    LWItemID (*morphTarget)(LWItemID obj);
    double (*morphAmount)(LWItemID obj, LWTime time);
    unsigned int (*edgeOpts)(LWItemID obj);
    void (*edgeColor)(LWItemID obj, LWTime time, LWDVector color);
    int (*subdivOrder)(LWItemID obj);
    double (*polygonSize)(LWItemID obj, LWTime time);
    int (*excluded)(LWItemID obj, LWItemID light);
} LWObjectInfo;

#define LWLIGHT_DISTANT 0
#define LWLIGHT_POINT 1
#define LWLIGHT_SPOT 2
#define LWLIGHT_LINEAR 3
#define LWLIGHT_AREA 4

#define LWLFL_LIMITED_RANGE (1 << 0)
#define LWLFL_NO_DIFFUSE (1 << 1)
#define LWLFL_NO_SPECULAR (1 << 2)
#define LWLFL_NO_CAUSTICS (1 << 3)
#define LWLFL_LENS_FLARE (1 << 4)
#define LWLFL_VOLUMETRIC (1 << 5)
#define LWLFL_NO_OPENGL (1 << 6)
#define LWLFL_FIT_CONE (1 << 7)
#define LWLFL_CACHE_SHAD_MAP (1 << 8)

typedef struct st_LWLightInfo {
    void (*ambient)(LWTime time, LWDVector color);
    int (*type)(LWItemID light);
    void (*color)(LWItemID light, LWTime time, LWDVector color);
    int (*shadowType)(LWItemID light);
    void (*coneAngles)(LWItemID light, LWTime time, double *radius, double *edge);
    unsigned int (*flags)(LWItemID light);
} LWLightInfo;

typedef struct st_LWSceneInfo {
    const char *name;
    const char *filename;
    int numPoints;
    int numPolys;
    int renderType;
    int renderOpts;
    LWFrame frameStart;
    LWFrame frameEnd;
    LWFrame frameStep;
    double framesPerSecond;
    int frameWidth;
    int frameHeight;
} LWSceneInfo;

typedef struct st_LWBackdropInfo {
    void (*backdrop)(LWTime time, const double ray[3], double color[3]);
    int type;
    void (*color)(LWTime time, double zenith[3], double sky[3], double ground[3],
                  double nadir[3]);
} LWBackdropInfo;

#endif
