// Drives a TFxEngine directly, as the plug-in's audio hook does: one block time, then frames.
#pragma once

#include "tests/support/Subnormal.h"

#include "dsp/FxEngine.h"
#include "dsp/Random.h"

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

inline std::vector<float> Impulse(size_t frames, size_t at, float value = 1.0f) {
    std::vector<float> x(frames, 0.0f);
    x[at] = value;
    return x;
}

inline std::vector<float> Noise(size_t frames, uint64_t seed, float amplitude = 1.0f) {
    TRandom rng(seed);
    std::vector<float> x(frames);
    for (float& v : x) v = amplitude * (2.0f * rng.Uniform01() - 1.0f);
    return x;
}

// Index of the first sample whose magnitude exceeds `threshold` at or after `from`; -1 if none.
inline int64_t FirstAbove(const std::vector<float>& x, float threshold, size_t from = 0) {
    for (size_t i = from; i < x.size(); ++i)
        if (std::fabs(x[i]) > threshold) return int64_t(i);
    return -1;
}

// A second of loud noise, then `seconds` of silence in blocks; true if any output sample of the
// silence was subnormal. The caller then checks the effect's own memories.
inline bool SubnormalAfterNoise(SelectedEngine& rig, float rate, int32_t seconds = 10) {
    const size_t block = 4096;
    const auto noise = Noise(size_t(rate), 99, 4.0f);
    rig.Run(noise);
    const std::vector<float> silence(block, 0.0f);
    bool found = false;
    for (size_t done = 0; done < size_t(rate) * size_t(seconds); done += block) {
        rig.Run(silence);
        for (size_t i = 0; i < block; ++i) found = found || IsSubnormal(rig.OutL[i]) || IsSubnormal(rig.OutR[i]);
    }
    return found;
}
