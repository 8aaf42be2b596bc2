// An in-process plug-in instance driven through its record, with a time info the test controls.
#pragma once

#include "plugin/uPlugin.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <vector>

inline AEffect* InProcessPlugin(audioMasterCallback master) { return CreateEffect(master, nullptr); }

struct PluginFixture : ::testing::Test {
    TestHost Host{&InProcessPlugin};
    APlugin* Plugin = nullptr;

    void SetUp() override {
        ASSERT_NE(Host.Open(), nullptr);
        Plugin = static_cast<APlugin*>(Host.Effect()->object);
        Plugin->Engine.SeedRandom(1234);
        SetTime(44100.0, 120.0, true);
    }
    // Sample rate, tempo and transport for the following blocks; the position advances with them.
    void SetTime(double rate, double tempo, bool playing, double ppq = 0.0) {
        Host.Dispatch(effSetSampleRate, 0, 0, nullptr, float(rate));
        Host.Time = VstTimeInfo{};
        Host.Time.sampleRate = rate;
        Host.Time.tempo = tempo;
        Host.Time.ppqPos = ppq;
        Host.Time.flags = kVstTempoValid | kVstPpqPosValid | (playing ? kVstTransportPlaying : 0);
        Host.AdvanceTime = true;
    }
    // Runs a stereo signal through processReplacing in blocks of `block` frames.
    void Run(const std::vector<float>& inL, const std::vector<float>& inR, std::vector<float>& outL,
             std::vector<float>& outR, int32_t block = 512) {
        outL.assign(inL.size(), 0.0f);
        outR.assign(inR.size(), 0.0f);
        for (size_t at = 0; at < inL.size(); at += size_t(block)) {
            const int32_t n = int32_t(std::min(inL.size() - at, size_t(block)));
            Host.Process(&inL[at], &inR[at], &outL[at], &outR[at], n);
        }
    }
    // Runs silence for n frames (so tempo-derived values come from the host, then a parameter change
    // recomputes them).
    void Prime(int32_t frames = 512) {
        std::vector<float> z(size_t(frames), 0.0f), a, b;
        Run(z, z, a, b);
    }
};
