// Mesh access records.
#ifndef LWSDK_MESHES_H
#define LWSDK_MESHES_H

#include <stddef.h>

#include "lwtypes.h"

typedef size_t LWPntScanFunc(void *data, LWPntID point);
typedef size_t LWPolScanFunc(void *data, LWPolID polygon);

typedef struct st_LWMeshInfo *LWMeshInfoID;

typedef struct st_LWMeshInfo {
    void *priv;
    void (*destroy)(LWMeshInfoID mesh);
    int (*numPoints)(LWMeshInfoID mesh);
    int (*numPolygons)(LWMeshInfoID mesh);
    size_t (*scanPoints)(LWMeshInfoID mesh, LWPntScanFunc *func, void *data);
    size_t (*scanPolys)(LWMeshInfoID mesh, LWPolScanFunc *func, void *data);
    void (*pntBasePos)(LWMeshInfoID mesh, LWPntID point, LWFVector pos);
    void (*pntOtherPos)(LWMeshInfoID mesh, LWPntID point, LWFVector pos);
    void *(*pntVLookup)(LWMeshInfoID mesh, LWID type, const char *name);
    int (*pntVSelect)(LWMeshInfoID mesh, void *vmap);
    int (*pntVGet)(LWMeshInfoID mesh, LWPntID point, float *values);
    LWID (*polType)(LWMeshInfoID mesh, LWPolID polygon);
    int (*polSize)(LWMeshInfoID mesh, LWPolID polygon);
    LWPntID (*polVertex)(LWMeshInfoID mesh, LWPolID polygon, int index);
    const char *(*polTag)(LWMeshInfoID mesh, LWPolID polygon, LWID tagType);
} LWMeshInfo;

#define LWPOLTYPE_FACE LWID_('F', 'A', 'C', 'E')
#define LWPTAG_SURF LWID_('S', 'U', 'R', 'F')
#define LWPTAG_PART LWID_('P', 'A', 'R', 'T')
#define LWVMAP_WGHT LWID_('W', 'G', 'H', 'T')

#define LWOBJECTFUNCS_GLOBAL "Scene Objects 4"

// The scene's object files, their layers and layer meshes.
typedef struct st_LWObjectFuncs {
    int (*numObjects)(void);
    const char *(*filename)(int obj);
    int (*maxLayers)(int obj);
    int (*layerExists)(int obj, int lnum);
    void (*pivotPoint)(int obj, int lnum, LWFVector pos);
    LWMeshInfo *(*layerMesh)(int obj, int lnum);
} LWObjectFuncs;

#endif
