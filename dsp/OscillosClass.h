// Phase oscillators. Audio thread only, no allocation. Sample rates must be above 0: a zero or
// NaN rate gives a non-finite increment (no crash; callers sanitise). A NaN phase, whatever its
// cause, is treated as past the end of the cycle and wraps, so it cannot stick.
#pragma once

#include <cstdint>

#include "dsp/Numbers.h"
#include "dsp/Random.h"

// A phase running over -0.5..0.5 that jumps back to -0.5 after passing 0.5.
class TSingleOscillator {
public:
    virtual ~TSingleOscillator() = default;
    // A resetFlag of exactly 1.0 moves the phase to resetPhase and is cleared to 0.0.
    virtual void Tick(float& resetFlag, float freq, float sampleRate, float resetPhase);

    float Increment = 0, LastFreq = 0, Phase = 0;
};

// Parabolic approximation of cos(2 pi Phase): 1 at phase 0, 0 at +-0.25, -1 at +-0.5.
class TPara final : public TSingleOscillator {
public:
    void Tick(float& resetFlag, float freq, float sampleRate, float resetPhase) override;

    float Value = 0;
};

// Two outputs on one frequency, B kept phaseOffset cycles ahead of A and re-aligned on every
// wrap of A. Waves: 0 parabolic sine, 1 triangle, 2 rising saw, 3 falling saw, 4 square,
// 5 sample and hold; any other number gives the parabolic sine.
class TmultiDualSingle {
public:
    void Tick(int32_t wave, float freq, float pulseWidth, float phaseOffset, float sampleRate);
    void Restart(float phaseOffset) {
        PhaseA = 0.0f;
        PhaseB = phaseOffset;
    }

    float Increment = 0, HoldA = 0, HoldB = 0, CentredA = 0, CentredB = 0, OutA = 0, OutB = 0,
          PhaseA = 0, PhaseB = 0;
    TRandom Rng;  // the sample-and-hold draws

private:
    // The increment is recomputed only when the bits of frequency or rate change: the same bits
    // give the same increment, NaN included.
    uint32_t IncrementFreqBits = 0, IncrementRateBits = 0;
    bool IncrementValid = false;
};
