#include "dsp/FxPhaser.h"
#include "tests/dsp/EffectRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>

namespace {

constexpr double Pi = 3.14159265358979323846;

// The phaser at 44.1 kHz unless another rate is given, its LFO running as in the engine
// (parabolic sine at rate 0) with no amount.
struct PhaserRig : EffectRig<TPhaser> {
    PhaserRig(float freq, int32_t depth, float feedback, int32_t rate = 44100) : EffectRig<TPhaser>(rate) {
        RunLfo(0, 0.0f);
        F.LfoAmp = 0.0f;
        E->PhaFreq = freq;
        E->PhaDepth = depth;
        E->PhaFeedback = feedback;
    }
};

std::complex<double> Dft(const std::vector<float>& x, double omega) {
    std::complex<double> s = 0.0;
    for (size_t n = 0; n < x.size(); ++n) s += double(x[n]) * std::polar(1.0, -omega * double(n));
    return s;
}

}  // namespace

TEST(Phaser, WithoutFeedbackTheChainIsAnAllPassOfDepthPlusOneStages) {
    const double g = double(float(1000.0f * float(6.2831853071795 / 44100.0)));
    for (int32_t depth = 0; depth <= 5; ++depth) {
        SCOPED_TRACE(depth);
        PhaserRig rig(1000.0f, depth, 0.0f);
        const auto& h = rig.Run(Impulse(4096, 0));
        for (double omega : {0.0, 0.01, 0.1, 0.5, 1.0, 2.0, 3.0, Pi})
            EXPECT_NEAR(std::abs(Dft(h, omega)), 1.0, 1e-4) << omega;
        // Each stage delays the low end by 1/g samples.
        double sum = 0.0, moment = 0.0;
        for (size_t n = 0; n < h.size(); ++n) {
            sum += h[n];
            moment += double(h[n]) * double(n);
        }
        EXPECT_NEAR(moment / sum, double(depth + 1) / g, 1e-3);
        EXPECT_EQ(rig.OutL, rig.OutR);
    }
}

TEST(Phaser, SingleStageTurnsNinetyDegreesAtItsBreakFrequency) {
    PhaserRig rig(3000.0f, 0, 0.0f, 48000);
    const auto& h = rig.Run(Impulse(4096, 0));
    const double g = double(float(3000.0f * float(6.2831853071795 / 48000.0)));
    EXPECT_NEAR(std::arg(Dft(h, 2.0 * std::atan(g))), -Pi / 2, 1e-4);
}

TEST(Phaser, FrequencyFollowsTheLfoAndIsClamped) {
    struct Case { float Freq, Amount, ModL, ModR, Left, Right; };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {10100.0f, 0.0f, 0.0f, 0.0f, 10100.0f, 10100.0f},
        {10100.0f, 1.0f, 0.0f, 1.0f, 1.0f, 10100.0f},   // swept to 0 Hz: held at 1 Hz
        {5000.0f, 0.5f, 0.5f, 0.0f, 3750.0f, 2500.0f},
        {20000.0f, 0.0f, 1.0f, 1.0f, 16000.0f, 16000.0f},
        {nan, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f},
    };
    EffectRig<TPhaser> rig;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Freq);
        rig.E->PhaFreq = c.Freq;
        rig.F.LfoAmp = c.Amount;
        rig.F.LfoModL = c.ModL;
        rig.F.LfoModR = c.ModR;
        rig.Frame(0.0f);
        EXPECT_EQ(rig.E->PhaFreqL, c.Left);
        EXPECT_EQ(rig.E->PhaFreqR, c.Right);
    }
}

TEST(Phaser, FeedbackTurnsTheAllPassIntoPeaksAndNotches) {
    PhaserRig rig(2000.0f, 3, -0.99f);
    const auto& h = rig.Run(Impulse(1 << 15, 0));
    double lo = 1e9, hi = 0.0;
    for (int k = 1; k < 200; ++k) {
        const double m = std::abs(Dft(h, Pi * k / 200.0));
        lo = std::min(lo, m);
        hi = std::max(hi, m);
    }
    EXPECT_LT(lo, 0.6);
    EXPECT_GT(hi, 10.0);
    for (float v : h) ASSERT_TRUE(std::isfinite(v));
}

TEST(Phaser, StageMemoriesDoNotStickAtSubnormalsOnSilenceWithoutFeedback) {
    struct Case { float Rate, Freq, Feedback; int32_t Depth; };
    const Case cases[] = {{44100.0f, 300.0f, 0.0f, 5}, {96000.0f, 9000.0f, 0.0f, 2},
                          {192000.0f, 100.0f, -0.8f, 5}, {44100.0f, 10100.0f, -0.99f, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Rate << " " << c.Freq << " " << c.Feedback);
        PhaserRig rig(c.Freq, c.Depth, c.Feedback, int32_t(c.Rate));
        EXPECT_FALSE(SubnormalAfterNoise(rig, c.Rate));
        for (const auto* chain : {&rig.E->PhaStagesL, &rig.E->PhaStagesR})
            for (const TAp11& s : *chain) {
                EXPECT_FALSE(IsSubnormal(s.State));
                EXPECT_FALSE(IsSubnormal(s.Output));
            }
        EXPECT_FALSE(IsSubnormal(rig.E->PhaOutL));
        EXPECT_FALSE(IsSubnormal(rig.E->PhaOutR));
    }
}

// The feedback's offset is skipped only where it cannot change the float: every float from far
// below the threshold to far above it, both signs, against the sum in double.
TEST(Phaser, FeedbackOffsetIsSkippedOnlyWhereItRoundsAway) {
    int checked = 0;
    for (float x = 0x1p-80f; x < 0x1p4f; x = std::nextafter(x, 1.0f) * 1.0001f) {
        for (float v : {x, -x, std::nextafter(x, 0.0f), -std::nextafter(x, 0.0f)}) {
            ASSERT_EQ(TPhaser::PlusTiny(v), float(double(v) + 1e-18)) << v;
            ++checked;
        }
    }
    EXPECT_GT(checked, 100000);
    EXPECT_EQ(TPhaser::PlusTiny(0.0f), float(1e-18));
}

// Both channels run side by side: each must still be its own chain of all-passes, as the building
// block ticks it, at every depth (and depths outside 0..5, which clamp) and with the channels'
// inputs, sweeps and feedback paths apart.
TEST(Phaser, EachChannelIsItsOwnChainOfAllPassesAtEveryDepth) {
    const auto l = Noise(600, 31), r = Noise(600, 32, 0.5f);
    for (int32_t depth : {-1, 0, 1, 2, 3, 4, 5, 9}) {
        SCOPED_TRACE(depth);
        PhaserRig rig(700.0f, depth, -0.7f);
        rig.LfoOn = false;   // the sweeps set below, a different one on each channel
        rig.F.LfoAmp = 0.9f;
        std::array<TAp11, kPhaserStages> refL{}, refR{};
        float outL = 0.0f, outR = 0.0f;
        const int32_t last = depth < 0 ? 0 : (depth > 5 ? 5 : depth);
        for (size_t n = 0; n < l.size(); ++n) {
            rig.F.LfoModL = float(n % 100) / 100.0f;
            rig.F.LfoModR = float(n % 37) / 37.0f;
            rig.Frame(l[n], r[n]);
            auto chain = [&](std::array<TAp11, kPhaserStages>& ref, float in, float freq, float& out) {
                const float coef = TAp11::Coefficient(float(double(freq) * double(rig.E->PhaOmega)));
                float x = float(double(in) + double(out) * double(-0.7f) + 1e-18);
                for (size_t i = 0; i <= size_t(last); ++i) {
                    ref[i].TickWith(x, coef);
                    x = ref[i].Output;
                }
                out = float(double(x) + 1e-18);
            };
            chain(refL, l[n], rig.E->PhaFreqL, outL);
            chain(refR, r[n], rig.E->PhaFreqR, outR);
            ASSERT_EQ(rig.E->PhaOutL, outL) << n;
            ASSERT_EQ(rig.E->PhaOutR, outR) << n;
            for (size_t i = 0; i < size_t(kPhaserStages); ++i) {
                ASSERT_EQ(rig.E->PhaStagesL[i].State, refL[i].State);
                ASSERT_EQ(rig.E->PhaStagesR[i].State, refR[i].State);
            }
        }
    }
}

TEST(Phaser, StateHeldOverARunSoundsAsFrameByFrame) {
    auto rig = [] {
        PhaserRig r(900.0f, 5, -0.8f);
        r.RunLfo(0, 20.0f);
        r.F.LfoAmp = 0.9f;
        return r;
    };
    PhaserRig byFrame = rig(), held = rig();
    const auto l = Noise(2000, 41), r = Noise(2000, 42);
    byFrame.Run(l, r);
    held.RunHeld(l, r);
    EXPECT_EQ(held.OutL, byFrame.OutL);
    EXPECT_EQ(held.OutR, byFrame.OutR);
    for (size_t i = 0; i < size_t(kPhaserStages); ++i) {   // and left in the effect as stepping leaves it
        EXPECT_EQ(held.E->PhaStagesL[i].State, byFrame.E->PhaStagesL[i].State);
        EXPECT_EQ(held.E->PhaStagesR[i].State, byFrame.E->PhaStagesR[i].State);
    }
    EXPECT_EQ(held.E->PhaOutL, byFrame.E->PhaOutL);
}
