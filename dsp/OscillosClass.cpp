#include "dsp/OscillosClass.h"

#include <bit>
#include <cmath>

void TSingleOscillator::Tick(float& resetFlag, float freq, float sampleRate, float resetPhase) {
    if (freq != LastFreq) {  // a new sample rate alone keeps the old increment
        Increment = float((1.0 / Wide(sampleRate)) * Wide(freq));
        LastFreq = freq;
    }
    Phase = float(Wide(Phase) + Wide(Increment));
    if (resetFlag == 1.0f) {
        Phase = resetPhase;
        resetFlag = 0.0f;
    }
    if (!(Phase <= 0.5f)) Phase = -0.5f;  // the excess over 0.5 is dropped, not carried
}

void TPara::Tick(float& resetFlag, float freq, float sampleRate, float resetPhase) {
    TSingleOscillator::Tick(resetFlag, freq, sampleRate, resetPhase);
    const float t = float(0.25 - std::fabs(Wide(Phase)));
    Value = float(8.0 * Wide(t) * (1.0 - 2.0 * std::fabs(Wide(t))));
}

namespace {

Wide Shape(int32_t wave, float centred, float pulseWidth) {
    const Wide c = centred;
    switch (wave) {
        case 1: return 1.0 - 4.0 * std::fabs(c);
        case 2: return 2.0 * c;
        case 3: return -(2.0 * c);
        case 4: return (Wide(pulseWidth) - 0.5) >= c ? -1.0 : 1.0;
        default: {
            const float t = float(0.25 - std::fabs(c));
            return 8.0 * Wide(t) * (1.0 - 2.0 * std::fabs(Wide(t)));
        }
    }
}

}  // namespace

void TmultiDualSingle::Tick(int32_t wave, float freq, float pulseWidth, float phaseOffset,
                            float sampleRate) {
    const uint32_t freqBits = std::bit_cast<uint32_t>(freq), rateBits = std::bit_cast<uint32_t>(sampleRate);
    if (!IncrementValid || freqBits != IncrementFreqBits || rateBits != IncrementRateBits) {
        Increment = float((1.0 / Wide(sampleRate)) * Wide(freq));
        IncrementFreqBits = freqBits;
        IncrementRateBits = rateBits;
        IncrementValid = true;
    }
    PhaseA = float(Wide(PhaseA) + Wide(Increment));
    PhaseB = float(Wide(PhaseB) + Wide(Increment));
    if (!(PhaseB <= 1.0f)) PhaseB = 0.0f;
    if (!(PhaseA <= 1.0f)) {
        PhaseA = 0.0f;
        PhaseB = phaseOffset;  // B is re-aligned to A once per cycle of A
    }
    CentredA = float(Wide(PhaseA) - 0.5);
    CentredB = float(Wide(PhaseB) - 0.5);
    if (wave == 5) {
        // Drawn on every sample near the end of A's cycle: the value kept is the last draw.
        if (Wide(CentredA) > 0.49) HoldA = float((Wide(Rng.Uniform01()) - 0.5) * 2.0);
        if (Wide(CentredB) > 0.49) HoldB = HoldA;
        OutA = HoldA;
        OutB = HoldB;
        return;
    }
    OutA = float(Shape(wave, CentredA, pulseWidth));
    OutB = float(Shape(wave, CentredB, pulseWidth));
}
