// Textures, texture layers, texture contexts and the spot record they evaluate at.
#ifndef LWSDK_TXTR_H
#define LWSDK_TXTR_H

#include "lwio.h"
#include "lwshader.h"
#include "lwtypes.h"

#define LWTEXTUREFUNCS_GLOBAL "Texture Functions 3"

// Corner indexes and spot extent that hosts since 8.2 may attach to a spot record.
typedef struct st_LWVertexIndexes {
    int VertexIndexes[4];
    LWPntID Verts[4];
    float Weights[4];
    float SpotSizeWidth;
    float SpotSizeHeight;
} LWVertexIndexes;

typedef struct st_LWMicropol {
    double oPos[3];
    double wPos[3];
    double oScl[3];
    double gNorm[3];
    double wNorm[3];
    double ray[3];
    double bumpHeight;
    double txVal;
    double spotSize;
    double raySource[3];
    double rayLength;
    double cosine;
    double oXfrm[9];
    double wXfrm[9];
    LWItemID objID;
    LWSurfaceID srfID;
    LWPntID verts[4];
    float weights[4];
    float vertsWPos[4][3];
    int polNum;
    int oAxis;
    int wAxis;
    int context;
    LWIlluminateFunc *illuminate;
    LWRayTraceFunc *rayTrace;
    LWRayCastFunc *rayCast;
    LWRayShadeFunc *rayShade;
    void *userData;
    LWPolID polygon;
    LWVertexIndexes *VertexIndexes;
} LWMicropol;

typedef void *gParamData;

typedef struct st_LWTxtrParamDesc {
    char *name;
    double start, end;
    int type;
    int flags;
    int itemType;
    LWItemID itemID;
    char *itemName;
} LWTxtrParamDesc;

typedef struct st_LWTxtrParamFuncs {
    double (*paramEvaluate)(LWTxtrParamDesc *param, int paramNb, LWMicropol *mp, gParamData data);
    gParamData (*paramTime)(void *userData, LWTxtrParamDesc *param, int paramNb, LWTime t,
                            LWFrame f);
    void (*paramCleanup)(LWTxtrParamDesc *param, int paramNb, gParamData data);
} LWTxtrParamFuncs;

// Texture layer types.
#define TLT_IMAGE 0
#define TLT_PROC 1
#define TLT_GRAD 2

// Texture return types.
#define TRT_VECTOR 0
#define TRT_COLOR 1
#define TRT_PERCENT 2
#define TRT_SCALAR 3
#define TRT_DISPLACEMENT 4

// Layer parameter tags, numbered from 0.
#define TXTAG_POSI 0
#define TXTAG_ROTA 1
#define TXTAG_SIZE 2
#define TXTAG_FALL 3
#define TXTAG_PROJ 4
#define TXTAG_AXIS 5
#define TXTAG_WWRP 6
#define TXTAG_HWRP 7
#define TXTAG_COORD 8
#define TXTAG_IMAGE 9
#define TXTAG_VMAP 10
#define TXTAG_ROBJ 11
#define TXTAG_OPAC 12
#define TXTAG_AA 13
#define TXTAG_AAVAL 14
#define TXTAG_PIXBLEND 15
#define TXTAG_WREPEAT 16
#define TXTAG_HREPEAT 17
#define TXTAG_ACTIVE 18
#define TXTAG_INVERT 19
#define TXTAG_BLEND 20
#define TXTAG_INPUT 21

// Display units of a gradient input (LWTxtrParamDesc type).
#define LWIPT_FLOAT 2
#define LWIPT_DISTANCE 3
#define LWIPT_PERCENT 4
#define LWIPT_ANGLE 5

typedef struct st_LWTextureFuncs {
    LWTxtrContextID (*contextCreate)(LWTxtrParamFuncs funcs);
    void (*contextDestroy)(LWTxtrContextID context);
    void (*contextAddParam)(LWTxtrContextID context, LWTxtrParamDesc desc);
    LWTextureID (*create)(int returnType, const char *name, LWTxtrContextID context,
                          void *userData);
    void (*destroy)(LWTextureID texture);
    void (*copy)(LWTextureID to, LWTextureID from);
    void (*newtime)(LWTextureID texture, LWTime time, LWFrame frame);
    void (*cleanup)(LWTextureID texture);
    void (*load)(LWTextureID texture, const LWLoadState *load);
    void (*save)(LWTextureID texture, const LWSaveState *save);
    double (*evaluate)(LWTextureID texture, LWMicropol *mp, double *rv);
    void (*setEnvGroup)(LWTextureID texture, LWChanGroupID group);
    LWTLayerID (*firstLayer)(LWTextureID texture);
    LWTLayerID (*lastLayer)(LWTextureID texture);
    LWTLayerID (*nextLayer)(LWTextureID texture, LWTLayerID layer);
    LWTLayerID (*layerAdd)(LWTextureID texture, int type);
    void (*layerSetType)(LWTLayerID layer, int type);
    int (*layerType)(LWTLayerID layer);
    double (*layerEvaluate)(LWTLayerID layer, LWMicropol *mp, double *rv);
    LWChanGroupID (*layerEnvGroup)(LWTLayerID layer);
    int (*setParam)(LWTLayerID layer, int tag, void *data);
    int (*getParam)(LWTLayerID layer, int tag, void *data);
} LWTextureFuncs;

#endif
