// The spot record a shader sees, as this host lays it out.
#ifndef REFHOST_SPOT_RECORD_H
#define REFHOST_SPOT_RECORD_H

#include <cstddef>

#include "host/lwsdk.h"

namespace refhost {

// The spot record as this host lays it out: the members the SDK declares, then those that
// hosts of the same shader version append, 912 bytes in all. The host's own spot records
// are this large, and rayShade fills in this much of the record a shader passes it.
constexpr size_t kSpotRecordSize = 912;

struct SpotRecord {
    LWShaderAccess access;
    unsigned char later_members[kSpotRecordSize - sizeof(LWShaderAccess)];
};

}  // namespace refhost

#endif
