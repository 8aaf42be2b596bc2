// Ringer, one frame: ring modulation by a free-running parabolic carrier, with a synced echo that
// is low-passed and fed back before the modulator. Audio thread only.
#pragma once

#include "dsp/FxEngine.h"

// The carrier and the echo lines run whether or not the effect is selected; only the echo return
// is cut while another effect plays.
inline void TFxEngine::ProcessRinger(int32_t selectedFx) {
    const float sampleRate = float(int32_t(SrInt));
    float neverReset = 0.0f;   // the carrier is never re-phased
    RngOsc.Tick(neverReset, RngTone, sampleRate, 0.0f);
    const Wide carrier = RngOsc.Value;

    // Input plus echo is held to +-1 (NaN to -1) so the loop cannot grow without bound.
    auto clamp = [](Wide x) { return x > 1.0 ? 1.0 : (x >= -1.0 ? x : -1.0); };
    RngOutL = float(carrier * clamp(Wide(Frame.InL) + Wide(RngLowL.Output)));
    RngOutR = float(carrier * clamp(Wide(Frame.InR) + Wide(RngLowR.Output)));

    const Wide feedback = RngFeedback;
    RngLineL.Write(Frame.PosLong, float(Wide(RngOutL) * feedback));
    RngLineR.Write(Frame.PosLong, float(Wide(RngOutR) * feedback));

    if (selectedFx != 6) {
        // Only the outputs: the filter memories are kept for the next selection.
        RngLowL.Output = 0.0f;
        RngLowR.Output = 0.0f;
        return;
    }
    // The ring is RingLong, 8 s of samples cut to the line capacity above 192 kHz.
    const TDelayTap tap = SplitDelay(Frame.PosLong, Frame.RingLong, float(int32_t(SyncDelayLength)));
    RngLineL.Read(tap);
    RngLineR.Read(tap);
    const float damp = RngDamp;
    RngLowL.Tick(RngLineL.Output, damp, sampleRate);
    RngLowR.Tick(RngLineR.Output, damp, sampleRate);
}
