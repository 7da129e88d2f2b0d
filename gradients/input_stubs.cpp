// Placeholders until the gradient inputs are evaluated: every input reads 1.0 and no
// per-time data is kept.
#include "gradients/input_eval.h"
#include "gradients/input_time.h"

namespace ormel {

double evaluate_input(LWTxtrParamDesc *, int, LWMicropol *, gParamData) { return 1.0; }

gParamData input_time_create(void *, LWTxtrParamDesc *, int, LWTime, LWFrame) { return nullptr; }

void input_time_free(LWTxtrParamDesc *, int, gParamData) {}

}  // namespace ormel
