// Values of the 36 gradient inputs at a spot.
#ifndef ORMEL_GRADIENTS_INPUT_EVAL_H
#define ORMEL_GRADIENTS_INPUT_EVAL_H

#include "host/lwsdk.h"

namespace ormel {

// The context's paramEvaluate callback; never fails, missing data gives fixed fallbacks.
double evaluate_input(LWTxtrParamDesc *param, int paramNb, LWMicropol *mp, gParamData data);

}  // namespace ormel

#endif
