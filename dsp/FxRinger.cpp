#include "dsp/FxEngine.h"

// Not built yet: the output pair stays at 0.
void TFxEngine::ProcessRinger(int32_t) {}
