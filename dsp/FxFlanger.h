// Flanger: a short delay swept by the LFO with inverted, low-passed feedback. Audio thread only,
// except the working values.
#pragma once

#include "dsp/BuffersClass.h"
#include "dsp/FiltresClass.h"
#include "dsp/FxFrame.h"
#include "dsp/Numbers.h"
#include "dsp/Shared.h"

#include <array>
#include <cstdint>

// Deselected, the lines keep recording with the last feedback sample held, so a constant offset
// goes into them.
class TFlanger final {
public:
    // One frame on its own.
    void Step(const TFxFrame& f) {
        Plan(TFxPlan::Of(f));
        THeld held = Hold();
        StepHeld(f, held);
        Release(held);
    }
    // The sweep's taps for the plan's frames, worked out ahead of them: FlaDelay and the LFO amount
    // are read once for them.
    void Plan(const TFxPlan& p) {
        const Wide delay = FlaDelay, amount = p.First.LfoAmp;
        const Wide sweep = delay * amount;
        std::array<float, kPlanLength> dL, dR;
        for (size_t j = 0; j < size_t(p.Count); ++j) dL[j] = float(delay + sweep * (Wide(p.LfoModL[j]) - 1.0));
        for (size_t j = 0; j < size_t(p.Count); ++j) dR[j] = float(delay + sweep * (Wide(p.LfoModR[j]) - 1.0));
        const int32_t ring = p.First.RingFlanger, pos = p.First.PosFlanger;
        FlaTapsL.Length = FlaTapsR.Length = ring;
        SplitDelays(pos, ring, dL.data(), p.Count, FlaTapsL.Index.data(), FlaTapsL.Frac.data());
        SplitDelays(pos, ring, dR.data(), p.Count, FlaTapsR.Index.data(), FlaTapsR.Frac.data());
        FlaPlanned = 0;
    }

    // What runs from frame to frame, the feedback pair and the low-passes' memories, held where
    // it can stay in registers over a run of planned frames: Hold, StepHeld per frame, Release
    // before anything else reads the effect.
#if defined(__SSE2__)
    struct THeld {
        __m128 Back;
        TLp1::TPairState Low;
    };
    THeld Hold() const { return {PairOf(FlaBackL, FlaBackR), TLp1::LoadPair(FlaLowL, FlaLowR)}; }
    void Release(const THeld& held) {
        FlaBackL = LeftOf(held.Back);
        FlaBackR = RightOf(held.Back);
        TLp1::StorePair(FlaLowL, FlaLowR, held.Low);
    }
#else
    struct THeld {};
    THeld Hold() const { return {}; }
    void Release(const THeld&) {}
#endif
    // The next planned frame.
    void StepHeld(const TFxFrame& f, [[maybe_unused]] THeld& held) {
        const Wide feedback = FlaFeedback;
        const TDelayTap tapL = FlaTapsL[size_t(FlaPlanned)], tapR = FlaTapsR[size_t(FlaPlanned)];
        ++FlaPlanned;
        const float rate = float(f.SrInt);
        const float damp = FlaDamp;
#if defined(__SSE2__)
        // Both channels side by side, lane 0 the left, from the feedback to the low-passes.
        const __m128 written = _mm_cvtpd_ps(
            _mm_add_pd(_mm_cvtps_pd(PairOf(f.InL, f.InR)), _mm_mul_pd(_mm_cvtps_pd(held.Back), _mm_set1_pd(feedback))));
        FlaLineL.Write(f.PosFlanger, LeftOf(written));
        FlaLineR.Write(f.PosFlanger, RightOf(written));
        const __m128 read = Tdelay4p::InterpolatePair(FlaLineL, tapL, FlaLineR, tapR);
        FlaLineL.Output = LeftOf(read);
        FlaLineR.Output = RightOf(read);
        // Written next frame: each pass round the loop takes the read delay plus one sample.
        held.Back = TLp1::TickPair(FlaLowL, FlaLowR, held.Low, read, damp, rate);
#else
        FlaLineL.Write(f.PosFlanger, PlusBack(f.InL, Wide(FlaBackL) * feedback));
        FlaLineR.Write(f.PosFlanger, PlusBack(f.InR, Wide(FlaBackR) * feedback));
        Tdelay4p::ReadPair(FlaLineL, tapL, FlaLineR, tapR);
        FlaLowL.Tick(FlaLineL.Output, damp, rate);
        FlaLowR.Tick(FlaLineR.Output, damp, rate);
        FlaBackL = FlaLowL.Output;
        FlaBackR = FlaLowR.Output;
#endif
    }

    void Deselected(const TFxSpan& s) {
        const Wide feedback = FlaFeedback;
        RecordPair(FlaLineL.Buffer.data(), FlaLineR.Buffer.data(), s.First.PosFlanger, s.First.RingFlanger, s,
                   Wide(FlaBackL) * feedback, Wide(FlaBackR) * feedback, PlusBack);
    }


    TWetPair Wet() const { return {FlaLineL.Output, FlaLineR.Output}; }

    // Working values (written by parameter changes on any thread).
    Shared<float> FlaDelay = 0.0f, FlaFeedback = 0.0f, FlaDamp = 0.0f;

    Tdelay4p FlaLineL{kFlangerLineLength}, FlaLineR{kFlangerLineLength};
    TLp1 FlaLowL, FlaLowR;
    float FlaBackL = 0, FlaBackR = 0;

private:
    // The planned frames' taps, and the next frame's place among them.
    TTapRun<kPlanLength> FlaTapsL, FlaTapsR;
    int32_t FlaPlanned = 0;
};
