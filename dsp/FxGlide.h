// Glide & Drift: a delay of up to one second following the LFO. Audio thread only, except the
// working values.
#pragma once

#include "dsp/BuffersClass.h"
#include "dsp/FxFrame.h"
#include "dsp/Numbers.h"
#include "dsp/Shared.h"

#include <array>
#include <bit>
#include <cstdint>

// The delay follows the LFO's output B through a shaping polynomial. The lines record every frame;
// the depth, the read and so the output pair only while selected. (The depth is taken from the LFO
// of the frame that reads it, so working it out while deselected would change nothing.)
class TGlide final {
public:
    // One frame on its own.
    void Step(const TFxFrame& f) {
        Plan(TFxPlan::Of(f));
        StepPlanned(f);
    }
    // The depth and tap of the plan's frames, worked out ahead of them: the controls and
    // GliAmp are read once for them.
    void Plan(const TFxPlan& p) {
        const TShape& k = Shape(GliCtrl1, GliCtrl2);
        const Wide amp = float(GliAmp), rate = p.First.SrInt;
        std::array<float, kPlanLength> delays;
        for (size_t j = 0; j < size_t(p.Count); ++j) {
            const Wide x = p.LfoRawR[j];
            const Wide x2 = float(x * x);
            const Wide x3 = float(x2 * x);
            const Wide s = 0.5 * x * (k.C0 + k.C1 * x + k.C2 * x2 + k.C3 * x3);
            const Wide h = s > 1.0 ? 1.0 : (s >= 0.0 ? s : 0.0);   // a NaN shape falls to no delay
            const float depth = float(h * amp);
            GliDepths[j] = depth;
            delays[j] = float(rate * Wide(depth));
        }
        // Both channels read the same delay.
        GliTaps.Length = p.First.RingSecond;
        SplitDelays(p.First.PosSecond, GliTaps.Length, delays.data(), p.Count, GliTaps.Index.data(), GliTaps.Frac.data());
        GliPlanned = 0;
    }
    // The next planned frame.
    void StepPlanned(const TFxFrame& f) {
        GliLineL.Write(f.PosSecond, f.InL);
        GliLineR.Write(f.PosSecond, f.InR);
        const size_t k = size_t(GliPlanned++);
        GliDepth = GliDepths[k];
        const TDelayTap tap = GliTaps[k];
        Tdelay4p::ReadPair(GliLineL, tap, GliLineR, tap);
    }

    void Deselected(const TFxSpan& s) {
        RecordPair(GliLineL.Buffer.data(), GliLineR.Buffer.data(), s.First.PosSecond, s.First.RingSecond, s, 0.0,
                   0.0, [](float in, Wide) { return in; });
    }


    TWetPair Wet() const { return {GliLineL.Output, GliLineR.Output}; }

    // Working values (written by parameter changes on any thread).
    Shared<float> GliAmp = 0.0f, GliCtrl1 = 0.0f, GliCtrl2 = 0.0f;

    Tdelay4p GliLineL{kSecondLineLength}, GliLineR{kSecondLineLength};
    float GliDepth = 0;

private:
    // The shaping polynomial's coefficients, 2 c1, c2, 4 c2 - 5 c1 - 1 and 3 c1 - 3 c2 + 1, kept
    // for the controls (by their bits) they were worked out from: the same doubles every frame.
    struct TShape {
        uint32_t Ctrl1Bits = 0, Ctrl2Bits = 0;
        Wide C0 = 0.0, C1 = 0.0, C2 = -1.0, C3 = 1.0;
    };
    const TShape& Shape(float ctrl1, float ctrl2) {
        const uint32_t b1 = std::bit_cast<uint32_t>(ctrl1), b2 = std::bit_cast<uint32_t>(ctrl2);
        if (b1 != GliShape.Ctrl1Bits || b2 != GliShape.Ctrl2Bits) {
            const Wide c1 = ctrl1, c2 = ctrl2;
            GliShape = {b1, b2, 2.0 * c1, c2, 4.0 * c2 - 5.0 * c1 - 1.0, 3.0 * c1 - 3.0 * c2 + 1.0};
        }
        return GliShape;
    }
    TShape GliShape;
    // The planned frames' depths and taps, and the next frame's place among them.
    std::array<float, kPlanLength> GliDepths{};
    TTapRun<kPlanLength> GliTaps;
    int32_t GliPlanned = 0;
};
