#include "dsp/FxSlicer.h"
#include "tests/dsp/EffectRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using SlicerRig = EffectRig<TSlicer>;

// 44.1 kHz at 120 BPM unless a beat is given: 22,050 samples a beat, a bar of 88,200 (record
// positions 0..88,200). One slice a beat, a new choice every beat, no variation.
void Tune(SlicerRig& rig) {
    rig.E->SliSpeed = 1;
    rig.E->SliQuant = 1;
    rig.E->SliVar = 0;
    rig.E->SliRestart = 1;
}

// A record position as a sample: divided by 128 (exact in float), so the whole bar stays within
// the input bound.
float PosSample(int32_t pos) { return float(pos) * (1.0f / 128.0f); }

// Feeds each frame the record position it is about to be written at, so the buffer holds a ramp.
float NextRecordPos(const SlicerRig& rig) {
    const int32_t next = rig.E->SliRecPos + 1;
    return PosSample(Wide(next) > 4.0 * Wide(rig.F.SamplesPerBeat) ? 0 : next);
}

}  // namespace

TEST(RealtimeSlicer, SyncedValueKEighthsPlaysHalfBeatKMinusOne) {
    SlicerRig rig;
    Tune(rig);
    TSlicer& e = *rig.E;
    for (int32_t i = 0; i < 88201; ++i) rig.Frame(NextRecordPos(rig));
    for (int32_t k = 1; k <= 8; ++k) {
        SCOPED_TRACE(testing::Message() << "synced value " << k << "/8");
        e.SyncSlice = float(Wide(float(k * 0.125)) * 7.9);
        int32_t atPeak = 0;
        for (int32_t i = 0; i < 22051; ++i) {
            const float y = rig.Frame(NextRecordPos(rig));
            const int32_t played = (k - 1) * 11025 + e.SliPos;
            ASSERT_EQ(e.SliReadPos, played);
            // Where the envelope is 1 the output is the recorded sample itself (past the bar the
            // buffer was never written).
            if (e.SliEnvelope[size_t(e.SliPos)] == 1.0f && played <= 88200) {
                ASSERT_EQ(y, PosSample(played));
                ++atPeak;
            }
        }
        EXPECT_GT(atPeak, 0);
    }
}

TEST(RealtimeSlicer, SliceAndRecordCycleLengthsAt120BpmAnd44k) {
    SlicerRig rig;
    Tune(rig);
    TSlicer& e = *rig.E;
    std::vector<int32_t> sliceStarts, barStarts;
    for (int32_t i = 0; i < 3 * 88201; ++i) {
        rig.Frame(0.5f);
        if (e.SliPos == 0) sliceStarts.push_back(i);
        if (e.SliRecPos == 0) barStarts.push_back(i);
    }
    EXPECT_EQ(e.SliEnvelopeLength, 22051);
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
    SlicerRig rig;
    Tune(rig);
    rig.Frame(0.0f);
    const TSlicer& e = *rig.E;
    const int32_t n = e.SliEnvelopeLength - 1;
    ASSERT_EQ(n, 22050);
    const auto& env = e.SliEnvelope;
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
        SlicerRig rig(44100, float(n + 0.5));
        Tune(rig);
        TSlicer& e = *rig.E;
        e.SliVar = 8;
        for (int32_t i = 0; i < 2000; ++i) {
            const float y = rig.Frame(float(i % 7) * 0.1f);
            ASSERT_TRUE(std::isfinite(y));
            ASSERT_LE(std::fabs(y), 0.6f);
        }
        ASSERT_EQ(e.SliEnvelopeLength, n + 1);
        for (int32_t i = 0; i <= n; ++i) {
            const float v = e.SliEnvelope[size_t(i)];
            EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << i;
            if (n >= 2) {
                EXPECT_EQ(v, e.SliEnvelope[size_t(n - i)]) << i;
            }
        }
        EXPECT_EQ(e.SliEnvelope[size_t(n)], 0.0f);
        if (n >= 2) {
            EXPECT_EQ(e.SliEnvelope[0], 0.0f);
            EXPECT_EQ(e.SliEnvelope[size_t(n / 2)], 1.0f);
        }
    }
}

TEST(RealtimeSlicer, CycleStartRestartsThePattern) {
    SlicerRig rig;
    Tune(rig);
    TSlicer& e = *rig.E;
    e.SliQuant = 8;
    rig.Run(4000);
    ASSERT_GT(e.SliRecPos, 3000);
    ASSERT_GT(e.SliPos, 3000);
    ASSERT_GT(e.SliChangeCount, 1000);
    // The cycle check holds the restart for the nine frames until its next look.
    rig.F.CycleRestart = 0.0f;
    for (int32_t i = 0; i < 9; ++i) {
        rig.Frame(0.0f);
        ASSERT_EQ(e.SliRecPos, 0) << i;
        ASSERT_EQ(e.SliPos, 0) << i;
        ASSERT_EQ(e.SliChangeCount, 0) << i;
    }
    rig.F.CycleRestart = 1.0f;
    rig.Run(31);
    EXPECT_EQ(e.SliRecPos, 31);
    EXPECT_EQ(e.SliPos, 31);
    EXPECT_EQ(e.SliChangeCount, 31);
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
    SlicerRig rig;
    Tune(rig);
    TSlicer& e = *rig.E;
    rig.Run(100, 0.5f);
    ASSERT_EQ(e.SliEnvelopeLength, 22051);
    rig.F.SetRate(44100, 44100.0f);   // 60 BPM: twice the slice, envelope not rebuilt
    int32_t past = 0;
    for (int32_t i = 0; i < 2 * 44101; ++i) {
        const float y = rig.Frame(0.5f);
        if (e.SliPos >= e.SliEnvelopeLength) {
            ++past;
            ASSERT_EQ(y, 0.0f);
        }
    }
    EXPECT_GT(past, 20000);
}

TEST(RealtimeSlicer, RecordsWhileAnotherEffectIsSelected) {
    SlicerRig rig;
    Tune(rig);
    TSlicer& e = *rig.E;
    const int32_t frames = 30000, first = e.SliRecPos + 1;
    std::vector<float> l(static_cast<size_t>(frames)), r(static_cast<size_t>(frames));
    for (int32_t i = 0; i < frames; ++i) {
        l[size_t(i)] = float(i % 100) * 0.01f;
        r[size_t(i)] = -l[size_t(i)];
    }
    rig.Deselected(l, r);
    ASSERT_EQ(e.SliRecPos, first + frames - 1);
    for (int32_t i = 0; i < frames; ++i) {
        ASSERT_EQ(e.SliceBufferL[size_t(first + i)], l[size_t(i)]) << i;
        ASSERT_EQ(e.SliceBufferR[size_t(first + i)], r[size_t(i)]) << i;
    }
    EXPECT_EQ(e.SliOutL, 0.0f);   // nothing played
    // Selected now, it plays from what was recorded meanwhile.
    float peak = 0.0f;
    for (int32_t i = 0; i < 100; ++i) peak = std::max(peak, std::fabs(rig.Frame(0.0f)));
    EXPECT_GT(peak, 0.1f);
}

TEST(RealtimeSlicer, DeselectedSpansCountRecordAndChooseAsSelectedFramesDo) {
    // Selected frames and deselected spans share the counting, recording and random choices; the
    // spans take frames between two limits as one run. Short limits, cycle starts inside spans and
    // spans of every length up to the engine's.
    EffectRig<TSlicer> selected(44100, 3001.0f), deselected(44100, 3001.0f);
    for (auto* rig : {&selected, &deselected}) {
        rig->E->SliSpeed = 3;
        rig->E->SliQuant = 5;
        rig->E->SliVar = 8;
    }
    TRandom rng(5);
    std::vector<float> l(static_cast<size_t>(kSpanLength)), r(static_cast<size_t>(kSpanLength));
    std::vector<uint8_t> cycle(static_cast<size_t>(kSpanLength));
    for (int32_t span = 0; span < 200; ++span) {
        const int32_t n = 1 + int32_t(rng.Uniform01() * float(kSpanLength - 1));
        for (int32_t j = 0; j < n; ++j) {
            l[size_t(j)] = rng.Uniform01() - 0.5f;
            r[size_t(j)] = rng.Uniform01() - 0.5f;
            cycle[size_t(j)] = span % 7 == 3 && j >= n / 2 && j < n / 2 + 9 ? 1 : 0;
        }
        for (int32_t j = 0; j < n; ++j) {
            selected.F.CycleRestart = cycle[size_t(j)] ? 0.0f : 1.0f;
            selected.Frame(l[size_t(j)], r[size_t(j)]);
        }
        TFxSpan s;
        s.InL = l.data();
        s.InR = r.data();
        s.CycleStart = cycle.data();
        s.Count = n;
        s.First = deselected.F;
        deselected.E->Deselected(s);
        const TSlicer &a = *selected.E, &b = *deselected.E;
        ASSERT_EQ(a.SliRecPos, b.SliRecPos) << span;
        ASSERT_EQ(a.SliPos, b.SliPos) << span;
        ASSERT_EQ(a.SliChangeCount, b.SliChangeCount) << span;
        ASSERT_EQ(a.SliChoice, b.SliChoice) << span;
        ASSERT_EQ(a.SliReverse, b.SliReverse) << span;
    }
    const TSlicer &a = *selected.E, &b = *deselected.E;
    EXPECT_TRUE(std::equal(a.SliceBufferL.begin(), a.SliceBufferL.end(), b.SliceBufferL.begin()));
    EXPECT_TRUE(std::equal(a.SliceBufferR.begin(), a.SliceBufferR.end(), b.SliceBufferR.begin()));
}
