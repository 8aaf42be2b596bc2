#include "tests/support/PluginFixture.h"

#include <algorithm>
#include <cmath>
#include <vector>

TEST_F(PluginFixture, RingerModulatesByTheToneCarrier) {
    Prime();
    Host.SetParameter(kTrgFx1 + 6, 1.0f);
    Host.SetParameter(kRngTon, 0.5f);    // 1010 Hz
    Host.SetParameter(kRngFbck, 0.0f);
    Host.SetParameter(kOutMix, 1.0f);
    Host.SetParameter(kOutAmp, 1.0f);
    const std::vector<float> in(44100, 0.5f);
    std::vector<float> outL, outR;
    Run(in, in, outL, outR);
    int32_t crossings = 0;
    for (size_t i = 1; i < outL.size(); ++i) crossings += (outL[i - 1] < 0.0f) != (outL[i] < 0.0f);
    // The carrier drops its excess phase at each wrap, so a cycle is a whole 44 samples.
    EXPECT_NEAR(crossings, 2.0 * 44100.0 / std::ceil(44100.0 / 1010.0), 4.0);
    EXPECT_NEAR(*std::max_element(outL.begin(), outL.end()), 0.5f, 1e-3f);
    EXPECT_NEAR(*std::min_element(outL.begin(), outL.end()), -0.5f, 1e-3f);
}
