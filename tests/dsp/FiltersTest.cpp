#include "dsp/FiltresClass.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "dsp/Random.h"

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr float Rate = 44100.0f;

// Steady-state gain of a filter for a sine at `freq` (0 = DC, Rate / 2 = Nyquist).
template <class Filter>
double Gain(float cutoff, double freq) {
    Filter filter;
    const int settle = 20000, measure = 8820;  // 200 ms, a whole number of cycles at 1 kHz
    double inPower = 0.0, outPower = 0.0;
    for (int i = 0; i < settle + measure; ++i) {
        const float x = freq == 0.0 ? 1.0f : float(std::cos(2.0 * Pi * freq * i / Rate));
        filter.Tick(x, cutoff, Rate);
        if (i >= settle) {
            inPower += double(x) * x;
            outPower += double(filter.Output) * filter.Output;
        }
    }
    return std::sqrt(outPower / inPower);
}

// Where the bilinear transform without pre-warp puts the analogue -3 dB point.
double WarpedCutoff(double cutoff) { return Rate / Pi * std::atan(Pi * cutoff / Rate); }

}  // namespace

TEST(TLp1, PassesDcRejectsNyquistAndIsThreeDbDownAtTheWarpedCutoff) {
    const double halfPower = std::sqrt(0.5);
    for (float cutoff : {100.0f, 1000.0f, 8000.0f}) {
        SCOPED_TRACE(cutoff);
        EXPECT_NEAR(Gain<TLp1>(cutoff, 0.0), 1.0, 1e-4);
        EXPECT_NEAR(Gain<TLp1>(cutoff, Rate / 2.0), 0.0, 1e-4);
        EXPECT_NEAR(Gain<TLp1>(cutoff, WarpedCutoff(cutoff)), halfPower, 0.01);
        EXPECT_NEAR(Gain<THp1>(cutoff, 0.0), 0.0, 1e-6);  // settles to 0 on a constant
        EXPECT_NEAR(Gain<THp1>(cutoff, Rate / 2.0), 1.0, 1e-3);
        EXPECT_NEAR(Gain<THp1>(cutoff, WarpedCutoff(cutoff)), halfPower, 0.01);
    }
}

TEST(TLp1, ZeroCutoffHoldsTheOutputAndLetsNoInputThrough) {
    TLp1 fresh;
    fresh.Tick(1.0f, 0.0f, Rate);  // LastCutoff starts at -1, so 0 Hz is computed
    EXPECT_EQ(fresh.B, 0.0f);
    EXPECT_EQ(fresh.A1, 1.0f);
    EXPECT_EQ(fresh.Output, 0.0f);

    TLp1 lp;
    for (int i = 0; i < 5000; ++i) lp.Tick(0.5f, 1000.0f, Rate);
    const float held = lp.Output;
    for (float x : {1.0f, -3.0f, 0.0f, 100.0f}) {
        lp.Tick(x, 0.0f, Rate);
        EXPECT_EQ(lp.Output, held);
        EXPECT_EQ(lp.X1, x);  // the input itself is remembered, without the offset
    }
}

TEST(THp1, ZeroCutoffPassesAConstantUnchanged) {
    for (float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        SCOPED_TRACE(rate);
        THp1 hp;
        for (int i = 0; i < 100; ++i) {
            hp.Tick(0.5f, 0.0f, rate);
            ASSERT_EQ(hp.Output, 0.5f) << "tick " << i;
        }
        EXPECT_EQ(hp.B0, 1.0f);
        EXPECT_EQ(hp.B1, -1.0f);
        EXPECT_EQ(hp.A1, 1.0f);
    }
}

template <class Filter>
class FirstOrderFilter : public ::testing::Test {};
using FirstOrderFilters = ::testing::Types<TLp1, THp1>;
TYPED_TEST_SUITE(FirstOrderFilter, FirstOrderFilters);

TYPED_TEST(FirstOrderFilter, CoefficientsAreRecomputedOnlyWhenTheCutoffChanges) {
    TypeParam filter;
    filter.Tick(0.0f, 1000.0f, 44100.0f);
    EXPECT_EQ(filter.K, 88200.0f);
    const float a1 = filter.A1;
    filter.Tick(0.0f, 1000.0f, 96000.0f);  // a new sample rate alone
    EXPECT_EQ(filter.K, 88200.0f);
    EXPECT_EQ(filter.A1, a1);
    filter.Tick(0.0f, 2000.0f, 96000.0f);
    EXPECT_EQ(filter.K, 192000.0f);
    EXPECT_EQ(filter.LastCutoff, 2000.0f);
    EXPECT_NE(filter.A1, a1);
}

TYPED_TEST(FirstOrderFilter, SilenceAfterNoiseNeverGoesSubnormal) {
    for (float rate : {44100.0f, 96000.0f, 192000.0f}) {
        SCOPED_TRACE(rate);
        TypeParam filter;
        TRandom rng(11);
        for (int i = 0; i < 1000; ++i) filter.Tick(rng.Uniform01() * 2.0f - 1.0f, 500.0f, rate);
        for (int i = 0; i < 200000; ++i) {
            filter.Tick(0.0f, 500.0f, rate);
            ASSERT_TRUE(std::isfinite(filter.Output));
            ASSERT_NE(std::fpclassify(filter.Output), FP_SUBNORMAL) << "sample " << i;
        }
    }
}

TYPED_TEST(FirstOrderFilter, ZeroOrNaNSampleRateGivesNonFiniteCoefficientsWithoutCrashing) {
    for (float rate : {0.0f, std::numeric_limits<float>::quiet_NaN()}) {
        SCOPED_TRACE(rate);
        TypeParam filter;
        filter.Tick(1.0f, 0.0f, rate);
        EXPECT_FALSE(std::isfinite(filter.Norm) && std::isfinite(filter.A1));
    }
}

TEST(TAp11, UntouchedFilterHoldsTheFloatNearestOneEMinus18) {
    const TAp11 ap;
    for (float field : {ap.Coef, ap.State, ap.Output}) {
        EXPECT_EQ(std::bit_cast<uint32_t>(field), 0x219392EFu);
        EXPECT_NEAR(field, 1e-18, 1e-25);
    }
}

TEST(TAp11, UnitGMakesAOneSampleDelay) {
    TAp11 ap;
    ap.Tick(1.0f, 1.0f);
    EXPECT_EQ(ap.Coef, 0.0f);
    EXPECT_EQ(ap.Output, TinyStart);  // the state it started with
    ap.Tick(2.0f, 1.0f);
    EXPECT_EQ(ap.Output, 1.0f);
    ap.Tick(3.0f, 1.0f);
    EXPECT_EQ(ap.Output, 2.0f);
}

TEST(TAp11, ImpulseResponseKeepsTheEnergyOfTheImpulse) {
    for (float g : {0.05f, 0.3f, 1.0f, 3.0f}) {
        SCOPED_TRACE(g);
        TAp11 ap;
        double energy = 0.0;
        for (int i = 0; i < 4000; ++i) {
            ap.Tick(i == 0 ? 1.0f : 0.0f, g);
            energy += double(ap.Output) * ap.Output;
        }
        EXPECT_NEAR(energy, 1.0, 1e-4);
    }
}

// Regression: with a steady input the offset was lost in rounding and the output decayed into
// subnormal numbers, which the synced delay's feedback then wrote into its lines.
TEST(THp1, SteadyInputDecaysToZeroRatherThanIntoSubnormals) {
    THp1 hp;
    for (int i = 0; i < 200000; ++i) {
        hp.Tick(-0.1137f, 4738.92f, 48000.0f);
        ASSERT_NE(std::fpclassify(hp.Output), FP_SUBNORMAL) << "at sample " << i;
        ASSERT_NE(std::fpclassify(hp.Y1), FP_SUBNORMAL) << "at sample " << i;
    }
    EXPECT_EQ(hp.Output, 0.0f);
}

// A glide that has settled is left alone; every tick must still leave exactly what Tick leaves,
// through settling, a new target, a cutoff change, and a state written from outside.
TEST(TLp1, HeldTicksLeaveWhatTicksLeave) {
    TLp1 ticked, held;
    auto run = [&](int frames, float target, float cutoff) {
        for (int i = 0; i < frames; ++i) {
            ticked.Tick(target, cutoff, Rate);
            held.TickHeld(target, cutoff, Rate);
            ASSERT_EQ(std::bit_cast<uint32_t>(held.Output), std::bit_cast<uint32_t>(ticked.Output)) << i;
            ASSERT_EQ(std::bit_cast<uint32_t>(held.X1), std::bit_cast<uint32_t>(ticked.X1)) << i;
        }
    };
    run(200000, 441.0f, 2.0f);   // long enough to settle
    EXPECT_EQ(ticked.Output, ticked.Y1);
    run(10, 441.0f, 2.0f);
    run(200000, 97.5f, 2.0f);
    run(1000, 97.5f, 30.0f);
    ticked.Y1 = held.Y1 = 12.0f;   // a reset from outside must not be skipped over
    ticked.Output = held.Output = 12.0f;
    run(1000, 97.5f, 30.0f);
    run(1000, -0.0f, 30.0f);
    run(1000, 0.0f, 30.0f);
}

#if defined(__SSE2__)
TEST(TLp1, PairedTicksLeaveWhatTicksLeave) {
    TLp1 l, r, pairL, pairR;
    TRandom rng(5);
    TLp1::TPairState state = TLp1::LoadPair(pairL, pairR);
    for (int i = 0; i < 3000; ++i) {
        const float inL = rng.Uniform01() * 2.0f - 1.0f, inR = i % 3 == 0 ? 0.0f : rng.Uniform01() * 1e-30f;
        const float cutoff = i < 1000 ? 9000.0f : (i < 2000 ? 150.0f : 0.0f);
        l.Tick(inL, cutoff, Rate);
        r.Tick(inR, cutoff, Rate);
        const __m128 out = TLp1::TickPair(pairL, pairR, state, PairOf(inL, inR), cutoff, Rate);
        ASSERT_EQ(std::bit_cast<uint32_t>(LeftOf(out)), std::bit_cast<uint32_t>(l.Output)) << i;
        ASSERT_EQ(std::bit_cast<uint32_t>(RightOf(out)), std::bit_cast<uint32_t>(r.Output)) << i;
        if (i % 7 != 0) continue;
        // Stored back, the filters are what ticking them one by one leaves; loaded again, the
        // run goes on from there.
        TLp1::StorePair(pairL, pairR, state);
        for (const auto& [one, paired] : {std::pair(&l, &pairL), std::pair(&r, &pairR)}) {
            ASSERT_EQ(std::bit_cast<uint32_t>(paired->Output), std::bit_cast<uint32_t>(one->Output)) << i;
            ASSERT_EQ(std::bit_cast<uint32_t>(paired->Y1), std::bit_cast<uint32_t>(one->Y1)) << i;
            ASSERT_EQ(std::bit_cast<uint32_t>(paired->X1), std::bit_cast<uint32_t>(one->X1)) << i;
            ASSERT_EQ(paired->B, one->B);
        }
        state = TLp1::LoadPair(pairL, pairR);
    }
}
#endif
