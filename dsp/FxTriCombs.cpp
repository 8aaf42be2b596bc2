#include "dsp/FxEngine.h"

// Not built yet: the output pair stays at 0.
void TFxEngine::ProcessTriCombs(int32_t) {}
