#include "tests/support/PluginFixture.h"

namespace {

struct GlideHost : PluginFixture {
    void SetUp() override {
        PluginFixture::SetUp();
        Prime();
        Host.SetParameter(kOutSel, 1.0f / 7.0f);
        Host.SetParameter(kOutMix, 1.0f);
        Host.SetParameter(kOutAmp, 1.0f);
    }
};

}  // namespace

TEST_F(GlideHost, ZeroAmountPassesTheInputExactly) {
    Host.SetParameter(kGliAmp, 0.0f);
    Host.SetParameter(kSyncedValue, 0.75f);
    std::vector<float> inL(3000), inR(3000), outL, outR;
    for (size_t i = 0; i < inL.size(); ++i) {
        inL[i] = float(i % 17) * 0.05f - 0.4f;
        inR[i] = float(i % 23) * -0.03f + 0.3f;
    }
    Run(inL, inR, outL, outR);
    EXPECT_EQ(outL, inL);
    EXPECT_EQ(outR, inR);
}

TEST_F(GlideHost, SecondControlAtOneWithTheLfoAtPlusOneGivesTheWholeAmount) {
    Host.SetParameter(kSyncedValue, 0.0f);   // LFO rate 0: the falling saw holds +1
    Host.SetParameter(kLfoWav, 0.6f);        // wave 3, falling saw
    Host.SetParameter(kGliCtrl1, 0.5f);
    Host.SetParameter(kGliCtrl2, 1.0f);
    Host.SetParameter(kGliAmp, 0.5f);
    std::vector<float> in(22050 + 600, 0.0f), outL, outR;
    in[300] = 1.0f;
    Run(in, in, outL, outR);
    EXPECT_EQ(outL[300 + 22050], 1.0f);
    for (size_t i = 0; i < outL.size(); ++i) {
        if (i == 300 + 22050) continue;
        ASSERT_EQ(outL[i], 0.0f) << i;
    }
}
