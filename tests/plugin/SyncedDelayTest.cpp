#include "tests/support/PluginFixture.h"

#include <cmath>

namespace {

struct SyncedDelayHost : PluginFixture {
    // 120 beats per minute at 44.1 kHz with "Synced Value" 0.5: one beat of 22,050 samples.
    static constexpr size_t Beat = 22050;

    void SetUp() override {
        PluginFixture::SetUp();
        Prime();
        Host.SetParameter(kOutSel, 0.0f);
        Host.SetParameter(kOutMix, 1.0f);
        Host.SetParameter(kOutAmp, 1.0f);
        Host.SetParameter(kDelDmpLow, 1.0f);
        Host.SetParameter(kDelDmpHigh, 0.0f);
        Host.SetParameter(kSyncedValue, 0.5f);
    }
    std::vector<float> Impulse(size_t frames, size_t at) {
        std::vector<float> x(frames, 0.0f);
        x[at] = 1.0f;
        return x;
    }
    int64_t FirstAbove(const std::vector<float>& x, size_t from) {
        for (size_t i = from; i < x.size(); ++i)
            if (std::fabs(x[i]) > 1e-6f) return int64_t(i);
        return -1;
    }
};

}  // namespace

TEST_F(SyncedDelayHost, EchoesOneBeatLateAndRepeatsOneSampleLongerWithAlternatingSigns) {
    Host.SetParameter(kDelFbck, 0.0f);
    std::vector<float> outL, outR;
    const auto in = Impulse(3 * Beat + 100, 7);
    Run(in, in, outL, outR);
    EXPECT_EQ(FirstAbove(outL, 0), int64_t(7 + Beat));
    EXPECT_EQ(outL[7 + Beat], 1.0f);
    const size_t second = 7 + 2 * Beat + 1;
    EXPECT_EQ(FirstAbove(outL, 8 + Beat + 20), int64_t(second));
    EXPECT_LT(outL[second], -0.1f);
    EXPECT_EQ(FirstAbove(outL, second + 200), int64_t(second + Beat + 1));
    EXPECT_GT(outL[second + Beat + 1], 0.1f);
    EXPECT_EQ(outL, outR);
}

TEST_F(SyncedDelayHost, HalfwayFeedbackGivesASingleEcho) {
    Host.SetParameter(kDelFbck, 0.5f);
    std::vector<float> outL, outR;
    const auto in = Impulse(2 * Beat + 100, 0);
    Run(in, in, outL, outR);
    EXPECT_EQ(FirstAbove(outL, 0), int64_t(Beat));
    EXPECT_EQ(FirstAbove(outL, Beat + 1), -1);
}

TEST_F(SyncedDelayHost, RecordsWhileAnotherEffectIsSelected) {
    Host.SetParameter(kDelFbck, 0.5f);
    Host.SetParameter(kOutSel, 3.0f / 7.0f);
    std::vector<float> outL, outR;
    auto in = Impulse(Beat + 100, 0);
    Run(std::vector<float>(in.begin(), in.begin() + 1024), std::vector<float>(1024, 0.0f), outL, outR);
    // Selected long after the input and before its echo is due: the echo keeps its time.
    Host.SetParameter(kOutSel, 0.0f);
    const std::vector<float> rest(in.begin() + 1024, in.end());
    Run(rest, rest, outL, outR);
    EXPECT_EQ(FirstAbove(outL, 0), int64_t(Beat - 1024));
    EXPECT_EQ(outL[Beat - 1024], 1.0f);
    EXPECT_EQ(FirstAbove(outR, 0), -1);   // the right channel saw no impulse
}
