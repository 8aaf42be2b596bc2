#include "tests/support/PluginFixture.h"

#include <vector>

namespace {

struct DecimatorPlugin : PluginFixture {
    void SelectFullRate() {
        Prime();
        Host.SetParameter(kTrgFx1 + 4, 1.0f);
        Host.SetParameter(kSyncedValue, 0.125f);   // SyncStep 1
        Host.SetParameter(kDecSr, 1.0f);           // a clock step per sample
        Host.SetParameter(kDecSat, 0.0f);
        Host.SetParameter(kOutMix, 1.0f);
        Host.SetParameter(kOutAmp, 1.0f);
    }
};

}  // namespace

TEST_F(DecimatorPlugin, OneLevelTurnsTheInputIntoMinusOneZeroAndOne) {
    SelectFullRate();
    Host.SetParameter(kDecBd, 0.0f);
    ASSERT_EQ(Plugin->Engine.Decimator.DecLevels, 1.0f);
    ASSERT_EQ(Plugin->Engine.Decimator.DecHold, 44100);
    const std::vector<float> in = {0.7f, -0.3f, -0.8f, 0.5f, 1.5f, 0.2f};
    const std::vector<float> want = {1.0f, 0.0f, -1.0f, 0.0f, 2.0f, 0.0f};
    std::vector<float> outL, outR;
    Run(in, in, outL, outR);
    EXPECT_EQ(outL, want);
    EXPECT_EQ(outR, want);
}

TEST_F(DecimatorPlugin, FullSaturationBringsFullScaleDownToFourFifths) {
    SelectFullRate();
    Host.SetParameter(kDecBd, 0.55f);   // 16,384 levels
    Host.SetParameter(kDecSat, 1.0f);
    ASSERT_EQ(Plugin->Engine.Decimator.DecLevels, 16384.0f);
    const std::vector<float> in = {1.0f, -1.0f};
    std::vector<float> outL, outR;
    Run(in, in, outL, outR);
    EXPECT_FLOAT_EQ(outL[0], 0.8f);
    EXPECT_FLOAT_EQ(outL[1], -0.8f);
}
