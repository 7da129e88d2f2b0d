// The scene's image list.
#ifndef LWSDK_IMAGE_H
#define LWSDK_IMAGE_H

#include "lwio.h"
#include "lwtypes.h"

#define LWIMAGELIST_GLOBAL "LW Image List 3"

typedef struct st_LWImageList {
    LWImageID (*first)(void);
    LWImageID (*next)(LWImageID img);
    LWImageID (*load)(const char *filename);
    const char *(*name)(LWImageID img);
    const char *(*filename)(LWImageID img, LWFrame frame);
    int (*isColor)(LWImageID img);
    void (*needAA)(LWImageID img);
    void (*size)(LWImageID img, int *w, int *h);
    unsigned char (*luma)(LWImageID img, int x, int y);
    void (*RGB)(LWImageID img, int x, int y, unsigned char rgb[3]);
    double (*lumaSpot)(LWImageID img, double x, double y, double spotSize, int blend);
    void (*RGBSpot)(LWImageID img, double x, double y, double spotSize, int blend,
                    double rgb[3]);
    void (*clear)(LWImageID img);
    LWImageID (*sceneLoad)(const LWLoadState *load);
    void (*sceneSave)(const LWSaveState *save, LWImageID img);
} LWImageList;

#endif
