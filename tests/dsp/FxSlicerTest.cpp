#include "tests/dsp/EffectRig.h"
#include "tests/dsp/EngineRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// 44.1 kHz at 120 BPM: 22,050 samples a beat, a bar of 88,200 (record positions 0..88,200).
EngineRig SlicerRig(float rate = 44100.0f, double tempo = 120.0) {
    EngineRig rig(rate, tempo);
    rig.E->Slicer.SliSpeed = 1;
    rig.E->Slicer.SliQuant = 1;
    rig.E->Slicer.SliVar = 0;
    rig.E->Slicer.SliRestart = 1;
    return rig;
}

// A record position as a sample: divided by 128 (exact in float), so the whole bar stays within
// the input bound.
float PosSample(int32_t pos) { return float(pos) * (1.0f / 128.0f); }

// Feeds each frame the record position it is about to be written at, so the buffer holds a ramp.
float NextRecordPos(const TFxEngine& e) {
    const int32_t next = e.Slicer.SliRecPos + 1;
    return PosSample(Wide(next) > 4.0 * Wide(float(e.SamplesPerBeat)) ? 0 : next);
}

}  // namespace

TEST(RealtimeSlicer, SyncedValueKEighthsPlaysHalfBeatKMinusOne) {
    EngineRig rig = SlicerRig();
    TFxEngine& e = *rig.E;
    for (int32_t i = 0; i < 88201; ++i) rig.Frame(NextRecordPos(e));
    for (int32_t k = 1; k <= 8; ++k) {
        SCOPED_TRACE(testing::Message() << "synced value " << k << "/8");
        e.SelectedFx = 5;
        e.Slicer.SyncSlice = float(Wide(float(k * 0.125)) * 7.9);
        int32_t atPeak = 0;
        for (int32_t i = 0; i < 22051; ++i) {
            const float y = rig.Frame(NextRecordPos(e));
            const int32_t played = (k - 1) * 11025 + e.Slicer.SliPos;
            ASSERT_EQ(e.Slicer.SliReadPos, played);
            // Where the envelope is 1 the output is the recorded sample itself (past the bar the
            // buffer was never written).
            if (e.Slicer.SliEnvelope[size_t(e.Slicer.SliPos)] == 1.0f && played <= 88200) {
                ASSERT_EQ(y, PosSample(played));
                ++atPeak;
            }
        }
        EXPECT_GT(atPeak, 0);
    }
}

TEST(RealtimeSlicer, SliceAndRecordCycleLengthsAt120BpmAnd44k) {
    EngineRig rig = SlicerRig();
    TFxEngine& e = *rig.E;
    std::vector<int32_t> sliceStarts, barStarts;
    for (int32_t i = 0; i < 3 * 88201; ++i) {
        rig.Frame(0.5f);
        if (e.Slicer.SliPos == 0) sliceStarts.push_back(i);
        if (e.Slicer.SliRecPos == 0) barStarts.push_back(i);
    }
    EXPECT_EQ(e.Slicer.SliEnvelopeLength, 22051);
    ASSERT_GE(sliceStarts.size(), 3u);
    for (size_t j = 1; j < sliceStarts.size(); ++j) EXPECT_EQ(sliceStarts[j] - sliceStarts[j - 1], 22051);
    ASSERT_GE(barStarts.size(), 2u);
    for (size_t j = 1; j < barStarts.size(); ++j) EXPECT_EQ(barStarts[j] - barStarts[j - 1], 88201);
}

TEST(RealtimeSlicer, PlaysBackwardsOnlyWithVariationAboveFour) {
    for (int32_t var = 0; var <= 8; ++var) {
        SCOPED_TRACE(testing::Message() << "SliVar " << var);
        EffectRig<TSlicer> rig;
        TSlicer& e = *rig.E;
        e.SliSpeed = 1;
        e.SliVar = var;
        e.SliQuant = 8;   // a new choice every 2,756 samples
        int32_t choices = 0, reversed = 0, prevRead = -1;
        for (int32_t i = 0; i < 200 * 2757; ++i) {
            rig.Frame(0.0f);
            const bool newChoice = e.SliChangeCount == 0;
            if (e.SliReverse == 1 && e.SliPos > 0 && !newChoice && prevRead >= 0) {
                ASSERT_EQ(e.SliReadPos, prevRead - 1);   // a backwards slice reads one sample earlier
            }
            prevRead = e.SliReadPos;
            if (!newChoice) continue;
            ++choices;
            reversed += e.SliReverse;
            ASSERT_LT(e.SliChoice, std::max(var, 1));
        }
        ASSERT_GT(choices, 150);
        if (var <= 4) {
            EXPECT_EQ(reversed, 0);
        } else {
            EXPECT_GT(reversed, choices / 5);   // SliChance 0.6..0.9: about 40 %
            EXPECT_LT(reversed, choices * 3 / 5);
        }
    }
}

TEST(RealtimeSlicer, EnvelopeStartsSilentPeaksAtOneAndIsSymmetric) {
    EngineRig rig = SlicerRig();
    rig.Frame(0.0f);
    const TFxEngine& e = *rig.E;
    const int32_t n = e.Slicer.SliEnvelopeLength - 1;
    ASSERT_EQ(n, 22050);
    const auto& env = e.Slicer.SliEnvelope;
    EXPECT_EQ(env[0], 0.0f);
    EXPECT_EQ(env[size_t(n)], 0.0f);
    EXPECT_EQ(*std::max_element(env.begin(), env.begin() + n + 1), 1.0f);
    EXPECT_EQ(env[size_t(n / 2)], 1.0f);
    EXPECT_NEAR(env[1], std::pow(1.0 / 11024.0, 0.08), 1e-6);   // the steep rise
    for (int32_t i = 0; i <= n; ++i) ASSERT_EQ(env[size_t(i)], env[size_t(n - i)]) << i;
    for (int32_t i = 1; i <= n / 2; ++i) ASSERT_GE(env[size_t(i)], env[size_t(i - 1)]) << i;
}

TEST(RealtimeSlicer, TinySlicesGiveFiniteEnvelopesAndOutputs) {
    for (int32_t n = 0; n <= 5; ++n) {
        SCOPED_TRACE(testing::Message() << "n " << n);
        // A beat of n + 0.5 samples at SliSpeed 1.
        EngineRig rig = SlicerRig(44100.0f, 44100.0 * 60.0 / (n + 0.5));
        TFxEngine& e = *rig.E;
        e.SelectedFx = 5;
        e.Slicer.SliVar = 8;
        for (int32_t i = 0; i < 2000; ++i) {
            const float y = rig.Frame(float(i % 7) * 0.1f);
            ASSERT_TRUE(std::isfinite(y));
            ASSERT_LE(std::fabs(y), 0.6f);
        }
        ASSERT_EQ(e.Slicer.SliEnvelopeLength, n + 1);
        for (int32_t i = 0; i <= n; ++i) {
            const float v = e.Slicer.SliEnvelope[size_t(i)];
            EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << i;
            if (n >= 2) {
                EXPECT_EQ(v, e.Slicer.SliEnvelope[size_t(n - i)]) << i;
            }
        }
        EXPECT_EQ(e.Slicer.SliEnvelope[size_t(n)], 0.0f);
        if (n >= 2) {
            EXPECT_EQ(e.Slicer.SliEnvelope[0], 0.0f);
            EXPECT_EQ(e.Slicer.SliEnvelope[size_t(n / 2)], 1.0f);
        }
    }
}

TEST(RealtimeSlicer, CycleStartFromTheSongPositionRestartsThePattern) {
    EngineRig rig = SlicerRig();
    TFxEngine& e = *rig.E;
    e.Slicer.SliQuant = 8;
    rig.Begin(44100.0f, 120.0, true, 11.9);
    rig.Run(4000);
    ASSERT_GT(e.Slicer.SliRecPos, 3000);
    ASSERT_GT(e.Slicer.SliPos, 3000);
    ASSERT_GT(e.Slicer.SliChangeCount, 1000);
    rig.Begin(44100.0f, 120.0, true, 12.0);   // onto a multiple of 288 ticks
    int32_t held = 0, last = -1;
    for (int32_t i = 0; i < 40; ++i) {
        rig.Frame(0.0f);
        if (e.Slicer.SliRecPos == 0 && e.Slicer.SliPos == 0 && e.Slicer.SliChangeCount == 0) {
            ++held;
            last = i;
        }
    }
    // Held at 0 until the next check nine frames on, then counting again from 0.
    EXPECT_EQ(held, 9);
    EXPECT_EQ(e.Slicer.SliRecPos, 39 - last);
    EXPECT_EQ(e.Slicer.SliPos, 39 - last);
    EXPECT_EQ(e.Slicer.SliChangeCount, 39 - last);
}

TEST(RealtimeSlicer, PositionsStayInsideTheBuffersAtExtremeRatesAndTempi) {
    struct Case { int32_t Rate; double Tempo; };
    const Case cases[] = {{44100, 1.0}, {384000, 1.0}, {384000, 120.0}, {768000, 7.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Rate << " Hz, " << c.Tempo << " BPM");
        EffectRig<TSlicer> rig(c.Rate, float(c.Rate * 60.0 / c.Tempo));
        TSlicer& e = *rig.E;
        e.SliSpeed = 1;
        e.SliVar = 8;
        e.SliQuant = 8;
        e.SyncSlice = 7.9f;
        const float beat = std::min(rig.F.SamplesPerBeat, float(kSlicerMaxBeat));
        int32_t maxRec = 0;
        for (int32_t i = 0; i < int32_t(4.0f * beat) + 2; ++i) {
            rig.Frame(0.25f);
            ASSERT_GE(e.SliRecPos, 0);
            ASSERT_LE(e.SliRecPos, kSliceBufferLast);
            ASSERT_GE(e.SliReadPos, 0);
            ASSERT_LE(e.SliReadPos, kSliceBufferLast);
            ASSERT_TRUE(std::isfinite(e.SliOutL));
            maxRec = std::max(maxRec, e.SliRecPos);
        }
        EXPECT_EQ(maxRec, int32_t(4.0f * beat));   // the whole bar is used
    }
}

TEST(RealtimeSlicer, SliceOutrunningAnOldEnvelopeEndsSilent) {
    EngineRig rig = SlicerRig();
    TFxEngine& e = *rig.E;
    e.SelectedFx = 5;
    rig.Run(100, 0.5f);
    ASSERT_EQ(e.Slicer.SliEnvelopeLength, 22051);
    rig.Begin(44100.0f, 60.0);   // twice the slice, envelope not rebuilt
    int32_t past = 0;
    for (int32_t i = 0; i < 2 * 44101; ++i) {
        const float y = rig.Frame(0.5f);
        if (e.Slicer.SliPos >= e.Slicer.SliEnvelopeLength) {
            ++past;
            ASSERT_EQ(y, 0.0f);
        }
    }
    EXPECT_GT(past, 20000);
}

TEST(RealtimeSlicer, RecordsWhileAnotherEffectIsSelected) {
    EngineRig rig = SlicerRig();
    TFxEngine& e = *rig.E;
    e.SelectedFx = 6;
    for (int32_t i = 0; i < 30000; ++i) {
        const float x = float(i % 100) * 0.01f;
        rig.Frame(x, -x);
        ASSERT_EQ(e.Slicer.SliceBufferL[size_t(e.Slicer.SliRecPos)], x);
        ASSERT_EQ(e.Slicer.SliceBufferR[size_t(e.Slicer.SliRecPos)], -x);
    }
    EXPECT_EQ(e.Slicer.SliOutL, 0.0f);   // nothing played
    // Selected now, it plays from what was recorded meanwhile.
    e.SelectedFx = 5;
    float peak = 0.0f;
    for (int32_t i = 0; i < 100; ++i) peak = std::max(peak, std::fabs(rig.Frame(0.0f)));
    EXPECT_GT(peak, 0.1f);
}
