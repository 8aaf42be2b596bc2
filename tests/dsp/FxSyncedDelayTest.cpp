#include "dsp/FxSyncedDelay.h"
#include "tests/dsp/EffectRig.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t Length = 1000;

using DelayRig = EffectRig<TSyncedDelay>;

void Tune(DelayRig& rig, float feedback, float dampLow = 10000.0f, float dampHigh = 0.0f) {
    rig.F.SyncDelayLength = Length;
    rig.E->DelFeedback = feedback;
    rig.E->DelDampLow = dampLow;
    rig.E->DelDampHigh = dampHigh;
}

// Sum of the echo that starts at `from`: its low-frequency content, whatever the low-pass smear.
double EchoSum(const std::vector<float>& x, size_t from) {
    double sum = 0.0;
    for (size_t i = from; i < from + size_t(Length) && i < x.size(); ++i) sum += x[i];
    return sum;
}

}  // namespace

TEST(SyncedDelay, EchoComesAfterTheLengthAndEachRepeatOneSampleLater) {
    DelayRig rig;
    Tune(rig, -1.0f);
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
        DelayRig rig;
        Tune(rig, c.Feedback, 10000.0f, c.DampHigh);
        const auto& out = rig.Run(Impulse(3500, 0));
        EXPECT_EQ(out[Length], 1.0f);
        EXPECT_NEAR(EchoSum(out, 2 * Length + 1), c.Second, 1e-4);
        if (c.Feedback == 0.0f) {
            EXPECT_EQ(FirstAbove(out, 1e-12f, Length + 1), -1);
        }
    }
}

TEST(SyncedDelay, DeselectedFreezesTheFiltersAndAddsTheFrozenFeedback) {
    DelayRig rig;
    Tune(rig, 0.5f);
    rig.Run(std::vector<float>(3000, 0.25f));   // the feedback path settles on a constant
    const float frozen = rig.E->DelHighL.Output;
    ASSERT_GT(frozen, 0.1f);
    const float echo = rig.E->DelLineL.Output;

    rig.Deselected(1);
    EXPECT_EQ(rig.E->DelLineL.Buffer[size_t(rig.F.PosLong)], float(Wide(frozen) * 0.5));
    rig.Deselected(Length + 200);
    EXPECT_EQ(rig.E->DelHighL.Output, frozen);
    EXPECT_EQ(rig.E->DelLineL.Output, echo);

    // Selected again, the echo of the silence recorded while away is the frozen constant.
    rig.Frame(0.0f);
    EXPECT_EQ(rig.E->DelLineL.Output, float(Wide(frozen) * 0.5));
}

TEST(SyncedDelay, NoSubnormalsBuildUpInTheFeedbackOnSilence) {
    struct Case { float Rate, Feedback, Low, High; };
    const Case cases[] = {{44100.0f, -1.0f, 10000.0f, 0.0f}, {96000.0f, 0.9f, 2000.0f, 500.0f},
                          {192000.0f, 0.0f, 10000.0f, 10000.0f}, {44100.0f, 0.6f, 0.0f, 100.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Rate << " " << c.Feedback << " " << c.Low << " " << c.High);
        DelayRig rig(int32_t(c.Rate));
        Tune(rig, c.Feedback, c.Low, c.High);
        rig.F.SyncDelayLength = int32_t(c.Rate / 4.0f);
        EXPECT_FALSE(SubnormalAfterNoise(rig, c.Rate));
        for (float v : {rig.E->DelLowL.Y1, rig.E->DelLowL.X1, rig.E->DelHighL.Y1, rig.E->DelHighL.X1,
                        rig.E->DelLowR.Y1, rig.E->DelHighR.Y1, rig.E->DelHighR.Output})
            EXPECT_FALSE(IsSubnormal(v));
        const auto& line = rig.E->DelLineL.Buffer;
        for (size_t i = 0; i < size_t(rig.F.RingLong); ++i) ASSERT_FALSE(IsSubnormal(line[i])) << i;
    }
}
