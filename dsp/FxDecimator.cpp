#include "dsp/FxEngine.h"

// Not built yet: the output pair stays at 0.
void TFxEngine::ProcessDecimator(int32_t) {}
