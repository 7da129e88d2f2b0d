// Placeholder shading pass: spots are left unchanged.
#include "shading/evaluate.h"

namespace ormel {
namespace dirt {

void evaluate(LWInstance, LWShaderAccess *) {}

}  // namespace dirt
}  // namespace ormel
