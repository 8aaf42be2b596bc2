#include "dsp/OscillosClass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

TEST(TSingleOscillator, AboveNyquistThePhaseOnlyEverJumpsToMinusOneHalf) {
    TSingleOscillator osc;
    float flag = 0.0f;
    float last = osc.Phase;
    for (int i = 0; i < 1000; ++i) {
        osc.Tick(flag, 30000.0f, 44100.0f, 0.0f);
        ASSERT_GE(osc.Phase, -0.5f);
        ASSERT_LE(osc.Phase, 0.5f);
        if (osc.Phase < last) {
            ASSERT_EQ(osc.Phase, -0.5f) << "tick " << i;
        }
        last = osc.Phase;
    }
}

TEST(TSingleOscillator, ExcessOverOneHalfIsDroppedNotCarried) {
    TSingleOscillator osc;
    float flag = 0.0f;
    const float expected[] = {0.3f, -0.5f, -0.2f, 0.1f, 0.4f, -0.5f};
    for (float e : expected) {
        osc.Tick(flag, 0.3f, 1.0f, 0.0f);
        EXPECT_NEAR(osc.Phase, e, 1e-6f);
    }
}

TEST(TSingleOscillator, IncrementFollowsFrequencyButNotASampleRateChangeAlone) {
    TSingleOscillator osc;
    float flag = 0.0f;
    osc.Tick(flag, 441.0f, 44100.0f, 0.0f);
    EXPECT_FLOAT_EQ(osc.Increment, 0.01f);
    osc.Tick(flag, 441.0f, 88200.0f, 0.0f);
    EXPECT_FLOAT_EQ(osc.Increment, 0.01f);
    osc.Tick(flag, 882.0f, 88200.0f, 0.0f);
    EXPECT_FLOAT_EQ(osc.Increment, 0.01f);
    EXPECT_EQ(osc.LastFreq, 882.0f);
}

TEST(TSingleOscillator, ResetFlagOfOneJumpsToResetPhaseAndIsCleared) {
    TSingleOscillator osc;
    float flag = 0.5f;  // anything but exactly 1.0 is no request
    osc.Tick(flag, 441.0f, 44100.0f, 0.2f);
    EXPECT_FLOAT_EQ(osc.Phase, 0.01f);
    EXPECT_EQ(flag, 0.5f);
    flag = 1.0f;
    osc.Tick(flag, 441.0f, 44100.0f, 0.2f);
    EXPECT_EQ(osc.Phase, 0.2f);
    EXPECT_EQ(flag, 0.0f);
}

TEST(TSingleOscillator, NaNFrequencyDoesNotLeaveAStuckPhase) {
    TSingleOscillator osc;
    float flag = 0.0f;
    osc.Tick(flag, std::numeric_limits<float>::quiet_NaN(), 44100.0f, 0.0f);
    EXPECT_EQ(osc.Phase, -0.5f);
    osc.Tick(flag, 441.0f, 44100.0f, 0.0f);
    EXPECT_NEAR(osc.Phase, -0.49f, 1e-6f);
}

TEST(TPara, ShapeIsOneAtZeroZeroAtQuarterAndMinusOneAtHalf) {
    const float cases[][2] = {{0.0f, 1.0f},   {0.25f, 0.0f},  {-0.25f, 0.0f},
                              {0.5f, -1.0f},  {-0.5f, -1.0f}, {0.125f, 0.75f},
                              {-0.375f, -0.75f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        TPara osc;
        osc.Phase = c[0];
        float flag = 0.0f;
        osc.Tick(flag, 0.0f, 44100.0f, 0.0f);  // frequency 0: the phase stays put
        EXPECT_EQ(osc.Value, c[1]);
    }
}

namespace {

// Frequency `inc` at a sample rate of 1 gives exactly that phase increment.
void TickN(TmultiDualSingle& osc, int n, int wave, float inc, float offset, float pw = 0.5f) {
    for (int i = 0; i < n; ++i) osc.Tick(wave, inc, pw, offset, 1.0f);
}

}  // namespace

TEST(TmultiDualSingle, EveryWaveGivesItsShapeAtBothPhases) {
    struct Case {
        int wave;
        float pulseWidth, outA, outB;
    };
    const Case cases[] = {
        {0, 0.5f, -0.75f, 0.0f}, {7, 0.5f, -0.75f, 0.0f}, {-1, 0.5f, -0.75f, 0.0f},
        {1, 0.5f, -0.5f, 0.0f},  {2, 0.5f, -0.75f, 0.5f}, {3, 0.5f, 0.75f, -0.5f},
        {4, 0.5f, -1.0f, 1.0f},  {4, 0.8f, -1.0f, -1.0f}, {4, 0.1f, 1.0f, 1.0f},
        {5, 0.5f, 0.0f, 0.0f},  // nothing drawn away from the end of the cycle
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "wave " << c.wave << " pw " << c.pulseWidth);
        TmultiDualSingle osc;
        osc.PhaseA = 0.125f;  // centred -0.375
        osc.PhaseB = 0.75f;   // centred 0.25
        osc.Tick(c.wave, 0.0f, c.pulseWidth, 0.0f, 44100.0f);
        EXPECT_EQ(osc.OutA, c.outA);
        EXPECT_EQ(osc.OutB, c.outB);
    }
}

// The engine steps the phases frame by frame and shapes them later, in runs: the outputs must be
// the ticks' to the bit, for every wave (an unknown one gives the sine) across several wraps.
TEST(TmultiDualSingle, PhasesShapedInARunGiveWhatTickingGives) {
    for (int wave : {0, 1, 2, 3, 4, 9}) {
        SCOPED_TRACE(::testing::Message() << "wave " << wave);
        TmultiDualSingle ticked, stepped;
        std::vector<float> a, b, phaseA, phaseB;
        for (int i = 0; i < 3000; ++i) {
            ticked.Tick(wave, 7.3f, 0.3f, 0.37f, 1000.0f);
            a.push_back(ticked.OutA);
            b.push_back(ticked.OutB);
            stepped.SetIncrement(7.3f, 1000.0f);
            stepped.StepPhases(0.37f);
            phaseA.push_back(stepped.PhaseA);
            phaseB.push_back(stepped.PhaseB);
        }
        std::vector<float> outA(a.size()), outB(b.size());
        TmultiDualSingle::Shapes(wave, 0.3f, phaseA.data(), outA.data(), int32_t(outA.size()));
        TmultiDualSingle::Shapes(wave, 0.3f, phaseB.data(), outB.data(), int32_t(outB.size()));
        EXPECT_EQ(outA, a);
        EXPECT_EQ(outB, b);
    }
}

TEST(TmultiDualSingle, SquareOfHalfWidthIsLowForTheFirstHalfOfTheCycle) {
    TmultiDualSingle osc;
    osc.Restart(0.0f);
    std::vector<float> out;
    for (int i = 0; i < 65; ++i) {  // one cycle of 1/64 increments, then the wrap
        osc.Tick(4, 1.0f / 64.0f, 0.5f, 0.0f, 1.0f);
        out.push_back(osc.OutA);
    }
    std::vector<float> expected(32, -1.0f);  // phases 1/64 .. 1/2: c <= 0
    expected.resize(64, 1.0f);
    expected.push_back(-1.0f);  // wrapped to phase 0
    EXPECT_EQ(out, expected);
}

TEST(TmultiDualSingle, CycleLastsFloorOfOneOverIncrementPlusOneSamples) {
    for (float inc : {0.125f, 0.25f, 0.3f, 0.7f, 1.5f, 1.0f / 64.0f}) {
        SCOPED_TRACE(inc);
        TmultiDualSingle osc;
        std::vector<int> wraps;
        for (int i = 1; wraps.size() < 3; ++i) {
            osc.Tick(1, inc, 0.5f, 0.0f, 1.0f);
            if (osc.PhaseA == 0.0f) wraps.push_back(i);
        }
        const int expected = int(std::floor(1.0 / inc)) + 1;
        EXPECT_EQ(wraps[0], expected);
        EXPECT_EQ(wraps[2] - wraps[1], expected);
    }
}

TEST(TmultiDualSingle, BIsRealignedToThePhaseOffsetOnEveryWrapOfA) {
    TmultiDualSingle osc;
    float offset = 0.25f;
    int wraps = 0;
    for (int i = 0; i < 60; ++i) {
        if (i == 30) offset = 0.6f;  // mid-cycle: takes hold at A's next wrap only
        const float before = osc.PhaseB;
        osc.Tick(2, 0.125f, 0.5f, offset, 1.0f);
        if (osc.PhaseA == 0.0f) {
            ++wraps;
            EXPECT_EQ(osc.PhaseB, offset) << "tick " << i;
            EXPECT_EQ(osc.CentredB, offset - 0.5f);
        } else if (before + 0.125f <= 1.0f) {
            EXPECT_EQ(osc.PhaseB, before + 0.125f) << "tick " << i;
        } else {
            EXPECT_EQ(osc.PhaseB, 0.0f) << "tick " << i;
        }
    }
    EXPECT_EQ(wraps, 6);
}

TEST(TmultiDualSingle, SampleAndHoldKeepsTheLastDrawBeforeTheWrap) {
    TmultiDualSingle osc;
    osc.Rng.Seed(99);
    TRandom reference(99);
    TickN(osc, 1025, 5, 1.0f / 1024.0f, 0.0f);  // phases k/1024 above 0.99: k = 1014..1024
    EXPECT_EQ(osc.PhaseA, 0.0f);
    float last = 0.0f;
    for (int i = 0; i < 11; ++i) last = float((Wide(reference.Uniform01()) - 0.5) * 2.0);
    EXPECT_EQ(osc.OutA, last);
    EXPECT_GE(osc.OutA, -1.0f);
    EXPECT_LT(osc.OutA, 1.0f);
}

TEST(TmultiDualSingle, SampleAndHoldBFollowsAInPhaseOrHalfACycleLate) {
    const float inc = 1.0f / 1024.0f;  // cycle of 1025 samples
    {
        SCOPED_TRACE("offset 0");
        TmultiDualSingle osc;
        for (int i = 0; i < 4 * 1025; ++i) {
            osc.Tick(5, inc, 0.5f, 0.0f, 1.0f);
            ASSERT_EQ(osc.OutB, osc.OutA) << "tick " << i;
        }
    }
    SCOPED_TRACE("offset 0.5");
    TmultiDualSingle osc;
    osc.Restart(0.5f);
    TickN(osc, 1025, 5, inc, 0.5f);  // first cycle: A held 0, and drew at its end
    float previous = 0.0f;           // what A held during the cycle before
    for (int cycle = 0; cycle < 3; ++cycle) {
        TickN(osc, 400, 5, inc, 0.5f);  // before B reaches the end of its cycle
        EXPECT_EQ(osc.OutB, previous);
        const float current = osc.OutA;
        EXPECT_NE(current, previous);
        TickN(osc, 200, 5, inc, 0.5f);  // B has passed its end: it now holds A's value
        EXPECT_EQ(osc.OutB, current);
        EXPECT_EQ(osc.OutA, current);
        TickN(osc, 425, 5, inc, 0.5f);  // to A's next wrap
        ASSERT_EQ(osc.PhaseA, 0.0f);
        EXPECT_EQ(osc.OutB, current);
        EXPECT_NE(osc.OutA, current);  // A has moved on, B lags half a cycle
        previous = current;
    }
}

TEST(TmultiDualSingle, RestartSetsBothPhases) {
    TmultiDualSingle osc;
    TickN(osc, 5, 0, 0.125f, 0.0f);
    osc.Restart(0.3f);
    EXPECT_EQ(osc.PhaseA, 0.0f);
    EXPECT_EQ(osc.PhaseB, 0.3f);
    osc.Tick(0, 0.125f, 0.5f, 0.3f, 1.0f);
    EXPECT_EQ(osc.PhaseA, 0.125f);
    EXPECT_FLOAT_EQ(osc.PhaseB, 0.425f);
}
