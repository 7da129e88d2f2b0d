// Module descriptor, server records and the global-lookup function.
#ifndef LWSDK_SERVER_H
#define LWSDK_SERVER_H

typedef void *GlobalFunc(const char *serviceName, int useMode);
typedef int ActivateFunc(int version, GlobalFunc *global, void *local, void *serverData);

#define GFUSE_TRANSIENT 0
#define GFUSE_ACQUIRE 1
#define GFUSE_RELEASE 2

#define AFUNC_OK 0
#define AFUNC_BADVERSION 1
#define AFUNC_BADGLOBAL 2
#define AFUNC_BADLOCAL 3

typedef struct st_ServerTagInfo {
    const char *string;
    unsigned int tag;
} ServerTagInfo;

typedef struct st_ServerRecord {
    const char *className;
    const char *name;
    ActivateFunc *activate;
    ServerTagInfo *tagInfo;
} ServerRecord;

#endif
