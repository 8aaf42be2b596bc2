// Flanger: a short delay swept by the LFO with inverted, low-passed feedback. Audio thread only,
// except the working values.
#pragma once

#include "dsp/BuffersClass.h"
#include "dsp/FiltresClass.h"
#include "dsp/FxFrame.h"
#include "dsp/Numbers.h"
#include "dsp/Shared.h"

// Deselected, the lines keep recording with the last feedback sample held, so a constant offset
// goes into them.
class TFlanger final {
public:
    void Step(const TFxFrame& f) {
        const Wide feedback = FlaFeedback;
        FlaLineL.Write(f.PosFlanger, PlusBack(f.InL, Wide(FlaBackL) * feedback));
        FlaLineR.Write(f.PosFlanger, PlusBack(f.InR, Wide(FlaBackR) * feedback));

        const Wide delay = FlaDelay, amount = f.LfoAmp;
        const float dL = float(delay + delay * amount * (Wide(f.LfoModL) - 1.0));
        const float dR = float(delay + delay * amount * (Wide(f.LfoModR) - 1.0));
        Tdelay4p::ReadPair(FlaLineL, SplitDelay(f.PosFlanger, f.RingFlanger, dL), FlaLineR,
                           SplitDelay(f.PosFlanger, f.RingFlanger, dR));
        const float rate = float(f.SrInt);
        const float damp = FlaDamp;
        FlaLowL.Tick(FlaLineL.Output, damp, rate);
        FlaLowR.Tick(FlaLineR.Output, damp, rate);
        // Written next frame: each pass round the loop takes the read delay plus one sample.
        FlaBackL = FlaLowL.Output;
        FlaBackR = FlaLowR.Output;
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
};
