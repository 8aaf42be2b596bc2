#include "dsp/FxGlide.h"
#include "tests/dsp/EffectRig.h"

#include <gtest/gtest.h>

namespace {

// The shaping polynomial, written out from its coefficients.
double Shape(double x, double c1, double c2) {
    return 0.5 * x * (2 * c1 + c2 * x + (4 * c2 - 5 * c1 - 1) * x * x + (3 * c1 - 3 * c2 + 1) * x * x * x);
}

// LFO waves that stand still at rate 0 on phase 0: the falling saw holds +1, the rising saw -1.
constexpr int32_t HoldsPlusOne = 3, HoldsMinusOne = 2;

// Glide & Drift at 44.1 kHz unless another rate is given, its LFO running as in the engine
// (parabolic sine at rate 0 unless a test sets them: standing at -1).
struct GlideRig : EffectRig<TGlide> {
    explicit GlideRig(int32_t rate = 44100) : EffectRig<TGlide>(rate) { RunLfo(0, 0.0f); }
};

}  // namespace

TEST(GlideDrift, DepthFollowsTheShapeOfTheLfoAndIsClampedToOneSecond) {
    struct Case { float X, C1, C2, Amp; double Depth; };
    const Case cases[] = {
        {0.0f, 0.7f, -0.3f, 1.0f, 0.0},             // s(0) = 0
        {1.0f, 0.2f, 0.5f, 1.0f, 0.5},              // s(1) = c2
        {1.0f, -0.9f, 1.0f, 0.5f, 0.5},             // s(1) = 1, scaled by "Gli Amp"
        {1.0f, 0.0f, -0.5f, 1.0f, 0.0},             // negative: no delay
        {-1.0f, -0.2f, 0.0f, 1.0f, 0.4},            // s(-1) = 1 + 3 c1 - 3 c2
        {-1.0f, 0.5f, 0.0f, 1.0f, 1.0},             // 2.5 clamped to 1
        {-1.0f, -0.5f, 0.5f, 1.0f, 0.0},            // -2 clamped to 0
        {0.5f, 0.0f, 0.0f, 1.0f, 0.0},              // 0.5 x^3 (x - 1) < 0 on (0, 1)
        {-0.5f, 0.0f, 0.0f, 0.8f, 0.8 * Shape(-0.5, 0, 0)},
        {0.3f, 0.9f, 0.6f, 1.0f, Shape(0.3, 0.9, 0.6)},
    };
    TGlide glide;
    TFxFrame f;
    f.PosSecond = 0;
    f.RingSecond = 44100;
    f.SrInt = 44100;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.X << " " << c.C1 << " " << c.C2);
        f.LfoRawR = c.X;
        glide.GliCtrl1 = c.C1;
        glide.GliCtrl2 = c.C2;
        glide.GliAmp = c.Amp;
        glide.Step(f);
        EXPECT_NEAR(glide.GliDepth, c.Depth, 1e-6);
        EXPECT_GE(glide.GliDepth, 0.0f);
        EXPECT_LE(glide.GliDepth, 1.0f);
    }
}

TEST(GlideDrift, DelayIsTheDepthTimesOneSecond) {
    struct Case { int32_t Wave; float C1, C2, Amp; size_t Delay; };
    const Case cases[] = {
        {HoldsPlusOne, 0.0f, 1.0f, 0.5f, 22050},    // s = c2 = 1
        {HoldsPlusOne, 0.0f, 0.5f, 0.25f, 5512},    // 44100 * 0.125 = 5512.5: half-way taps
        {HoldsMinusOne, 0.0f, 0.0f, 0.1f, 4410},    // s(-1) = 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Delay);
        GlideRig rig;
        rig.LfoWave = c.Wave;
        rig.E->GliCtrl1 = c.C1;
        rig.E->GliCtrl2 = c.C2;
        rig.E->GliAmp = c.Amp;
        const auto& out = rig.Run(Impulse(c.Delay + 400, 100));
        const size_t at = 100 + c.Delay;
        if (c.Delay == 5512) {   // Hermite weights at half a sample
            EXPECT_EQ(out[at - 1], -0.0625f);
            EXPECT_EQ(out[at], 0.5625f);
            EXPECT_EQ(out[at + 1], 0.5625f);
            EXPECT_EQ(out[at + 2], -0.0625f);
            EXPECT_EQ(FirstAbove(out, 0.0f), int64_t(at - 1));
        } else {
            EXPECT_EQ(FirstAbove(out, 0.0f), int64_t(at));
            EXPECT_EQ(out[at], 1.0f);
            EXPECT_EQ(FirstAbove(out, 0.0f, at + 1), -1);
        }
        EXPECT_EQ(rig.OutL, rig.OutR);   // both channels follow output B
    }
}

TEST(GlideDrift, FullDepthWrapsOntoTheNewestSample) {
    GlideRig rig;
    rig.LfoWave = HoldsPlusOne;
    rig.E->GliCtrl2 = 1.0f;
    rig.E->GliAmp = 1.0f;
    const auto noise = Noise(1000, 5);
    rig.Run(noise);
    EXPECT_EQ(rig.E->GliDepth, 1.0f);
    // One ring length back is the sample just written over the oldest.
    EXPECT_EQ(rig.OutL, noise);
}

TEST(GlideDrift, DeselectedKeepsRecordingAndFreezesItsOutput) {
    GlideRig rig;
    rig.LfoWave = HoldsPlusOne;
    rig.E->GliCtrl2 = 1.0f;
    rig.E->GliAmp = 0.1f;   // 4410 samples
    rig.Run(Noise(5000, 6));
    const float frozenL = rig.E->GliLineL.Output, frozenR = rig.E->GliLineR.Output;
    const auto noise = Noise(6000, 7);
    rig.Deselected(noise, noise);
    EXPECT_EQ(rig.E->GliLineL.Output, frozenL);
    EXPECT_EQ(rig.E->GliLineR.Output, frozenR);
    const auto& out = rig.Run(std::vector<float>(8, 0.0f));
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(out[i], noise[6000 + i - 4410]) << i;
}

TEST(GlideDrift, SilenceAfterNoiseLeavesNoSubnormals) {
    for (float rate : {44100.0f, 192000.0f}) {
        SCOPED_TRACE(rate);
        GlideRig rig(static_cast<int32_t>(rate));
        rig.E->GliAmp = 0.7f;
        rig.LfoRate = 1.3f;
        rig.LfoWave = 5;   // sample and hold: jumps across the whole recorded second
        EXPECT_FALSE(SubnormalAfterNoise(rig, rate, 3));
    }
}

TEST(GlideDrift, TapsPlannedAheadSoundAsFrameByFrame) {
    // A fast sweep from no delay to 40 samples, round an 8000-sample ring.
    auto rig = [] {
        GlideRig r(8000);
        r.RunLfo(0, 30.0f);
        r.E->GliCtrl1 = 0.3f;
        r.E->GliCtrl2 = 0.9f;
        r.E->GliAmp = 0.005f;
        return r;
    };
    const auto [byFrame, planned] = RunByFrameAndPlanned(rig, Noise(9000, 23), Noise(9000, 24));
    EXPECT_EQ(planned.OutL, byFrame.OutL);
    EXPECT_EQ(planned.OutR, byFrame.OutR);
    EXPECT_EQ(planned.E->GliDepth, byFrame.E->GliDepth);
}
