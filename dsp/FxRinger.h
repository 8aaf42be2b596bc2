// Ringer: ring modulation by a free-running parabolic carrier, with a synced echo that is
// low-passed and fed back before the modulator. Audio thread only, except the working values.
#pragma once

#include "dsp/BuffersClass.h"
#include "dsp/FiltresClass.h"
#include "dsp/FxFrame.h"
#include "dsp/Numbers.h"
#include "dsp/OscillosClass.h"
#include "dsp/Shared.h"

#include <array>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstdint>

// The carrier and the echo lines run whether or not the effect is selected; only the echo return
// is cut while another effect plays.
class TRinger final {
public:
    void Step(const TFxFrame& f) {
        const float sampleRate = float(f.SrInt);
        const Wide carrier = *NextCarriers(1, sampleRate);
        RngOutL = Modulate(carrier, f.InL, RngLowL.Output);
        RngOutR = Modulate(carrier, f.InR, RngLowR.Output);
        const Wide feedback = RngFeedback;
        RngLineL.Write(f.PosLong, float(Wide(RngOutL) * feedback));
        RngLineR.Write(f.PosLong, float(Wide(RngOutR) * feedback));

        // The ring is RingLong, 8 s of samples cut to the line capacity above 192 kHz.
        const TDelayTap tap = SplitDelay(f.PosLong, f.RingLong, float(f.SyncDelayLength));
        RngLineL.Read(tap);
        RngLineR.Read(tap);
        const float damp = RngDamp;
        RngLowL.Tick(RngLineL.Output, damp, sampleRate);
        RngLowR.Tick(RngLineR.Output, damp, sampleRate);
    }

    void Deselected(const TFxSpan& s) {
        const int32_t n = s.Count;
        const float* carriers = NextCarriers(n, float(s.First.SrInt));
        // The first frame returns what the filters last gave; then only their outputs are cut, the
        // memories kept for the next selection.
        ModulateSpan(carriers, s.InL, RngLowL.Output, n, ModL.data());
        ModulateSpan(carriers, s.InR, RngLowR.Output, n, ModR.data());
        RngLowL.Output = 0.0f;
        RngLowR.Output = 0.0f;
        RngOutL = ModL[size_t(n - 1)];
        RngOutR = ModR[size_t(n - 1)];
        // A product of two floats is exact in double, so rounding it to float is the float product.
        const float feedback = RngFeedback;
        const float *modL = ModL.data(), *modR = ModR.data();
        RecordRing(RngLineL.Buffer.data(), s.First.PosLong, s.First.RingLong, n,
                   [=](int32_t j) { return modL[j] * feedback; });
        RecordRing(RngLineR.Buffer.data(), s.First.PosLong, s.First.RingLong, n,
                   [=](int32_t j) { return modR[j] * feedback; });
    }

    TWetPair Wet() const { return {RngOutL, RngOutR}; }

    // The carrier is worked out ahead for a run of frames: its phase steps, which the engine runs
    // in the loop of its own LFO's so that the two chains of additions overlap, then the shapes,
    // all at once. The tone is read once for the run. Begin, a step per frame into Carriers, End.
    struct TCarrierSteps {
        float Phase, Increment;
        float Next() { return Phase = TSingleOscillator::Step(Phase, Increment); }
    };
    TCarrierSteps BeginCarrier(float sampleRate) {
        RngOsc.SetFrequency(RngTone, sampleRate);
        return {RngOsc.Phase, RngOsc.Increment};
    }
    void EndCarrier(const TCarrierSteps& steps, int32_t n) {
        RngOsc.Phase = steps.Phase;
        for (int32_t j = 0; j < n; ++j) Carriers[size_t(j)] = TPara::ParabolicSine(Carriers[size_t(j)]);
        RngOsc.Value = Carriers[size_t(n - 1)];
        CarrierCount = n;
        CarrierNext = 0;
    }
    // The carrier's phases (once ended, its values) for up to a span of frames.
    std::array<float, kSpanLength> Carriers{};

    // Working values (written by parameter changes on any thread).
    Shared<float> RngTone = 0.0f, RngFeedback = 0.0f, RngDamp = 0.0f;

    TPara RngOsc;
    Tdelay1p RngLineL{kLongLineLength}, RngLineR{kLongLineLength};
    TLp1 RngLowL, RngLowR;
    float RngOutL = 0, RngOutR = 0;

private:
    // The carriers of the next n frames (it is never re-phased): those worked out ahead, or when
    // none are left (an owner that runs no carrier ahead), these n now.
    const float* NextCarriers(int32_t n, float sampleRate) {
        if (CarrierNext + n > CarrierCount) {
            TCarrierSteps steps = BeginCarrier(sampleRate);
            for (int32_t j = 0; j < n; ++j) Carriers[size_t(j)] = steps.Next();
            EndCarrier(steps, n);
        }
        const float* carriers = Carriers.data() + CarrierNext;
        CarrierNext += n;
        return carriers;
    }
    // Input plus echo is held to +-1 (NaN to -1) so the loop cannot grow without bound.
    static float Modulate(Wide carrier, float in, Wide echo) {
        const Wide x = Wide(in) + echo;
        return float(carrier * (x > 1.0 ? 1.0 : (x >= -1.0 ? x : -1.0)));
    }
    // Modulate over a span with the echo cut after the first frame. With no echo the clamped input
    // is a float, and the carrier times it, a product of two floats, rounds to the float product:
    // four frames to an SSE register. The compiler keeps the clamp's branches (a compare may
    // trap), so here it is max then min: maxps(x, -1) gives -1 for a NaN, as the branches do, and
    // min(., 1) the upper bound. Adding +0 first turns -0 into +0, as the double sum does.
    static void ModulateSpan(const float* carriers, const float* in, Wide firstEcho, int32_t n, float* out) {
        out[0] = Modulate(carriers[0], in[0], firstEcho);
        int32_t j = 1;
#if defined(__SSE2__)
        const __m128 lo = _mm_set1_ps(-1.0f), hi = _mm_set1_ps(1.0f);
        for (; j + 4 <= n; j += 4) {
            const __m128 x = _mm_add_ps(_mm_loadu_ps(in + j), _mm_setzero_ps());
            _mm_storeu_ps(out + j, _mm_mul_ps(_mm_loadu_ps(carriers + j), _mm_min_ps(_mm_max_ps(x, lo), hi)));
        }
#endif
        for (; j < n; ++j) out[j] = Modulate(carriers[j], in[j], 0.0);
    }

    int32_t CarrierCount = 0, CarrierNext = 0;
    // The modulated pair over a span of deselected frames.
    std::array<float, kSpanLength> ModL{}, ModR{};
};
