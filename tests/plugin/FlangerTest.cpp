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

TEST_F(PluginFixture, FlangerDeselectedAddsItsFrozenFeedbackToWhatItRecords) {
    Prime();
    Host.SetParameter(kOutSel, 2.0f / 7.0f);
    Host.SetParameter(kOutMix, 1.0f);
    Host.SetParameter(kOutAmp, 1.0f);
    Host.SetParameter(kLfoAmp, 0.0f);
    Host.SetParameter(kFlaFbck, 0.5f);
    Host.SetParameter(kFlaDel, 0.2f);
    std::vector<float> dc(4096, 0.5f), silence(4096, 0.0f), outL, outR;
    Run(dc, dc, outL, outR);
    const float back = Plugin->Engine.Flanger.FlaBackL;
    Host.SetParameter(kOutSel, 0.0f);
    Run(silence, silence, outL, outR);
    Host.SetParameter(kOutSel, 2.0f / 7.0f);
    Run(std::vector<float>(64, 0.0f), std::vector<float>(64, 0.0f), outL, outR);
    // Silence recorded while away comes back as the held feedback times the (inverting) gain.
    EXPECT_EQ(outL[0], float(Wide(back) * Wide(float(0.5 * -0.98))));
    EXPECT_LT(outL[0], -0.1f);
}
