// Per-time data handed to the gradient inputs: a snapshot of the scene's items.
#ifndef ORMEL_GRADIENTS_INPUT_TIME_H
#define ORMEL_GRADIENTS_INPUT_TIME_H

#include "host/lwsdk.h"

namespace ormel {

class ItemStateCache;

struct InputTimeData {
    double time = 0.0;
    int frame = 0;
    ItemStateCache *cache = nullptr;
};

// The context's paramTime callback: a new record with its own snapshot at the time.
gParamData input_time_create(void *userData, LWTxtrParamDesc *param, int paramNb, LWTime time,
                             LWFrame frame);
// The context's paramCleanup callback.
void input_time_free(LWTxtrParamDesc *param, int paramNb, gParamData data);

}  // namespace ormel

#endif
