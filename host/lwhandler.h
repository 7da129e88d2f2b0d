// Handler callback records shared by every handler class.
#ifndef LWSDK_HANDLER_H
#define LWSDK_HANDLER_H

#include "lwio.h"
#include "lwtypes.h"


typedef struct st_LWInstanceFuncs {
    void *priv;
    LWInstance (*create)(void *priv, void *context, LWError *error);
    void (*destroy)(LWInstance inst);
    LWError (*copy)(LWInstance to, LWInstance from);
    LWError (*load)(LWInstance inst, const LWLoadState *load);
    LWError (*save)(LWInstance inst, const LWSaveState *save);
    const char *(*descln)(LWInstance inst);
} LWInstanceFuncs;

typedef struct st_LWItemFuncs {
    const LWItemID *(*useItems)(LWInstance inst);
    void (*changeID)(LWInstance inst, const LWItemID *ids);
    // Hosts since 8.2; the host owns the record, and a module may leave it alone.
    void (*changeName)(LWInstance inst, LWItemID item, const char *oldName);
} LWItemFuncs;

typedef struct st_LWRenderFuncs {
    LWError (*init)(LWInstance inst, int mode);
    void (*cleanup)(LWInstance inst);
    LWError (*newTime)(LWInstance inst, LWFrame frame, LWTime time);
} LWRenderFuncs;

// Render modes handed to init.
#define LWINIT_PREVIEW 0
#define LWINIT_RENDER 1

typedef struct st_LWInterface {
    LWInstance inst;
    LWXPanelID panel;
    LWError (*options)(LWInstance inst);
    LWError (*command)(LWInstance inst, const char *command);
} LWInterface;

#endif
