// Variant parameters: animated, optionally textured values.
#ifndef LWSDK_VPARM_H
#define LWSDK_VPARM_H

#include "lwio.h"
#include "lwtxtr.h"
#include "lwtypes.h"

#define LWVPARMFUNCS_GLOBAL "LWVParmFuncs 2"

// Envelope (value) types.
#define LWVP_FLOAT 0x10
#define LWVP_PERCENT 0x20
#define LWVP_DIST 0x30
#define LWVP_ANGLE 0x40
#define LWVP_COLOR 0x51

// Texture types.
#define LWVPDT_NOTXTR -1
#define LWVPDT_VECTOR 0
#define LWVPDT_COLOR 1
#define LWVPDT_PERCENT 2

// State bits.
#define LWVPSF_ENV (1 << 0)
#define LWVPSF_TEX (1 << 1)

typedef int LWVP_EventFunc(LWVParmID parm, void *userData, int eventCode, void *eventData);

typedef struct st_LWVParmFuncs {
    LWVParmID (*create)(int envType, int texType);
    void (*destroy)(LWVParmID parm);
    void (*setup)(LWVParmID parm, const char *channelName, LWChanGroupID group,
                  LWTxtrContextID gc, LWVP_EventFunc *eventFunc, const char *pluginName,
                  void *userData);
    LWError (*copy)(LWVParmID to, LWVParmID from);
    LWError (*load)(LWVParmID parm, const LWLoadState *load);
    LWError (*save)(LWVParmID parm, const LWSaveState *save);
    double (*getVal)(LWVParmID parm, LWTime time, LWMicropol *mp, double *result);
    int (*setVal)(LWVParmID parm, double *value);
    int (*getState)(LWVParmID parm);
    void (*setState)(LWVParmID parm, int state);
    void (*editEnv)(LWVParmID parm);
    void (*editTex)(LWVParmID parm);
    void (*initMP)(LWMicropol *mp);
    void (*getEnv)(LWVParmID parm, LWEnvelopeID envlist[3]);
    LWTextureID (*getTex)(LWVParmID parm);
} LWVParmFuncs;

#endif
