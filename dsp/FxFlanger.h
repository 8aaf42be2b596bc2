// Flanger, one frame: a short delay swept by the LFO with inverted, low-passed feedback.
// Audio thread only.
#pragma once

#include "dsp/FxEngine.h"

// Deselected, the lines keep recording with the last feedback sample held, so a constant offset
// goes into them.
inline void TFxEngine::ProcessFlanger(int32_t selectedFx) {
    const Wide feedback = FlaFeedback;
    FlaLineL.Write(Frame.PosFlanger, float(Wide(Frame.InL) + Wide(FlaBackL) * feedback));
    FlaLineR.Write(Frame.PosFlanger, float(Wide(Frame.InR) + Wide(FlaBackR) * feedback));
    if (selectedFx != 2) return;

    const Wide delay = FlaDelay, amount = LfoAmp;
    const float dL = float(delay + delay * amount * (Wide(Frame.LfoModL) - 1.0));
    const float dR = float(delay + delay * amount * (Wide(Frame.LfoModR) - 1.0));
    FlaLineL.Read(Frame.PosFlanger, Frame.RingFlanger, dL);
    FlaLineR.Read(Frame.PosFlanger, Frame.RingFlanger, dR);
    const float rate = float(int32_t(SrInt));
    const float damp = FlaDamp;
    FlaLowL.Tick(FlaLineL.Output, damp, rate);
    FlaLowR.Tick(FlaLineR.Output, damp, rate);
    // Written next frame: each pass round the loop takes the read delay plus one sample.
    FlaBackL = FlaLowL.Output;
    FlaBackR = FlaLowR.Output;
}
