// Glide & Drift, one frame: a delay of up to one second following the LFO. Audio thread only.
#pragma once

#include "dsp/FxEngine.h"

// The delay follows the LFO's output B through a shaping polynomial. The lines record every frame;
// the depth, the read and so the output pair only while selected. (The depth is taken from the LFO
// of the frame that reads it, so working it out while deselected would change nothing.)
inline void TFxEngine::ProcessGlide(int32_t selectedFx) {
    GliLineL.Write(Frame.PosSecond, Frame.InL);
    GliLineR.Write(Frame.PosSecond, Frame.InR);
    if (selectedFx != 1) return;

    const Wide x = Frame.LfoRawR, c1 = GliCtrl1, c2 = GliCtrl2;
    const Wide x2 = float(x * x);
    const Wide x3 = float(x2 * x);
    const Wide s = 0.5 * x *
                   (2.0 * c1 + c2 * x + (4.0 * c2 - 5.0 * c1 - 1.0) * x2 + (3.0 * c1 - 3.0 * c2 + 1.0) * x3);
    const Wide h = s > 1.0 ? 1.0 : (s >= 0.0 ? s : 0.0);   // a NaN shape falls to no delay
    GliDepth = float(h * Wide(float(GliAmp)));
    // Both channels read the same delay.
    const TDelayTap tap = SplitDelay(Frame.PosSecond, Frame.RingSecond, float(Wide(int32_t(SrInt)) * Wide(GliDepth)));
    GliLineL.Read(tap);
    GliLineR.Read(tap);
}
