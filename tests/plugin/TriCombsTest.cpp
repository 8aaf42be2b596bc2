#include "tests/support/PluginFixture.h"

#include <cmath>
#include <vector>

TEST_F(PluginFixture, TriCombsTuneToTheChordAndRingOnAtFullFeedback) {
    Prime();
    Host.SetParameter(kTrgFx1 + 7, 1.0f);
    Host.SetParameter(kChdSel, 0.5f);          // row 7: 0, 3, 8
    Host.SetParameter(kChdRoot, 40.0f / 70.0f);
    Host.SetParameter(kSyncedValue, 0.0f);
    Host.SetParameter(kChdFbck, 1.0f);
    Host.SetParameter(kOutMix, 1.0f);
    Host.SetParameter(kOutAmp, 1.0f);
    const TFxEngine& e = Plugin->Engine;
    ASSERT_EQ(e.TriCombs.ChdSel, 7);
    ASSERT_EQ(e.TriCombs.ChdFeedback, float(0.999999));
    std::vector<float> in(2 * 44100, 0.0f), outL, outR;
    Run(in, in, outL, outR);
    const int32_t notes[] = {40, 43, 48};
    for (size_t k = 0; k < 3; ++k) {
        const double target = 44100.0 / (8.17742 * std::pow(1.05946, notes[k]));
        EXPECT_NEAR(e.TriCombs.ChdGlide[k].Output, target, 1e-3 * target) << k;   // a float one-pole's DC gain
    }
    in[0] = 1.0f;
    Run(in, in, outL, outR);
    double late = 0.0;
    for (size_t i = 44100; i < outL.size(); ++i) late = std::max(late, std::fabs(double(outL[i])));
    EXPECT_GT(late, 0.01);   // still ringing a second after the impulse
}
