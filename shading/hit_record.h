// The record the shader hands to the host's rayShade for it to fill in.
#ifndef ORMEL_SHADING_HIT_RECORD_H
#define ORMEL_SHADING_HIT_RECORD_H

#include <cstddef>

#include "host/lwsdk.h"

namespace ormel {

// rayShade writes the whole of the host's own spot record into the one its caller passes,
// and hosts lay out more members than the shader's declarations know of: 912 bytes in the
// newest. The record reserves that much so that a host never writes past it; the shader
// reads only the members it declares.
constexpr size_t kHostHitRecordSize = 912;

struct HitRecord {
    LWShaderAccess access;
    unsigned char later_members[kHostHitRecordSize - sizeof(LWShaderAccess)];
};

static_assert(sizeof(HitRecord) >= kHostHitRecordSize, "the hit record must hold the host's");

}  // namespace ormel

#endif
