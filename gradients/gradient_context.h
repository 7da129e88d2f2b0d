// The module's texture context with its 36 gradient inputs.
#ifndef ORMEL_GRADIENTS_GRADIENT_CONTEXT_H
#define ORMEL_GRADIENTS_GRADIENT_CONTEXT_H

#include "host/lwsdk.h"

namespace ormel {

constexpr int kGradientInputCount = 36;

// The 36 input rows in the host's order, followed by an all-zero row.
extern const LWTxtrParamDesc GradientInputTable[kGradientInputCount + 1];

// Module-wide holder of the texture-context ID; its destruction at unload destroys the
// context through the host.
struct GradientContextHolder {
    LWTxtrContextID id = nullptr;
    GradientContextHolder() = default;
    ~GradientContextHolder();
    GradientContextHolder(const GradientContextHolder &) = delete;
    GradientContextHolder &operator=(const GradientContextHolder &) = delete;
};

// Creates the context and registers the inputs; the holder stays null without the
// texture service.
void gradient_context_create();
void gradient_context_destroy();

}  // namespace ormel

#endif
