#include "dsp/FxFrame.h"

#include <gtest/gtest.h>

#include <vector>

TEST(FxFrame, RecordRingWrapsAsOneWritePerFrameWould) {
    struct Case { int32_t Length, Pos, Frames; };
    const Case cases[] = {{7, 5, 20}, {7, 0, 7}, {1, 0, 5}, {100, 99, 1}, {100, 30, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Length << " " << c.Pos << " " << c.Frames);
        std::vector<float> line(size_t(c.Length) + 1, -1.0f), expected = line;
        for (int32_t j = 0, pos = c.Pos; j < c.Frames; ++j, pos = pos + 1 < c.Length ? pos + 1 : 0)
            expected[size_t(pos)] = float(j);
        RecordRing(line.data(), c.Pos, c.Length, c.Frames, [](int32_t j) { return float(j); });
        EXPECT_EQ(line, expected);   // the entry past the ring is never written
    }
}

TEST(FxFrame, RingsFollowTheRateWithinTheLineCapacities) {
    TFxFrame f;
    f.SetRate(48000, 24000.0f);
    EXPECT_EQ(f.RingLong, 384000);
    EXPECT_EQ(f.RingSecond, 48000);
    EXPECT_EQ(f.RingFlanger, 480);
    EXPECT_EQ(f.RingTenth, 4800);
    f.SetRate(768000, 1.0f);   // above 192 kHz: cut to the capacities
    EXPECT_EQ(f.RingLong, kLongLineLength);
    EXPECT_EQ(f.RingSecond, kSecondLineLength);
    EXPECT_EQ(f.RingFlanger, kFlangerLineLength);
    EXPECT_EQ(f.RingTenth, kCombLineLength);
    f.SetRate(0, 0.0f);   // never below one sample
    EXPECT_EQ(f.RingLong, 1);
    EXPECT_EQ(f.RingTenth, 1);
    for (int32_t k = 0; k < 3; ++k) f.Advance();
    EXPECT_EQ(f.PosLong, 0);
    EXPECT_EQ(f.PosTenth, 0);
}

TEST(FxFrame, RingsSteppedOnlyWhenReadCatchUpToWhereEveryFrameWouldPutThem) {
    // A rate change shrinks the rings under positions already further on; then spans of frames in
    // which only the flanger's ring is stepped, the others caught up at the end.
    TFxFrame stepped, caught;
    for (TFxFrame* f : {&stepped, &caught}) {
        f->SetRate(96000, 48000.0f);
        for (int32_t k = 0; k < 5000; ++k) f->Advance();
        f->SetRate(8000, 4000.0f);
    }
    for (int32_t frames : {1, 2, 81, 512, 163, 80, 512}) {
        SCOPED_TRACE(frames);
        for (int32_t j = 0; j < frames; ++j) stepped.Advance();
        caught.Advance();
        for (int32_t j = 1; j < frames; ++j) caught.AdvanceRings<TFxFrame::kRingFlanger>();
        caught.CatchUp<TFxFrame::kRingFlanger>(frames - 1);
        EXPECT_EQ(caught.PosLong, stepped.PosLong);
        EXPECT_EQ(caught.PosFlanger, stepped.PosFlanger);
        EXPECT_EQ(caught.PosSecond, stepped.PosSecond);
        EXPECT_EQ(caught.PosTenth, stepped.PosTenth);
    }
}
