// The record a plug-in file exports as `_mod_descrip`.
#ifndef LWSDK_MODULE_H
#define LWSDK_MODULE_H

#include "lwserver.h"

typedef struct st_ModuleDescriptor {
    unsigned int sysSync;
    unsigned int sysVersion;
    unsigned int sysMachine;
    void *(*startup)(void);
    void (*shutdown)(void *serverData);
    ServerRecord *serverDefs;
} ModuleDescriptor;

#define MOD_SYSSYNC 0x04121994u
#define MOD_SYSVER 3u
#define MOD_MACHINE 0x300u

#endif
