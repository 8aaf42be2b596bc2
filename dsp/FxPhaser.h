// Phaser, one frame: one to six first-order all-passes per channel, swept by the LFO, with inverted
// feedback from the end of the chain. Audio thread only.
#pragma once

#include "dsp/FxEngine.h"

// The swept break frequency, kept between 1 Hz and 16 kHz; a NaN falls to the bottom.
inline float ClampPhaserFreq(Wide f) { return f > 16000.0 ? 16000.0f : (f >= 1.0 ? float(f) : 1.0f); }

// Runs only while selected: the swept frequencies come from the LFO of the frame that uses them,
// so working them out while deselected would change nothing.
inline void TFxEngine::ProcessPhaser(int32_t selectedFx) {
    if (selectedFx != 3) return;
    const Wide freq = PhaFreq, amount = LfoAmp;
    PhaFreqL = ClampPhaserFreq(freq + freq * amount * (Wide(Frame.LfoModL) - 1.0));
    PhaFreqR = ClampPhaserFreq(freq + freq * amount * (Wide(Frame.LfoModR) - 1.0));

    const int32_t rate = SrInt;
    if (rate != PhaOmegaRate) {
        PhaOmega = float(6.2831853071795 / Wide(rate));
        PhaOmegaRate = rate;
    }
    // Every stage of a channel has the same break frequency, so the same coefficient.
    const float coefL = TAp11::Coefficient(float(Wide(PhaFreqL) * Wide(PhaOmega)));
    const float coefR = TAp11::Coefficient(float(Wide(PhaFreqR) * Wide(PhaOmega)));
    const Wide feedback = PhaFeedback;
    // The all-passes add no offset of their own: without feedback, silence would decay their
    // memories into subnormals, so the chain input carries the same 1e-18 as the output.
    PhaStagesL[0].TickWith(float(Wide(Frame.InL) + Wide(PhaOutL) * feedback + 1e-18), coefL);
    PhaStagesR[0].TickWith(float(Wide(Frame.InR) + Wide(PhaOutR) * feedback + 1e-18), coefR);
    int32_t last = PhaDepth;
    last = last < 0 ? 0 : (last >= kPhaserStages ? kPhaserStages - 1 : last);
    for (size_t i = 1; i <= size_t(last); ++i) {
        PhaStagesL[i].TickWith(PhaStagesL[i - 1].Output, coefL);
        PhaStagesR[i].TickWith(PhaStagesR[i - 1].Output, coefR);
    }
    PhaOutL = float(Wide(PhaStagesL[size_t(last)].Output) + 1e-18);
    PhaOutR = float(Wide(PhaStagesR[size_t(last)].Output) + 1e-18);
}
