#include "dsp/FxEngine.h"

// Not built yet: the output pair stays at 0.
void TFxEngine::ProcessSlicer(int32_t) {}
