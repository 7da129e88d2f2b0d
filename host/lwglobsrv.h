// Global render memory: named chunks shared across plug-ins.
#ifndef LWSDK_GLOBSRV_H
#define LWSDK_GLOBSRV_H

#include "lwtypes.h"

#define LWGLOBALPOOL_RENDER_GLOBAL "Global Render Memory"
#define LWGLOBALPOOL_GLOBAL "Global Memory"

typedef struct st_LWGlobalPool {
    LWMemChunk (*first)(void);
    LWMemChunk (*next)(LWMemChunk chunk);
    const char *(*ID)(LWMemChunk chunk);
    int (*size)(LWMemChunk chunk);
    LWMemChunk (*find)(const char *name);
    LWMemChunk (*create)(const char *name, int size);
} LWGlobalPool;

#endif
