// The declarative panel service.
#ifndef LWSDK_XPANEL_H
#define LWSDK_XPANEL_H

#include "lwtypes.h"

#define LWXPANELFUNCS_GLOBAL "LWXPanel"

#define LWXP_VIEW 1
#define LWXP_FORM 2

// Refresh codes returned by a panel's set callback.
#define LWXPRC_NONE 0
#define LWXPRC_DFLT 1
#define LWXPRC_DRAW 2
#define LWXPRC_FULL 3

// A hint array is a sequence of pointer-sized words: tags, arguments and 0 terminators.
typedef void *LWXPanelHint;

#define XPTAG_END ((LWXPanelHint)0)
#define XPTAG_LABEL 0x3D000B03u
#define XPTAG_GROUP 0x3D01FE81u
#define XPTAG_ENABLE 0x3D01F984u
#define XPTAG_TABS 0x3D020A81u

typedef struct st_LWXPanelControl {
    unsigned int cid;
    const char *label;
    const char *ctrlclass;
} LWXPanelControl;

typedef struct st_LWXPanelDataDesc {
    unsigned int vid;
    const char *name;
    const char *datatype;
} LWXPanelDataDesc;

typedef void *LWXPanelGetFunc(void *inst, unsigned int vid);
typedef int LWXPanelSetFunc(void *inst, unsigned int vid, void *value);
// The host's table of drawing functions for owner-drawn controls; the module uses none.
typedef struct st_LWXPanelDrawFuncs LWXPanelDrawFuncs;

typedef struct st_LWXPanelFuncs {
    int version;
    LWXPanelDrawFuncs *drawf;
    LWXPanelID (*create)(int type, LWXPanelControl *controls);
    void (*destroy)(LWXPanelID panel);
    void (*describe)(LWXPanelID panel, LWXPanelDataDesc *data, LWXPanelGetFunc *get,
                     LWXPanelSetFunc *set);
    void (*hint)(LWXPanelID panel, unsigned int id, LWXPanelHint *hints);
    void *(*getData)(LWXPanelID panel, unsigned int vid);
    void (*setData)(LWXPanelID panel, unsigned int vid, void *data);
    void *(*formGet)(LWXPanelID panel, unsigned int cid);
    void (*formSet)(LWXPanelID panel, unsigned int cid, void *value);
    void (*viewInst)(LWXPanelID panel, void *inst);
    void (*viewRefresh)(LWXPanelID panel);
    int (*post)(LWXPanelID panel);
    int (*open)(LWXPanelID panel);
} LWXPanelFuncs;

#endif
