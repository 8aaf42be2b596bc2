#include "tests/support/PluginFixture.h"

#include <algorithm>
#include <vector>

TEST_F(PluginFixture, SlicerPlaysEnvelopedSlicesOfOneBeatAt120Bpm) {
    Prime();
    Host.SetParameter(kTrgFx1 + 5, 1.0f);
    Host.SetParameter(kSliSp, 0.0f);   // one slice per beat
    Host.SetParameter(kSliVar, 0.0f);
    Host.SetParameter(kSliQtz, 0.0f);
    Host.SetParameter(kSyncedValue, 0.125f);   // half-beat 0
    Host.SetParameter(kOutMix, 1.0f);
    Host.SetParameter(kOutAmp, 1.0f);
    ASSERT_EQ(Plugin->Engine.SelectedFx, 5);
    const std::vector<float> in(2 * 88201, 0.5f);
    std::vector<float> outL, outR;
    Run(in, in, outL, outR);
    // In the second bar the whole recorded beat is there: the output is 0.5 times the envelope,
    // silent exactly at the two ends of every slice.
    std::vector<size_t> silentStarts;
    float peak = 0.0f;
    for (size_t i = 88201; i + 1 < outL.size(); ++i) {
        ASSERT_GE(outL[i], 0.0f);
        peak = std::max(peak, outL[i]);
        if (outL[i] == 0.0f && outL[i + 1] == 0.0f) silentStarts.push_back(i);
    }
    EXPECT_EQ(peak, 0.5f);
    ASSERT_GE(silentStarts.size(), 3u);
    for (size_t j = 1; j < silentStarts.size(); ++j) EXPECT_EQ(silentStarts[j] - silentStarts[j - 1], 22051u);
    EXPECT_EQ(outR, outL);
}
