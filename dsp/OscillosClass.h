// Phase oscillators. Audio thread only, no allocation. Sample rates must be above 0: a zero or
// NaN rate gives a non-finite increment (no crash; callers sanitise). A NaN phase, whatever its
// cause, is treated as past the end of the cycle and wraps, so it cannot stick.
// Ticks are defined here so the frame loop can inline them.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "dsp/Numbers.h"
#include "dsp/Random.h"

// A phase running over -0.5..0.5 that jumps back to -0.5 after passing 0.5.
class TSingleOscillator {
public:
    virtual ~TSingleOscillator() = default;
    // A resetFlag of exactly 1.0 moves the phase to resetPhase and is cleared to 0.0.
    virtual void Tick(float& resetFlag, float freq, float sampleRate, float resetPhase) {
        SetFrequency(freq, sampleRate);
        Phase = float(Wide(Phase) + Wide(Increment));
        if (resetFlag == 1.0f) {
            Phase = resetPhase;
            resetFlag = 0.0f;
        }
        Phase = Wrap(Phase);
    }
    void SetFrequency(float freq, float sampleRate) {
        if (freq != LastFreq) {  // a new sample rate alone keeps the old increment
            Increment = float((1.0 / Wide(sampleRate)) * Wide(freq));
            LastFreq = freq;
        }
    }
    // One step of a phase that is never reset. One operation on two floats: in float it rounds
    // exactly as in double and back.
    static float Step(float phase, float increment) { return Wrap(phase + increment); }
    static float Wrap(float phase) { return !(phase <= 0.5f) ? -0.5f : phase; }  // the excess is dropped, not carried

    float Increment = 0, LastFreq = 0, Phase = 0;
};

// Parabolic approximation of cos(2 pi Phase): 1 at phase 0, 0 at +-0.25, -1 at +-0.5.
class TPara final : public TSingleOscillator {
public:
    void Tick(float& resetFlag, float freq, float sampleRate, float resetPhase) override {
        TSingleOscillator::Tick(resetFlag, freq, sampleRate, resetPhase);
        Value = ParabolicSine(Phase);
    }

    // 8 t (1 - 2 |t|) with t = 0.25 - |phase| rounded to float.
    static float ParabolicSine(float phase) {
        const float t = 0.25f - std::fabs(phase);   // one float operation, exact as in double
        return float(8.0 * Wide(t) * (1.0 - 2.0 * std::fabs(Wide(t))));
    }

    float Value = 0;
};

// Two outputs on one frequency, B kept phaseOffset cycles ahead of A and re-aligned on every
// wrap of A. Waves: 0 parabolic sine, 1 triangle, 2 rising saw, 3 falling saw, 4 square,
// 5 sample and hold; any other number gives the parabolic sine.
class TmultiDualSingle {
public:
    void Tick(int32_t wave, float freq, float pulseWidth, float phaseOffset, float sampleRate) {
        SetIncrement(freq, sampleRate);
        StepPhases(phaseOffset);
        Centre();
        if (wave == 5) {
            Hold();
            return;
        }
        switch (wave) {  // one dispatch for both outputs
            case 1: SetOutputs<1>(pulseWidth); break;
            case 2: SetOutputs<2>(pulseWidth); break;
            case 3: SetOutputs<3>(pulseWidth); break;
            case 4: SetOutputs<4>(pulseWidth); break;
            default: SetOutputs<0>(pulseWidth); break;
        }
    }

    // A tick in parts, for a run of frames on one wave and frequency: the increment, then each
    // frame's phase step (and for the sample and hold, its centring and draw), then the shapes of
    // the frames that are read, all at once.
    void SetIncrement(float freq, float sampleRate) {
        const uint32_t freqBits = std::bit_cast<uint32_t>(freq), rateBits = std::bit_cast<uint32_t>(sampleRate);
        if (!IncrementValid || freqBits != IncrementFreqBits || rateBits != IncrementRateBits) {
            Increment = float((1.0 / Wide(sampleRate)) * Wide(freq));
            IncrementFreqBits = freqBits;
            IncrementRateBits = rateBits;
            IncrementValid = true;
        }
    }
    void StepPhases(float phaseOffset) {
        // One operation on two floats: done in float it rounds exactly as in double and back
        // (the double has more than twice the float's precision), in a quarter of the steps.
        PhaseA = PhaseA + Increment;
        PhaseB = PhaseB + Increment;
        if (!(PhaseB <= 1.0f)) PhaseB = 0.0f;
        if (!(PhaseA <= 1.0f)) {
            PhaseA = 0.0f;
            PhaseB = phaseOffset;  // B is re-aligned to A once per cycle of A
        }
    }
    void Centre() {
        CentredA = PhaseA - 0.5f;
        CentredB = PhaseB - 0.5f;
    }
    // The sample and hold's outputs after a phase step.
    void Hold() {
        // Drawn on every sample near the end of A's cycle: the value kept is the last draw.
        if (Wide(CentredA) > 0.49) HoldA = float((Wide(Rng.Uniform01()) - 0.5) * 2.0);
        if (Wide(CentredB) > 0.49) HoldB = HoldA;
        OutA = HoldA;
        OutB = HoldB;
    }
    // The outputs of any wave but the sample and hold for n phases (0..1) of one output. A loop
    // the compiler vectorises.
    static void Shapes(int32_t wave, float pulseWidth, const float* phase, float* out, int32_t n) {
        switch (wave) {
            case 1: ShapeRun<1>(pulseWidth, phase, out, n); break;
            case 2: ShapeRun<2>(pulseWidth, phase, out, n); break;
            case 3: ShapeRun<3>(pulseWidth, phase, out, n); break;
            case 4: ShapeRun<4>(pulseWidth, phase, out, n); break;
            default: ShapeRun<0>(pulseWidth, phase, out, n); break;
        }
    }
    void Restart(float phaseOffset) {
        PhaseA = 0.0f;
        PhaseB = phaseOffset;
    }

    float Increment = 0, HoldA = 0, HoldB = 0, CentredA = 0, CentredB = 0, OutA = 0, OutB = 0,
          PhaseA = 0, PhaseB = 0;
    TRandom Rng;  // the sample-and-hold draws

private:
    template <int32_t Wave>
    static Wide Shape(float centred, float pulseWidth) {
        const Wide c = centred;
        if constexpr (Wave == 1) return 1.0 - 4.0 * std::fabs(c);
        if constexpr (Wave == 2) return 2.0 * c;
        if constexpr (Wave == 3) return -(2.0 * c);
        if constexpr (Wave == 4) return (Wide(pulseWidth) - 0.5) >= c ? -1.0 : 1.0;
        return TPara::ParabolicSine(centred);
    }
    template <int32_t Wave>
    void SetOutputs(float pulseWidth) {
        OutA = float(Shape<Wave>(CentredA, pulseWidth));
        OutB = float(Shape<Wave>(CentredB, pulseWidth));
    }
    template <int32_t Wave>
    static void ShapeRun(float pulseWidth, const float* phase, float* out, int32_t n) {
        for (int32_t k = 0; k < n; ++k) out[k] = float(Shape<Wave>(phase[k] - 0.5f, pulseWidth));
    }

    // The increment is recomputed only when the bits of frequency or rate change: the same bits
    // give the same increment, NaN included.
    uint32_t IncrementFreqBits = 0, IncrementRateBits = 0;
    bool IncrementValid = false;
};
