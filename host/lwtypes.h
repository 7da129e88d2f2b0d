// Basic host types and opaque handles.
#ifndef LWSDK_TYPES_H
#define LWSDK_TYPES_H

typedef void *LWInstance;
typedef const char *LWError;
typedef int LWFrame;
typedef double LWTime;
typedef float LWFVector[3];
typedef double LWDVector[3];
typedef float LWFMatrix3[3][3];
typedef double LWDMatrix3[3][3];
typedef unsigned int LWID;

#define LWID_(a, b, c, d) \
    ((((LWID)(a)) << 24) | (((LWID)(b)) << 16) | (((LWID)(c)) << 8) | ((LWID)(d)))

// Opaque handles: the host owns what they point to.
typedef struct st_LWItem *LWItemID;
typedef struct st_LWPoint *LWPntID;
typedef struct st_LWPolygon *LWPolID;
typedef struct st_LWSurface *LWSurfaceID;
typedef struct st_LWChanGroup *LWChanGroupID;
typedef struct st_LWChannel *LWChannelID;
typedef struct st_LWEnvelope *LWEnvelopeID;
typedef struct st_LWEnvKeyframe *LWEnvKeyframeID;
typedef struct st_LWTexture *LWTextureID;
typedef struct st_LWTLayer *LWTLayerID;
typedef struct st_LWTxtrContext *LWTxtrContextID;
typedef struct st_LWImage *LWImageID;
typedef struct st_LWVParm *LWVParmID;
typedef struct st_LWXPanel *LWXPanelID;
typedef void *LWMemChunk;

#define LWITEM_NULL ((LWItemID)0)
// Pseudo-light standing for radiosity (ambient) light.
#define LWITEM_RADIOSITY ((LWItemID)0x21000000)

#endif
