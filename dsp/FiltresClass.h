// First-order filters. Audio thread only, no allocation, one Tick per sample.
// Sample rates must be above 0: a zero or NaN rate (or g = -1 for the all-pass) gives
// non-finite coefficients without crashing; callers sanitise.
#pragma once

#include <bit>
#include <cmath>
#include <limits>
#include <cstdint>

#include "dsp/Numbers.h"
#include "dsp/Pairs.h"

// The float nearest 1e-18: the all-pass starts its memories here rather than at zero.
inline constexpr float TinyStart = std::bit_cast<float>(0x219392EFu);
static_assert(TinyStart == float(1e-18));

// First-order all-pass (z^-1 - a) / (1 - a z^-1), a = (1 - g) / (1 + g) recomputed every call.
class TAp11 {
public:
    void Tick(float input, float g) { TickWith(input, Coefficient(g)); }
    // The same, with Coefficient(g) already at hand: stages that share g compute it once.
    void TickWith(float input, float coef) {
        Coef = coef;
        Output = float(-Wide(Coef) * Wide(input) + Wide(State));
        State = float(Wide(Output) * Wide(Coef) + Wide(input));
    }
    static float Coefficient(float g) { return float((1.0 - Wide(g)) / (1.0 + Wide(g))); }

    float Coef = TinyStart, State = TinyStart, Output = TinyStart;
};

// One-pole low-pass, bilinear transform of W / (s + W) without pre-warp. Coefficients are
// recomputed only when the cutoff changes; a new sample rate alone does not recompute them.
class TLp1 {
public:
    void Tick(float input, float cutoff, float sampleRate) {
        if (cutoff != LastCutoff) SetCutoff(cutoff, sampleRate);
        const Wide in = input;
        const Wide y = (in + 1e-18) * WideB + WideX1 * WideB + Wide(Y1) * WideA1;
        Output = Y1 = float(y);
        X1 = input;  // the raw input: the anti-denormal offset is for the current term only
        WideX1 = in;
    }
    // The same, for an input that mostly holds still (a glide toward a target). Once a tick has
    // left the filter where it was, the same input and cutoff leave it there on every tick after,
    // so those are not worked out: the state is kept as the tick that settled it left it.
    void TickHeld(float input, float cutoff, float sampleRate) {
        const uint32_t in = std::bit_cast<uint32_t>(input), x1 = std::bit_cast<uint32_t>(X1),
                       y1 = std::bit_cast<uint32_t>(Y1);
        if (in == x1 && x1 == SettledX1 && y1 == SettledY1 && std::bit_cast<uint32_t>(Output) == y1 &&
            cutoff == LastCutoff)
            return;
        Tick(input, cutoff, sampleRate);
        const bool still = in == x1 && std::bit_cast<uint32_t>(Y1) == y1;
        SettledX1 = still ? in : ~in;   // ~in: a pattern X1 does not hold, so no match
        SettledY1 = y1;
    }

#if defined(__SSE2__)
    // What a stereo pair of filters carries from tick to tick (the last input, widened, and the
    // last output), held in registers over a run of ticks: LoadPair, TickPair per tick, StorePair
    // before anything else reads the filters.
    struct TPairState {
        __m128d WideX1;
        __m128 Y1;
    };
    static TPairState LoadPair(const TLp1& l, const TLp1& r) {
        return {_mm_set_pd(r.WideX1, l.WideX1), PairOf(l.Y1, r.Y1)};
    }
    static void StorePair(TLp1& l, TLp1& r, const TPairState& s) {
        l.Output = l.Y1 = LeftOf(s.Y1);
        r.Output = r.Y1 = RightOf(s.Y1);
        _mm_storel_pd(&l.WideX1, s.WideX1);
        _mm_storeh_pd(&r.WideX1, s.WideX1);
        l.X1 = float(l.WideX1);   // a widened float: exact
        r.X1 = float(r.WideX1);
    }
    // Both filters ticked on the same cutoff, the input pair in a register: what Tick gives each,
    // both channels' arithmetic side by side. Returns the output pair.
    static __m128 TickPair(TLp1& l, TLp1& r, TPairState& s, __m128 input, float cutoff, float sampleRate) {
        if (cutoff != l.LastCutoff) l.SetCutoff(cutoff, sampleRate);   // the coefficients only
        if (cutoff != r.LastCutoff) r.SetCutoff(cutoff, sampleRate);
        const __m128d in = _mm_cvtps_pd(input), b = _mm_set_pd(r.WideB, l.WideB);
        const __m128d y = _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(in, _mm_set1_pd(1e-18)), b),
                                                _mm_mul_pd(s.WideX1, b)),
                                     _mm_mul_pd(_mm_cvtps_pd(s.Y1), _mm_set_pd(r.WideA1, l.WideA1)));
        s.Y1 = _mm_cvtpd_ps(y);
        s.WideX1 = in;
        return s.Y1;
    }
#endif

    float B = 0, A1 = 0, K = 0, W = 0, Norm = 0, X1 = 0, Y1 = 0, LastCutoff = -1.0f, Output = 0;

private:
    uint32_t SettledX1 = 1, SettledY1 = 0;   // X1 = 0.0f is not settled yet
    // B, A1 and X1 again, widened once rather than on every tick: the same values exactly.
    Wide WideB = 0, WideA1 = 0, WideX1 = 0;
    void SetCutoff(float cutoff, float sampleRate);
};

// One-pole high-pass, bilinear transform of s / (s + W) without pre-warp, cached like TLp1.
class THp1 {
public:
    void Tick(float input, float cutoff, float sampleRate) {
        if (cutoff != LastCutoff) SetCutoff(cutoff, sampleRate);
        const Wide in = input;
        const Wide y = (in + 1e-18) * WideB0 + WideX1 * WideB1 + Wide(Y1) * WideA1;
        // A steady input of any size swallows the offset in rounding, and the output then decays
        // geometrically: what would be subnormal is 0.
        Output = Y1 = FlushSubnormal(float(y));
        X1 = input;  // the raw input: the anti-denormal offset is for the current term only
        WideX1 = in;
    }

    float B0 = 0, B1 = 0, A1 = 0, K = 0, W = 0, Norm = 0, X1 = 0, Y1 = 0, LastCutoff = -1.0f,
          Output = 0;

private:
    // B0, B1, A1 and X1 again, widened once rather than on every tick: the same values exactly.
    Wide WideB0 = 0, WideB1 = 0, WideA1 = 0, WideX1 = 0;
    void SetCutoff(float cutoff, float sampleRate);
};
