// Synced delay, one frame: a tempo-synced feedback echo. Audio thread only.
#pragma once

#include "dsp/FxEngine.h"

// The lines record on every frame; only the selected effect reads them and ticks the damping
// filters, so a deselected delay keeps adding its frozen feedback.
inline void TFxEngine::ProcessSyncedDelay(int32_t selectedFx) {
    const Wide feedback = DelFeedback;
    // A dying echo times the feedback can land below the normal range: it is recorded as silence.
    DelLineL.Write(PosLong, FlushSubnormal(float(Wide(InL) + Wide(DelHighL.Output) * feedback)));
    DelLineR.Write(PosLong, FlushSubnormal(float(Wide(InR) + Wide(DelHighR.Output) * feedback)));
    if (selectedFx != 0) return;

    const TDelayTap tap = SplitDelay(PosLong, RingLong, float(int32_t(SyncDelayLength)));
    DelLineL.Read(tap);
    DelLineR.Read(tap);
    const float rate = float(int32_t(SrInt));
    const float low = DelDampLow, high = DelDampHigh;
    DelLowL.Tick(DelLineL.Output, low, rate);
    DelLowR.Tick(DelLineR.Output, low, rate);
    // The echo leaves undamped: the filters only colour what goes round again.
    DelHighL.Tick(DelLowL.Output, high, rate);
    DelHighR.Tick(DelLowR.Output, high, rate);
}
