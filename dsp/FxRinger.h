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
#include <cstdint>

// The carrier and the echo lines run whether or not the effect is selected; only the echo return
// is cut while another effect plays.
class TRinger final {
public:
    void Step(const TFxFrame& f) {
        const float sampleRate = float(f.SrInt);
        const Wide carrier = Carrier(sampleRate);
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
        const float sampleRate = float(s.First.SrInt);
        for (int32_t j = 0; j < n; ++j) Carriers[size_t(j)] = float(Carrier(sampleRate));
        // The first frame returns what the filters last gave; then only their outputs are cut, the
        // memories kept for the next selection.
        const Wide firstL = RngLowL.Output, firstR = RngLowR.Output;
        RngLowL.Output = 0.0f;
        RngLowR.Output = 0.0f;
        const Wide feedback = RngFeedback;
        const float *inL = s.InL, *inR = s.InR, *carriers = Carriers.data();
        RecordRing(RngLineL.Buffer.data(), s.First.PosLong, s.First.RingLong, n, [=](int32_t j) {
            return float(Wide(Modulate(carriers[j], inL[j], j == 0 ? firstL : 0.0)) * feedback);
        });
        RecordRing(RngLineR.Buffer.data(), s.First.PosLong, s.First.RingLong, n, [=](int32_t j) {
            return float(Wide(Modulate(carriers[j], inR[j], j == 0 ? firstR : 0.0)) * feedback);
        });
        RngOutL = Modulate(carriers[n - 1], inL[n - 1], n == 1 ? firstL : 0.0);
        RngOutR = Modulate(carriers[n - 1], inR[n - 1], n == 1 ? firstR : 0.0);
    }


    TWetPair Wet() const { return {RngOutL, RngOutR}; }

    // Working values (written by parameter changes on any thread).
    Shared<float> RngTone = 0.0f, RngFeedback = 0.0f, RngDamp = 0.0f;

    TPara RngOsc;
    Tdelay1p RngLineL{kLongLineLength}, RngLineR{kLongLineLength};
    TLp1 RngLowL, RngLowR;
    float RngOutL = 0, RngOutR = 0;

private:
    // The carrier's next value; it is never re-phased.
    Wide Carrier(float sampleRate) {
        float neverReset = 0.0f;
        RngOsc.Tick(neverReset, RngTone, sampleRate, 0.0f);
        return RngOsc.Value;
    }
    // Input plus echo is held to +-1 (NaN to -1) so the loop cannot grow without bound.
    static float Modulate(Wide carrier, float in, Wide echo) {
        const Wide x = Wide(in) + echo;
        return float(carrier * (x > 1.0 ? 1.0 : (x >= -1.0 ? x : -1.0)));
    }

    // The carrier over a span of deselected frames.
    std::array<float, kSpanLength> Carriers{};
};
