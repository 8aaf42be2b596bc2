#include "dsp/FxTriCombs.h"
#include "dsp/Random.h"
#include "tests/dsp/EffectRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

EffectRig<TTriCombs> CombsRig(float rate = 44100.0f) {
    EffectRig<TTriCombs> rig{int32_t(rate)};
    rig.E->ChdSel = 1;
    rig.E->ChdRoot = 40;
    rig.E->SyncStepCombs = 0;
    rig.E->ChdFeedback = 0.9f;
    return rig;
}

// The delay in samples a comb glides to for a note.
double TargetDelay(int32_t note, double rate) { return rate / (8.17742 * std::pow(1.05946, note)); }

// A 2 Hz one-pole in 32 bits settles a little short of its input: its coefficients round its DC
// gain off 1, and its state stalls once a step is below half a float step. Within 0.2 %.
constexpr double kSettle = 2e-3;

double SilentRms(EffectRig<TTriCombs>& rig, int32_t frames) {
    double sum = 0.0;
    for (int32_t i = 0; i < frames; ++i) {
        const float y = rig.Frame(0.0f);
        sum += double(y) * y;
    }
    return std::sqrt(sum / frames);
}

}  // namespace

TEST(TriCombs, CombDelaysGlideToTheChordRowNotes) {
    struct Case { int32_t Row, Root, Step; int32_t Notes[3]; };
    const Case cases[] = {
        {7, 40, 0, {40, 43, 48}},   // "Chd Sel" 0.5
        {0, 30, 2, {27, 32, 35}},
        {12, 60, 8, {61, 68, 71}},
        {14, 70, 8, {78, 81, 87}},  // the highest note
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << c.Row << " root " << c.Root << " step " << c.Step);
        EffectRig<TTriCombs> rig = CombsRig();
        TTriCombs& e = *rig.E;
        e.ChdSel = c.Row;
        e.ChdRoot = c.Root;
        e.SyncStepCombs = c.Step;
        rig.Run(2 * 44100);   // 25 time constants of the 2 Hz glide
        EXPECT_EQ(e.ChdNote, c.Root + c.Step);
        for (size_t k = 0; k < 3; ++k)
            EXPECT_NEAR(e.ChdGlide[k].Output, TargetDelay(c.Notes[k], 44100.0),
                        kSettle * TargetDelay(c.Notes[k], 44100.0)) << k;
    }
}

TEST(TriCombs, DelaysRiseFromZeroWithTheTimeConstantOfTwoHertz) {
    EffectRig<TTriCombs> rig = CombsRig();
    TTriCombs& e = *rig.E;
    const double target = TargetDelay(40, 44100.0);   // comb 1 of row 1 on root 40
    const int32_t tau = int32_t(std::lround(44100.0 / (2.0 * 3.14159265358979 * 2.0)));
    rig.Run(tau);
    EXPECT_NEAR(e.ChdGlide[0].Output / target, 1.0 - std::exp(-1.0), 0.01);
    // A root change glides instead of jumping.
    e.ChdRoot = 52;
    rig.Run(44100);
    const double before = e.ChdGlide[0].Output;
    rig.Run(1);
    EXPECT_LT(std::fabs(e.ChdGlide[0].Output - before), 1.0);
    rig.Run(44100);
    EXPECT_NEAR(e.ChdGlide[0].Output, TargetDelay(52, 44100.0), 0.01 * TargetDelay(52, 44100.0));
}

TEST(TriCombs, FeedbackSetsHowLongTheCombsRing) {
    struct Case { float Feedback; double MinRatio, MaxRatio; };
    // After 2 s: 0.9 per pass at ~82 Hz is far below -100 dB, 0.999999 hardly decays at the fundamental.
    const Case cases[] = {{0.9f, 0.0, 1e-5}, {0.999999f, 0.05, 2.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "feedback " << c.Feedback);
        EffectRig<TTriCombs> rig = CombsRig();
        TTriCombs& e = *rig.E;
        e.ChdFeedback = c.Feedback;
        rig.Run(2 * 44100);   // delays settled
        rig.Frame(1.0f);
        const double early = SilentRms(rig, 4410);
        rig.Run(2 * 44100);
        const double late = SilentRms(rig, 4410);
        ASSERT_GT(early, 0.0);
        EXPECT_GE(late / early, c.MinRatio);
        EXPECT_LE(late / early, c.MaxRatio);
    }
}

TEST(TriCombs, NotesBeyondTheRingWrapInsideTheLine) {
    for (float rate : {44100.0f, 192000.0f, 384000.0f}) {
        SCOPED_TRACE(testing::Message() << rate << " Hz");
        EffectRig<TTriCombs> rig = CombsRig(rate);
        TTriCombs& e = *rig.E;
        e.ChdSel = 12;   // -7, 0, 3 on root 0: comb 1 at about 5.46 Hz
        e.ChdRoot = 0;
        e.ChdFeedback = 0.999999f;
        TRandom noise(5);
        for (int32_t i = 0; i < 2 * int32_t(rate); ++i) {
            const auto [l, r] = rig.Frame(noise.Uniform01() - 0.5f, noise.Uniform01() - 0.5f);
            ASSERT_TRUE(std::isfinite(l) && std::isfinite(r)) << i;
        }
        EXPECT_GT(e.ChdGlide[0].Output, float(rig.F.RingTenth));
        EXPECT_NEAR(e.ChdGlide[0].Output, TargetDelay(-7, rate), kSettle * TargetDelay(-7, rate));
    }
}

TEST(TriCombs, DeselectedFreezesTheCombsWhileTheLinesRecord) {
    EffectRig<TTriCombs> rig = CombsRig();
    TTriCombs& e = *rig.E;
    rig.Run(5000, 0.2f);
    const float glide = e.ChdGlide[1].Output, low = e.ChdLowR[2].Output, out = e.ChdOutL;
    const auto backL = e.ChdBackL, backR = e.ChdBackR;
    e.ChdRoot = 10;
    const int32_t frames = 2000, first = rig.F.PosTenth + 1;
    std::vector<float> inL(static_cast<size_t>(frames)), inR(static_cast<size_t>(frames));
    for (int32_t i = 0; i < frames; ++i) {
        inL[size_t(i)] = float(i % 13) * 0.01f;
        inR[size_t(i)] = -inL[size_t(i)];
    }
    rig.Deselected(inL, inR);
    ASSERT_LT(frames, rig.F.RingTenth);
    for (int32_t i = 0; i < frames; ++i) {
        const size_t at = size_t((first + i) % rig.F.RingTenth);
        for (size_t k = 0; k < 3; ++k) {
            ASSERT_EQ(e.ChdLinesL[k].Buffer[at], float(Wide(inL[size_t(i)]) + Wide(backL[k]))) << i;
            ASSERT_EQ(e.ChdLinesR[k].Buffer[at], float(Wide(inR[size_t(i)]) + Wide(backR[k]))) << i;
        }
    }
    EXPECT_EQ(e.ChdGlide[1].Output, glide);
    EXPECT_EQ(e.ChdLowR[2].Output, low);
    EXPECT_EQ(e.ChdOutL, out);
    EXPECT_EQ(e.ChdNote, 10);
}

TEST(TriCombs, NoSubnormalsBuildUpAfterNoiseThenSilence) {
    for (float rate : {44100.0f, 96000.0f, 192000.0f}) {
        for (float feedback : {0.9f, 0.999999f}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, feedback " << feedback);
            EffectRig<TTriCombs> rig = CombsRig(rate);
            TTriCombs& e = *rig.E;
            e.ChdSel = 12;
            e.ChdRoot = 20;
            e.ChdFeedback = feedback;
            TRandom noise(9);
            for (int32_t i = 0; i < int32_t(rate); ++i) rig.Frame(noise.Uniform01() * 2.0f - 1.0f);
            int32_t subnormal = 0;
            for (int32_t i = 0; i < 10 * int32_t(rate); ++i) {
                const auto [l, r] = rig.Frame(0.0f, 0.0f);
                subnormal += IsSubnormal(l) + IsSubnormal(r);
                for (size_t k = 0; k < 3; ++k)
                    subnormal += IsSubnormal(e.ChdBackL[k]) + IsSubnormal(e.ChdBackR[k]) +
                                 IsSubnormal(e.ChdLowL[k].Y1) + IsSubnormal(e.ChdLowR[k].X1);
            }
            for (size_t k = 0; k < 3; ++k)
                for (const auto* line : {&e.ChdLinesL[k], &e.ChdLinesR[k]})
                    for (float v : line->Buffer) subnormal += IsSubnormal(v);
            EXPECT_EQ(subnormal, 0);
        }
    }
}
