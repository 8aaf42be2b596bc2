// Test signals, and what the tests look for in the outputs of an effect or the engine.
#pragma once

#include "dsp/Random.h"
#include "tests/support/Subnormal.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

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
// silence was subnormal (the rig keeps its last outputs in OutL and OutR). The caller then checks
// the effect's own memories.
template <class Rig>
bool SubnormalAfterNoise(Rig& rig, float rate, int32_t seconds = 10) {
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
