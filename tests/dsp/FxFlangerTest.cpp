#include "dsp/FxFlanger.h"
#include "tests/dsp/EffectRig.h"

#include <gtest/gtest.h>

namespace {

// The flanger at 44.1 kHz unless another rate is given, its LFO running as in the engine
// (parabolic sine at rate 0 unless a test sets them) with no amount.
struct FlangerRig : EffectRig<TFlanger> {
    FlangerRig(float delay, float feedback, float damp = 10000.0f, int32_t rate = 44100) : EffectRig<TFlanger>(rate) {
        RunLfo(0, 0.0f);
        F.LfoAmp = 0.0f;
        E->FlaDelay = delay;
        E->FlaFeedback = feedback;
        E->FlaDamp = damp;
    }
};

double Sum(const std::vector<float>& x, size_t from, size_t count) {
    double s = 0.0;
    for (size_t i = from; i < from + count; ++i) s += x.at(i);   // a window past the end is a test fault
    return s;
}

}  // namespace

TEST(Flanger, FixedDelayPutsTheImpulseAtTheDelayWithHermiteWeights) {
    const size_t at = 50;
    for (float delay : {220.5f, 100.25f, 17.0f, 0.0f}) {
        SCOPED_TRACE(delay);
        FlangerRig rig(delay, 0.0f);
        const auto& out = rig.Run(Impulse(700, at));
        double sum = 0.0, moment = 0.0;
        for (size_t i = 0; i < out.size(); ++i) {
            sum += out[i];
            moment += double(out[i]) * (double(i) - double(at));
        }
        EXPECT_NEAR(sum, 1.0, 1e-6);
        EXPECT_NEAR(moment / sum, delay, 1e-5);   // the taps' centre of mass is the delay itself
        EXPECT_EQ(rig.OutL, rig.OutR);
    }
    FlangerRig rig(220.5f, 0.0f);
    const auto& out = rig.Run(Impulse(700, at));
    EXPECT_EQ(FirstAbove(out, 0.0f), int64_t(at + 219));
    EXPECT_EQ(out[at + 219], -0.0625f);
    EXPECT_EQ(out[at + 220], 0.5625f);
    EXPECT_EQ(out[at + 221], 0.5625f);
    EXPECT_EQ(out[at + 222], -0.0625f);
    EXPECT_EQ(FirstAbove(out, 0.0f, at + 223), -1);   // no feedback: nothing comes round again
}

TEST(Flanger, EachFeedbackPassTakesTheDelayPlusOneWithTheLowPassedGain) {
    const size_t delay = 100;
    for (float feedback : {-0.49f, -0.98f}) {
        SCOPED_TRACE(feedback);
        FlangerRig rig(float(delay), feedback);
        const auto& out = rig.Run(Impulse(700, 0));
        EXPECT_EQ(out[delay], 1.0f);
        for (size_t k = 1; k <= 4; ++k) {
            SCOPED_TRACE(k);
            const size_t onset = delay + k * (delay + 1);
            EXPECT_EQ(FirstAbove(out, 1e-9f, onset - 80), int64_t(onset));
            EXPECT_NEAR(Sum(out, onset, delay), std::pow(double(feedback), double(k)), 1e-4);
        }
    }
}

TEST(Flanger, SweepRunsFromTheDelayDownByTheLfoAmount) {
    struct Case { int32_t Wave; float Amount; double Delay; };
    // At rate 0 on phase 0 the falling saw holds +1 (modulation 0), the rising saw -1 (modulation 1).
    const Case cases[] = {{3, 0.5f, 110.25}, {3, 1.0f, 0.0}, {2, 1.0f, 220.5}, {3, 0.25f, 165.375}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Delay);
        FlangerRig rig(220.5f, 0.0f);
        rig.LfoWave = c.Wave;
        rig.F.LfoAmp = c.Amount;
        const auto& out = rig.Run(Impulse(700, 50));
        double moment = 0.0;
        for (size_t i = 0; i < out.size(); ++i) moment += double(out[i]) * (double(i) - 50.0);
        EXPECT_NEAR(moment, c.Delay, 1e-4);
    }
}

TEST(Flanger, DeselectedHoldsTheFeedbackAndAddsItAsAConstant) {
    EffectRig<TFlanger> rig;
    TFlanger& e = *rig.E;
    e.FlaDelay = 30.0f;
    e.FlaFeedback = -0.5f;
    e.FlaDamp = 10000.0f;
    rig.Run(2000, 0.6f);
    const float backL = e.FlaBackL, out = e.FlaLineL.Output;
    ASSERT_GT(backL, 0.1f);
    // Spans longer than the ring (441 samples at 44.1 kHz): each wraps round it.
    rig.Deselected(kSpanLength + 300, 0.0f);
    EXPECT_EQ(e.FlaBackL, backL);
    EXPECT_EQ(e.FlaLineL.Output, out);
    const float constant = float(Wide(backL) * -0.5);
    for (size_t i = 0; i < size_t(rig.F.RingFlanger); ++i) ASSERT_EQ(e.FlaLineL.Buffer[i], constant) << i;
    EXPECT_EQ(e.FlaLineL.Buffer[size_t(rig.F.RingFlanger)], 0.0f);   // nothing past the ring
    // Selected again, the first read is of what was recorded while away.
    rig.Frame(0.0f);
    EXPECT_EQ(e.FlaLineL.Output, constant);
}

TEST(Flanger, NoSubnormalsBuildUpInTheFeedbackOnSilence) {
    struct Case { float Rate, Feedback, Damp, Amount; };
    const Case cases[] = {{44100.0f, -0.98f, 10000.0f, 0.8f}, {96000.0f, 0.0f, 300.0f, 0.5f},
                          {192000.0f, -0.5f, 50.0f, 0.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Rate << " " << c.Feedback << " " << c.Damp);
        FlangerRig rig(c.Rate / 200.0f, c.Feedback, c.Damp, int32_t(c.Rate));
        rig.F.LfoAmp = c.Amount;
        rig.LfoRate = 0.7f;
        EXPECT_FALSE(SubnormalAfterNoise(rig, c.Rate));
        const TFlanger& e = *rig.E;
        for (float v : {e.FlaBackL, e.FlaBackR, e.FlaLowL.X1, e.FlaLowL.Y1, e.FlaLowR.Y1})
            EXPECT_FALSE(IsSubnormal(v));
        for (size_t i = 0; i < size_t(rig.F.RingFlanger); ++i) ASSERT_FALSE(IsSubnormal(e.FlaLineL.Buffer[i])) << i;
    }
}

TEST(Flanger, TapsPlannedAheadSoundAsFrameByFrame) {
    // A deep, fast sweep down to no delay, round a 480-sample ring several times.
    auto rig = [] {
        FlangerRig r(30.0f, -0.9f, 3000.0f, 48000);
        r.RunLfo(0, 40.0f);
        r.F.LfoAmp = 1.0f;
        return r;
    };
    const auto [byFrame, planned] = RunByFrameAndPlanned(rig, Noise(3000, 21), Noise(3000, 22));
    EXPECT_EQ(planned.OutL, byFrame.OutL);
    EXPECT_EQ(planned.OutR, byFrame.OutR);
}
