#include "dsp/FxEngine.h"

// Not built yet: the output pair stays at 0.
void TFxEngine::ProcessPhaser(int32_t) {}
