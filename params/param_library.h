// The parameter library's module-wide pieces: the shared texture context, the channel
// group of a shader instance, and the check that every service it relies on is bound.
#ifndef ORMEL_PARAMS_PARAM_LIBRARY_H
#define ORMEL_PARAMS_PARAM_LIBRARY_H

#include "host/lwsdk.h"

namespace ormel {

// The module's one texture context, created on first request; null while the host has
// no texture service.
LWTxtrContextID shared_texture_context();

// Creates the named channel group under the surface's own group (or at the host's root
// when the surface is null).
LWChanGroupID create_instance_group(const char *name, LWSurfaceID surface);

// Binds both service tables and tells whether every service that the library calls
// without a test of its own is there: variant parameters, envelopes, surfaces, images,
// channels and scene objects. Parameters must not be made while this is false. The
// texture service is not among them: without it parameters simply carry no texture.
bool param_library_ready();

}  // namespace ormel

#endif
