#include "tests/support/PluginFixture.h"

TEST_F(PluginFixture, FlangerHalfDelayAt44kIsTwoHundredTwentyAndAHalfSamples) {
    Prime();
    Host.SetParameter(kOutSel, 2.0f / 7.0f);
    Host.SetParameter(kOutMix, 1.0f);
    Host.SetParameter(kOutAmp, 1.0f);
    Host.SetParameter(kLfoAmp, 0.0f);
    Host.SetParameter(kFlaFbck, 0.0f);
    Host.SetParameter(kFlaDel, 0.5f);
    std::vector<float> in(1200, 0.0f), outL, outR;
    in[400] = 1.0f;
    Run(in, in, outL, outR);
    // Half-way Hermite weights around 220.5 samples, and nothing else.
    const std::vector<std::pair<size_t, float>> taps = {
        {619, -0.0625f}, {620, 0.5625f}, {621, 0.5625f}, {622, -0.0625f}};
    for (size_t i = 0; i < outL.size(); ++i) {
        float expected = 0.0f;
        for (const auto& [at, w] : taps)
            if (at == i) expected = w;
        ASSERT_EQ(outL[i], expected) << i;
        ASSERT_EQ(outR[i], expected) << i;
    }
}
