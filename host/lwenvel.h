// Envelopes, channel groups and channels.
#ifndef LWSDK_ENVEL_H
#define LWSDK_ENVEL_H

#include "lwio.h"
#include "lwtypes.h"

#define LWENVELOPEFUNCS_GLOBAL "Animation Envelopes"
#define LWCHANNELINFO_GLOBAL "Channel Info 2"

typedef enum en_lwkeytag {
    LWKEY_VALUE,
    LWKEY_TIME,
    LWKEY_SHAPE,
    LWKEY_TENSION,
    LWKEY_CONTINUITY,
    LWKEY_BIAS,
    LWKEY_PARAM_0,
    LWKEY_PARAM_1,
    LWKEY_PARAM_2,
    LWKEY_PARAM_3
} LWKeyTag;

// Key shapes.
#define SHAPE_TCB 0
#define SHAPE_HERM 1
#define SHAPE_BEZI 2
#define SHAPE_LINE 3
#define SHAPE_STEP 4
#define SHAPE_BEZ2 5

typedef struct st_LWEnvelopeFuncs {
    LWEnvelopeID (*create)(LWChanGroupID group, const char *name, int type);
    void (*destroy)(LWEnvelopeID env);
    LWChanGroupID (*createGroup)(LWChanGroupID parent, const char *name);
    void (*destroyGroup)(LWChanGroupID group);
    LWError (*copy)(LWEnvelopeID to, LWEnvelopeID from);
    LWError (*load)(LWEnvelopeID env, const LWLoadState *load);
    LWError (*save)(LWEnvelopeID env, const LWSaveState *save);
    double (*evaluate)(LWEnvelopeID env, LWTime time);
    int (*edit)(LWChanGroupID group, LWEnvelopeID env, int flags, void *data);
    int (*envAge)(LWEnvelopeID env);
    LWEnvKeyframeID (*createKey)(LWEnvelopeID env, LWTime time, double value);
    void (*destroyKey)(LWEnvelopeID env, LWEnvKeyframeID key);
    LWEnvKeyframeID (*findKey)(LWEnvelopeID env, LWTime time);
    LWEnvKeyframeID (*nextKey)(LWEnvelopeID env, LWEnvKeyframeID key);
    LWEnvKeyframeID (*prevKey)(LWEnvelopeID env, LWEnvKeyframeID key);
    int (*keySet)(LWEnvelopeID env, LWEnvKeyframeID key, LWKeyTag tag, void *value);
    int (*keyGet)(LWEnvelopeID env, LWEnvKeyframeID key, LWKeyTag tag, void *value);
} LWEnvelopeFuncs;

typedef struct st_LWChannelInfo {
    LWChanGroupID (*nextGroup)(LWChanGroupID parent, LWChanGroupID group);
    LWChannelID (*nextChannel)(LWChanGroupID parent, LWChannelID chan);
    const char *(*groupName)(LWChanGroupID group);
    const char *(*channelName)(LWChannelID chan);
    LWChanGroupID (*groupParent)(LWChanGroupID group);
    LWChanGroupID (*channelParent)(LWChannelID chan);
    int (*channelType)(LWChannelID chan);
    double (*channelEvaluate)(LWChannelID chan, LWTime time);
    LWEnvelopeID (*channelEnvelope)(LWChannelID chan);
} LWChannelInfo;

#endif
