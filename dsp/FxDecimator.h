// Decimator, one frame: sample-and-hold on a free-running clock, then quantisation and optional
// saturation. Audio thread only.
#pragma once

#include "dsp/ConvertersClass.h"
#include "dsp/FxEngine.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

// Odd-symmetric soft clip s |v| / (s + |v|) with the sign of v; it approaches +-s.
inline float DecimatorSaturate(float v, Wide s) {
    const Wide t = s - s * s / (s + std::fabs(Wide(v)));
    return float(v > 0.0f ? t : -t);
}

// Keeps no history: while another effect is selected nothing runs and everything freezes.
inline void TFxEngine::ProcessDecimator(int32_t selectedFx) {
    if (selectedFx != 4) return;
    const int32_t sr = SrInt;
    const int32_t step = SyncStep;
    // With no clock divider or no rate the increment is not finite and the clock falls to 0 on
    // every sample; that is taken as such rather than computed.
    if (step == 0 || sr == 0) {
        DecPhase = 0.0f;
    } else {
        const int32_t hold = DecHold;
        if (hold != DecIncrementHold || sr != DecIncrementRate || step != DecIncrementStep) {
            DecIncrement = (Wide(hold) / Wide(sr)) / Wide(step);
            DecIncrementHold = hold;
            DecIncrementRate = sr;
            DecIncrementStep = step;
        }
        DecPhase = float(Wide(DecPhase) + DecIncrement);
        if (!(Wide(DecPhase) <= Wide(sr))) DecPhase = 0.0f;
    }
    const int32_t clockStep = RoundInt(DecPhase);
    if (clockStep > DecLastStep) {
        DecHeldL = Frame.InL;
        DecHeldR = Frame.InR;
    }
    DecLastStep = clockStep;   // falls back to 0 when the clock wraps: that sample captures nothing

    const float levels = DecLevels, sat = DecSat;
    const std::array<uint32_t, 4> key = {std::bit_cast<uint32_t>(DecHeldL), std::bit_cast<uint32_t>(DecHeldR),
                                         std::bit_cast<uint32_t>(levels), std::bit_cast<uint32_t>(sat)};
    if (DecOutValid && key == DecOutFor) return;
    DecOutFor = key;
    DecOutValid = true;

    const Wide wideLevels = levels;
    auto quantise = [&](float held) {
        // Levels are at least 1 once any parameter has been set; 0 would give 0/0.
        if (!(levels > 0.0f)) return held;
        return float(Wide(RoundInt(float(Wide(held) * wideLevels))) / wideLevels);
    };
    DecOutL = quantise(DecHeldL);
    DecOutR = quantise(DecHeldR);
    if (sat > 1.0f) {
        DecOutL = DecimatorSaturate(DecOutL, sat);
        DecOutR = DecimatorSaturate(DecOutR, sat);
    }
}
