// Phaser: one to six first-order all-passes per channel, swept by the LFO, with inverted feedback
// from the end of the chain. Audio thread only, except the working values.
#pragma once

#include "dsp/FiltresClass.h"
#include "dsp/FxFrame.h"
#include "dsp/Numbers.h"
#include "dsp/Pairs.h"
#include "dsp/Shared.h"

#include <array>
#include <cmath>
#include <cstdint>

constexpr int32_t kPhaserStages = 6;

// The swept break frequency, kept between 1 Hz and 16 kHz; a NaN falls to the bottom.
inline float ClampPhaserFreq(Wide f) { return f > 16000.0 ? 16000.0f : (f >= 1.0 ? float(f) : 1.0f); }

// Runs only while selected: the swept frequencies come from the LFO of the frame that uses them,
// so working them out while deselected would change nothing.
class TPhaser final {
public:
    // One frame on its own.
    void Step(const TFxFrame& f) {
        THeld held = Hold();
        StepHeld(f, held);
        Release(held);
    }

    // What runs from frame to frame, the feedback pair and the stages' memories, held where it
    // can stay in registers over a run of frames: Hold, StepHeld per frame, Release before
    // anything else reads the effect. Stores left out of the frame matter as much as loads: the
    // frame is bound by its chain of stages, and the fewer of its writes wait to retire, the more
    // of the next frame the processor overlaps with it.
#if defined(__SSE2__)
    struct THeld {
        __m128 Out;
        __m128 States[kPhaserStages];
    };
    THeld Hold() const {
        THeld held;
        held.Out = PairOf(PhaOutL, PhaOutR);
        for (size_t i = 0; i < size_t(kPhaserStages); ++i) held.States[i] = PairOf(PhaStagesL[i].State, PhaStagesR[i].State);
        return held;
    }
    void Release(const THeld& held) {
        PhaOutL = LeftOf(held.Out);
        PhaOutR = RightOf(held.Out);
        for (size_t i = 0; i < size_t(kPhaserStages); ++i) {
            PhaStagesL[i].State = LeftOf(held.States[i]);
            PhaStagesR[i].State = RightOf(held.States[i]);
        }
    }
    TWetPair Wet(const THeld& held) const { return {LeftOf(held.Out), RightOf(held.Out)}; }
#else
    struct THeld {};
    THeld Hold() const { return {}; }
    void Release(const THeld&) {}
    TWetPair Wet(const THeld&) const { return Wet(); }
#endif

    // The next frame.
    void StepHeld(const TFxFrame& f, [[maybe_unused]] THeld& held) {
        const Wide freq = PhaFreq, amount = f.LfoAmp;
        const int32_t rate = f.SrInt;
        if (rate != PhaOmegaRate) {
            PhaOmega = float(6.2831853071795 / Wide(rate));
            PhaOmegaRate = rate;
        }
        const Wide feedback = PhaFeedback;
        int32_t last = PhaDepth;
        last = last < 0 ? 0 : (last >= kPhaserStages ? kPhaserStages - 1 : last);
        // The all-passes add no offset of their own: without feedback, silence would decay their
        // memories into subnormals, so the chain input carries the same 1e-18 as the output.
#if defined(__SSE2__)
        // Both channels side by side, lane 0 the left: the same operations in the same order on
        // each, so the same roundings, in about half the instructions. The frame is bound by its
        // chain of stages; the fewer instructions around it, the more of the next frame overlaps.
        const __m128d one = _mm_set1_pd(1.0);
        // The swept frequencies, clamped as ClampPhaserFreq does (a NaN fails both tests).
        const __m128d swept = _mm_add_pd(_mm_set1_pd(freq), _mm_mul_pd(_mm_set1_pd(freq * amount),
                                                                        _mm_sub_pd(_mm_cvtps_pd(PairOf(f.LfoModL, f.LfoModR)), one)));
        const __m128 above = _mm_castpd_ps(_mm_cmpgt_pd(swept, _mm_set1_pd(16000.0)));
        const __m128 inside = _mm_castpd_ps(_mm_cmpge_pd(swept, one));
        auto select = [](__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); };
        // The double masks' low words line up with the two floats cvtpd_ps leaves in the low lanes.
        const __m128 lanes = _mm_shuffle_ps(above, inside, 0x88), aboveF = _mm_movelh_ps(lanes, lanes),
                     insideF = _mm_movehl_ps(lanes, lanes);
        const __m128 freqs = select(aboveF, _mm_set1_ps(16000.0f), select(insideF, _mm_cvtpd_ps(swept), _mm_set1_ps(1.0f)));
        PhaFreqL = LeftOf(freqs);
        PhaFreqR = RightOf(freqs);
        // Every stage of a channel has the same break frequency, so the same coefficient.
        const __m128d g = _mm_cvtps_pd(_mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(freqs), _mm_set1_pd(Wide(PhaOmega)))));
        const __m128 coefs = _mm_cvtpd_ps(_mm_div_pd(_mm_sub_pd(one, g), _mm_add_pd(one, g)));
        const float coefL = LeftOf(coefs), coefR = RightOf(coefs);
        const __m128d c = _mm_cvtps_pd(coefs), minusC = _mm_sub_pd(_mm_setzero_pd(), c);
        __m128 x = _mm_cvtpd_ps(_mm_add_pd(
            _mm_add_pd(_mm_cvtps_pd(PairOf(f.InL, f.InR)), _mm_mul_pd(_mm_cvtps_pd(held.Out), _mm_set1_pd(feedback))),
            _mm_set1_pd(1e-18)));
        for (size_t i = 0; i <= size_t(last); ++i) {
            TAp11 &l = PhaStagesL[i], &r = PhaStagesR[i];
            const __m128d in = _mm_cvtps_pd(x);
            const __m128 out = _mm_cvtpd_ps(_mm_add_pd(_mm_mul_pd(minusC, in), _mm_cvtps_pd(held.States[i])));
            const __m128 state = _mm_cvtpd_ps(_mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(out), c), in));
            l.Coef = coefL;
            r.Coef = coefR;
            l.Output = LeftOf(out);
            r.Output = RightOf(out);
            held.States[i] = state;
            x = out;
        }
        held.Out = PairOf(PlusTiny(LeftOf(x)), PlusTiny(RightOf(x)));
#else
        PhaFreqL = ClampPhaserFreq(freq + freq * amount * (Wide(f.LfoModL) - 1.0));
        PhaFreqR = ClampPhaserFreq(freq + freq * amount * (Wide(f.LfoModR) - 1.0));
        // Every stage of a channel has the same break frequency, so the same coefficient.
        const float coefL = TAp11::Coefficient(float(Wide(PhaFreqL) * Wide(PhaOmega)));
        const float coefR = TAp11::Coefficient(float(Wide(PhaFreqR) * Wide(PhaOmega)));
        PhaStagesL[0].TickWith(float(Wide(f.InL) + Wide(PhaOutL) * feedback + 1e-18), coefL);
        PhaStagesR[0].TickWith(float(Wide(f.InR) + Wide(PhaOutR) * feedback + 1e-18), coefR);
        for (size_t i = 1; i <= size_t(last); ++i) {
            PhaStagesL[i].TickWith(PhaStagesL[i - 1].Output, coefL);
            PhaStagesR[i].TickWith(PhaStagesR[i - 1].Output, coefR);
        }
        PhaOutL = PlusTiny(PhaStagesL[size_t(last)].Output);
        PhaOutR = PlusTiny(PhaStagesR[size_t(last)].Output);
#endif
    }

    // x + 1e-18 rounded to float. From 2^-30 up, 1e-18 is far under half the float's last place,
    // so the sum rounds back to x itself: taken as it is, it spares the frame's longest chain of
    // dependent steps (one stage into the next, then round the feedback) two conversions and an
    // addition. The branch is all but always taken the same way, so it costs no wait.
    static float PlusTiny(float x) {
        if (__builtin_expect(std::fabs(x) >= 0x1p-30f, 1)) return x;
        return float(Wide(x) + 1e-18);
    }

    TWetPair Wet() const { return {PhaOutL, PhaOutR}; }

    // Working values (written by parameter changes on any thread).
    Shared<float> PhaFreq = 0.0f, PhaFeedback = 0.0f;
    Shared<int32_t> PhaDepth = 0;

    std::array<TAp11, kPhaserStages> PhaStagesL{}, PhaStagesR{};
    float PhaFreqL = 0, PhaFreqR = 0, PhaOutL = 0, PhaOutR = 0;
    float PhaOmega = 0;          // 6.2831853071795 / SrInt, rounded, for the rate below
    int32_t PhaOmegaRate = 0;    // the SrInt PhaOmega was computed for
};
