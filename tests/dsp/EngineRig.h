// A TFxEngine driven frame by frame with the wet signal at full level, for the tests of what the
// engine itself decides about its effects (selection, cycle check).
#pragma once

#include "dsp/FxEngine.h"

#include <memory>
#include <utility>

struct EngineRig {
    std::unique_ptr<TFxEngine> E = std::make_unique<TFxEngine>();

    explicit EngineRig(float rate = 44100.0f, double tempo = 120.0) {
        E->SeedRandom(7);
        Begin(rate, tempo);
        E->OutMix = 1.0f;   // output = wet pair exactly
        E->OutAmp = 1.0f;
    }
    // Transport stopped by default: the cycle restart stays 1 and the counters run freely.
    void Begin(float rate, double tempo, bool playing = false, double ppq = 0.0) {
        TBlockTime t;
        t.SampleRate = rate;
        t.Tempo = tempo;
        t.Playing = playing;
        t.PpqPos = ppq;
        E->BeginBlock(t);
    }
    std::pair<float, float> Frame(float l, float r) {
        float outL = 0, outR = 0;
        E->ProcessFrames(&l, &r, &outL, &outR, 1);
        return {outL, outR};
    }
    float Frame(float x) { return Frame(x, x).first; }
    void Run(int32_t frames, float x = 0.0f) {
        for (int32_t i = 0; i < frames; ++i) Frame(x);
    }
};
