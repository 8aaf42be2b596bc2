#include "dsp/FxDecimator.h"
#include "tests/dsp/EffectRig.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A capture on every sample (one clock step per sample), no quantisation to speak of.
EffectRig<TDecimator> EveryStepRig() {
    EffectRig<TDecimator> rig;
    rig.E->SyncStep = 1;
    rig.E->DecHold = rig.F.SrInt;
    rig.E->DecLevels = 16777216.0f;
    rig.E->DecSat = 0.0f;
    return rig;
}

// Distinct values on the 2^-24 grid, so the finest quantisation keeps them exactly.
float Ramp(int32_t i) { return float(i % 1000 + 1) / 1024.0f; }

}  // namespace

TEST(Decimator, QuantisesToTheLevelCountRoundingHalvesToEven) {
    struct Case { float Levels, In, Out; };
    const Case cases[] = {
        {1.0f, 0.5f, 0.0f},   {1.0f, 1.5f, 2.0f},   {1.0f, -0.7f, -1.0f}, {1.0f, 0.7f, 1.0f},
        {1.0f, -0.4f, 0.0f},  {1.0f, 1.0f, 1.0f},   {4.0f, 0.3f, 0.25f},  {4.0f, 0.375f, 0.5f},
        {16384.0f, 0.1f, float(1638.0 / 16384.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "levels " << c.Levels << " in " << c.In);
        EffectRig<TDecimator> rig = EveryStepRig();
        rig.E->DecLevels = c.Levels;
        EXPECT_EQ(rig.Frame(c.In, -c.In), std::make_pair(c.Out, c.Out == 0.0f ? 0.0f : -c.Out));
    }
}

TEST(Decimator, SaturatesAboveOneOnly) {
    struct Case { float Sat, In, Out; };
    const Case cases[] = {
        {4.0f, 1.0f, 0.8f},  {4.0f, -1.0f, -0.8f}, {4.0f, 0.5f, float(2.0 / 4.5)},
        {2.0f, 2.0f, 1.0f},  {1.0f, 0.9f, 0.9f},   {0.5f, -0.9f, -0.9f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "sat " << c.Sat << " in " << c.In);
        EffectRig<TDecimator> rig = EveryStepRig();
        rig.E->DecSat = c.Sat;
        EXPECT_FLOAT_EQ(rig.Frame(c.In), c.Out);
    }
}

TEST(Decimator, FullRateCapturesEverySampleAndTheClockWrapsOncePerSecond) {
    EffectRig<TDecimator> rig = EveryStepRig();
    const int32_t sr = rig.F.SrInt;
    std::vector<float> out;
    for (int32_t i = 0; i < 3 * sr; ++i) out.push_back(rig.Frame(Ramp(i)));
    // Frame i runs the clock to i + 1; past SrInt it falls to 0 and that frame repeats.
    std::vector<int32_t> repeats;
    for (int32_t i = 0; i < 3 * sr; ++i) {
        if (out[size_t(i)] == Ramp(i)) continue;
        repeats.push_back(i);
        EXPECT_EQ(out[size_t(i)], Ramp(i - 1)) << i;
    }
    EXPECT_EQ(repeats, (std::vector<int32_t>{sr, 2 * sr + 1}));
}

TEST(Decimator, CapturesHoldOverSyncStepTimesPerSecond) {
    struct Case { int32_t Hold, Step; };
    const Case cases[] = {{22050, 2}, {4410, 8}, {44100, 3}, {100, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "hold " << c.Hold << " step " << c.Step);
        EffectRig<TDecimator> rig = EveryStepRig();
        rig.E->DecHold = c.Hold;
        rig.E->SyncStep = c.Step;
        int32_t captures = 0;
        float last = 0.0f;
        for (int32_t i = 0; i < 44100; ++i) {
            const float y = rig.Frame(Ramp(i));
            if (y != last) ++captures;
            last = y;
        }
        // The clock is a float sum: over a second it drifts by a few steps at most.
        EXPECT_NEAR(captures, c.Hold / c.Step, 1 + c.Hold / c.Step / 1000);
    }
}

TEST(Decimator, NoClockStepsHoldTheLastCapture) {
    struct Case { const char* Name; int32_t Step, Hold; };
    const Case cases[] = {{"SyncStep 0", 0, 44100}, {"DecHold 0", 1, 0}, {"both 0", 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EffectRig<TDecimator> rig = EveryStepRig();
        rig.Frame(0.25f);
        rig.E->SyncStep = c.Step;
        rig.E->DecHold = c.Hold;
        for (int32_t i = 0; i < 1000; ++i) ASSERT_EQ(rig.Frame(Ramp(i)), 0.25f) << i;
        EXPECT_TRUE(std::isfinite(rig.E->DecPhase));
    }
}
