// Drives a TFxEngine directly, as the plug-in's audio hook does: one block time, then frames.
#pragma once

#include "dsp/FxEngine.h"
#include "tests/support/Signals.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

struct SelectedEngine {
    std::unique_ptr<TFxEngine> E = std::make_unique<TFxEngine>();
    std::vector<float> OutL, OutR;

    // The transport plays, so the LFO is never restarted behind the test's back.
    explicit SelectedEngine(int32_t fx, float rate = 44100.0f, double tempo = 120.0) {
        E->SeedRandom(7);
        E->BeginBlock(TBlockTime{0.0, tempo, true, rate});
        E->SelectedFx = fx;
        E->OutMix = 1.0f;
        E->OutAmp = 1.0f;
    }
    // Runs the same signal into both channels; the outputs land in OutL, OutR.
    const std::vector<float>& Run(const std::vector<float>& in) { return Run(in, in); }
    const std::vector<float>& Run(const std::vector<float>& inL, const std::vector<float>& inR) {
        OutL.assign(inL.size(), 0.0f);
        OutR.assign(inR.size(), 0.0f);
        E->ProcessFrames(inL.data(), inR.data(), OutL.data(), OutR.data(), int32_t(inL.size()));
        return OutL;
    }
};
