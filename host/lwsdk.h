// Every host declaration the module and the reference host use.
#ifndef LWSDK_ALL_H
#define LWSDK_ALL_H

#include "lwenvel.h"
#include "lwglobsrv.h"
#include "lwhandler.h"
#include "lwimage.h"
#include "lwio.h"
#include "lwmeshes.h"
#include "lwmodule.h"
#include "lwrender.h"
#include "lwserver.h"
#include "lwshader.h"
#include "lwsurf.h"
#include "lwtxtr.h"
#include "lwtypes.h"
#include "lwvparm.h"
#include "lwxpanel.h"

#endif
