// Decimator: sample-and-hold on a free-running clock, then quantisation and optional saturation.
// Audio thread only, except the working values.
#pragma once

#include "dsp/ConvertersClass.h"
#include "dsp/FxFrame.h"
#include "dsp/Numbers.h"
#include "dsp/Shared.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

// The bit-depth steps: "DEC Bits" picks one of these as the number of levels.
extern const std::array<int32_t, 24> kDecLevelTable;

// Odd-symmetric soft clip s |v| / (s + |v|) with the sign of v; it approaches +-s.
inline float DecimatorSaturate(float v, Wide s) {
    const Wide t = s - s * s / (s + std::fabs(Wide(v)));
    return float(v > 0.0f ? t : -t);
}

// Keeps no history: while another effect is selected nothing runs and everything freezes.
class TDecimator final {
public:
    void Step(const TFxFrame& f) {
        const int32_t sr = f.SrInt;
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
            DecHeldL = f.InL;
            DecHeldR = f.InR;
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

    TWetPair Wet() const { return {DecOutL, DecOutR}; }

    // Working values (written by parameter changes on any thread); SyncStep is the synced value's
    // clock divider.
    Shared<int32_t> DecHold = 0, SyncStep = 0;
    Shared<float> DecLevels = 0.0f, DecSat = 0.0f;

    float DecPhase = 0;
    int32_t DecLastStep = 0;
    float DecHeldL = 0, DecHeldR = 0, DecOutL = 0, DecOutR = 0;
    // The clock increment, kept for the hold, rate and divider it was computed from.
    Wide DecIncrement = 0.0;
    int32_t DecIncrementHold = 0, DecIncrementRate = 0, DecIncrementStep = 0;
    // The outputs depend on the held pair, the levels and the saturation alone: they are worked
    // out again only when one of these changes (bit for bit).
    std::array<uint32_t, 4> DecOutFor{};
    bool DecOutValid = false;
};
