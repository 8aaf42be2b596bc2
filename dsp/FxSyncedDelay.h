// Synced delay: a tempo-synced feedback echo. Audio thread only, except the working values.
#pragma once

#include "dsp/BuffersClass.h"
#include "dsp/FiltresClass.h"
#include "dsp/FxFrame.h"
#include "dsp/Numbers.h"
#include "dsp/Shared.h"

// The lines record on every frame; only the selected effect reads them and ticks the damping
// filters, so a deselected delay keeps adding its frozen feedback.
class TSyncedDelay final {
public:
    void Step(const TFxFrame& f) {
        const Wide feedback = DelFeedback;
        DelLineL.Write(f.PosLong, Record(f.InL, Wide(DelHighL.Output) * feedback));
        DelLineR.Write(f.PosLong, Record(f.InR, Wide(DelHighR.Output) * feedback));

        const TDelayTap tap = SplitDelay(f.PosLong, f.RingLong, float(f.SyncDelayLength));
        DelLineL.Read(tap);
        DelLineR.Read(tap);
        const float rate = float(f.SrInt);
        const float low = DelDampLow, high = DelDampHigh;
        DelLowL.Tick(DelLineL.Output, low, rate);
        DelLowR.Tick(DelLineR.Output, low, rate);
        // The echo leaves undamped: the filters only colour what goes round again.
        DelHighL.Tick(DelLowL.Output, high, rate);
        DelHighR.Tick(DelLowR.Output, high, rate);
    }

    void Deselected(const TFxSpan& s) {
        const Wide feedback = DelFeedback;
        RecordPair(DelLineL.Buffer.data(), DelLineR.Buffer.data(), s.First.PosLong, s.First.RingLong, s,
                   Wide(DelHighL.Output) * feedback, Wide(DelHighR.Output) * feedback,
                   [](float in, Wide back) { return Record(in, back); });
    }


    TWetPair Wet() const { return {DelLineL.Output, DelLineR.Output}; }

    // Working values (written by parameter changes on any thread).
    Shared<float> DelFeedback = 0.0f, DelDampLow = 0.0f, DelDampHigh = 0.0f;

    Tdelay1p DelLineL{kLongLineLength}, DelLineR{kLongLineLength};
    TLp1 DelLowL, DelLowR;
    THp1 DelHighL, DelHighR;

private:
    // A dying echo times the feedback can land below the normal range: it is recorded as silence.
    static float Record(float in, Wide back) { return FlushSubnormal(float(Wide(in) + back)); }
};
