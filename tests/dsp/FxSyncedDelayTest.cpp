#include "tests/support/SelectedEngine.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t Length = 1000;

SelectedEngine DelayRig(float feedback, float dampLow = 10000.0f, float dampHigh = 0.0f) {
    SelectedEngine rig(0);
    rig.E->SyncDelayLength = Length;
    rig.E->Delay.DelFeedback = feedback;
    rig.E->Delay.DelDampLow = dampLow;
    rig.E->Delay.DelDampHigh = dampHigh;
    return rig;
}

// Sum of the echo that starts at `from`: its low-frequency content, whatever the low-pass smear.
double EchoSum(const std::vector<float>& x, size_t from) {
    double sum = 0.0;
    for (size_t i = from; i < from + size_t(Length) && i < x.size(); ++i) sum += x[i];
    return sum;
}

}  // namespace

TEST(SyncedDelay, EchoComesAfterTheLengthAndEachRepeatOneSampleLater) {
    SelectedEngine rig = DelayRig(-1.0f);
    const size_t at = 10;
    const auto& out = rig.Run(Impulse(5200, at));
    EXPECT_EQ(FirstAbove(out, 1e-6f), int64_t(at + Length));
    EXPECT_EQ(out[at + Length], 1.0f);   // whole samples: the first echo is the input itself
    for (int32_t k = 1; k <= 3; ++k) {
        SCOPED_TRACE(k);
        const size_t onset = at + Length + size_t(k) * (Length + 1);
        EXPECT_EQ(FirstAbove(out, 1e-6f, onset - Length + 20), int64_t(onset));
        // Inverted feedback with the high-pass open: the low end comes back whole, sign alternating.
        EXPECT_NEAR(EchoSum(out, onset), k % 2 ? -1.0 : 1.0, 1e-4);
    }
    EXPECT_EQ(out, rig.OutR);
}

TEST(SyncedDelay, FeedbackSetsTheRepeatsAndTheHighPassTakesTheLowEnd) {
    struct Case { float Feedback, DampHigh; double Second; };
    const Case cases[] = {
        {0.0f, 0.0f, 0.0},     // a single echo
        {0.5f, 0.0f, 0.5},
        {-0.5f, 0.0f, -0.5},
        {0.9f, 1000.0f, 0.0},  // an impulse has no net DC once high-passed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Feedback);
        SelectedEngine rig = DelayRig(c.Feedback, 10000.0f, c.DampHigh);
        const auto& out = rig.Run(Impulse(3500, 0));
        EXPECT_EQ(out[Length], 1.0f);
        EXPECT_NEAR(EchoSum(out, 2 * Length + 1), c.Second, 1e-4);
        if (c.Feedback == 0.0f) {
            EXPECT_EQ(FirstAbove(out, 1e-12f, Length + 1), -1);
        }
    }
}

TEST(SyncedDelay, NeverSelectedStillRecordsAndPlaysAtOnceWhenSelected) {
    SelectedEngine rig = DelayRig(0.0f);
    rig.E->SelectedFx = 4;
    const auto noise = Noise(3000, 11);
    rig.Run(noise);
    EXPECT_EQ(rig.E->Delay.DelLineL.Output, 0.0f);   // nothing is read while another effect plays
    rig.E->SelectedFx = 0;
    const auto& out = rig.Run(std::vector<float>(10, 0.0f));
    for (size_t i = 0; i < 10; ++i) EXPECT_EQ(out[i], noise[3000 + i - Length]) << i;
}

TEST(SyncedDelay, DeselectedFreezesTheFiltersAndAddsTheFrozenFeedback) {
    SelectedEngine rig = DelayRig(0.5f);
    rig.Run(std::vector<float>(3000, 0.25f));   // the feedback path settles on a constant
    const float frozen = rig.E->Delay.DelHighL.Output;
    ASSERT_GT(frozen, 0.1f);
    const float echo = rig.E->Delay.DelLineL.Output;

    rig.E->SelectedFx = 2;
    const auto silence = std::vector<float>(Length + 200, 0.0f);
    rig.E->ProcessFrames(silence.data(), silence.data(), rig.OutL.data(), rig.OutR.data(), 1);
    EXPECT_EQ(rig.E->Delay.DelLineL.Buffer[size_t(rig.E->Frame.PosLong)], float(Wide(frozen) * 0.5));
    rig.Run(silence);
    EXPECT_EQ(rig.E->Delay.DelHighL.Output, frozen);
    EXPECT_EQ(rig.E->Delay.DelLineL.Output, echo);

    // Selected again, the echo of the silence recorded while away is the frozen constant.
    rig.E->SelectedFx = 0;
    rig.Run(std::vector<float>(1, 0.0f));
    EXPECT_EQ(rig.E->Delay.DelLineL.Output, float(Wide(frozen) * 0.5));
}

TEST(SyncedDelay, NoSubnormalsBuildUpInTheFeedbackOnSilence) {
    struct Case { float Rate, Feedback, Low, High; };
    const Case cases[] = {{44100.0f, -1.0f, 10000.0f, 0.0f}, {96000.0f, 0.9f, 2000.0f, 500.0f},
                          {192000.0f, 0.0f, 10000.0f, 10000.0f}, {44100.0f, 0.6f, 0.0f, 100.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Rate << " " << c.Feedback << " " << c.Low << " " << c.High);
        SelectedEngine rig(0, c.Rate);
        rig.E->SyncDelayLength = int32_t(c.Rate / 4.0f);
        rig.E->Delay.DelFeedback = c.Feedback;
        rig.E->Delay.DelDampLow = c.Low;
        rig.E->Delay.DelDampHigh = c.High;
        EXPECT_FALSE(SubnormalAfterNoise(rig, c.Rate));
        for (float v : {rig.E->Delay.DelLowL.Y1, rig.E->Delay.DelLowL.X1, rig.E->Delay.DelHighL.Y1, rig.E->Delay.DelHighL.X1,
                        rig.E->Delay.DelLowR.Y1, rig.E->Delay.DelHighR.Y1, rig.E->Delay.DelHighR.Output})
            EXPECT_FALSE(IsSubnormal(v));
        const auto& line = rig.E->Delay.DelLineL.Buffer;
        for (size_t i = 0; i < size_t(rig.E->Frame.RingLong); ++i) ASSERT_FALSE(IsSubnormal(line[i])) << i;
    }
}
