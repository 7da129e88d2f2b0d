// The shading pass: the shader's per-spot callback.
#ifndef ORMEL_SHADING_EVALUATE_H
#define ORMEL_SHADING_EVALUATE_H

#include "host/lwsdk.h"

namespace ormel {
namespace dirt {

void evaluate(LWInstance inst, LWShaderAccess *access);

}  // namespace dirt
}  // namespace ormel

#endif
