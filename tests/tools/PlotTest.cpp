#include "Plot.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qbfx::render {
namespace {

bool Same(const uint8_t* a, const uint8_t* b) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; }

class PlotFixture : public ::testing::Test {
protected:
    void SetUp() override {
        // left input silent, right input a full-scale square; output left a half-scale square
        In.SampleRate = Out.SampleRate = 1000;
        In.Left.assign(1000, 0.0f);
        Out.Right.assign(1000, 0.0f);
        for (int i = 0; i < 1000; ++i) {
            In.Right.push_back(i % 2 ? 1.0f : -1.0f);
            Out.Left.push_back(i % 2 ? 0.5f : -0.5f);
        }
        Layout.Width = 200;
    }
    StereoAudio In, Out;
    PlotLayout Layout;
};

TEST_F(PlotFixture, EnvelopesFillTheirLanesToTheirLevel) {
    const RgbImage img = DrawPlot(In, Out, {}, 0, Layout);
    ASSERT_EQ(img.Width, 200);
    const int h = Layout.LaneHeight, quarter = h / 4;
    const auto background = img.At(10, Layout.LaneTop[0] + 2);
    // silent lane: only the centre line; full-scale lane: drawn to its top
    EXPECT_TRUE(Same(img.At(10, Layout.LaneTop[0] + quarter), background));
    EXPECT_FALSE(Same(img.At(10, Layout.LaneTop[1] + 1), background));
    // half scale reaches the quarter line but not the top
    EXPECT_FALSE(Same(img.At(10, Layout.LaneTop[2] + quarter + 2), background));
    EXPECT_TRUE(Same(img.At(10, Layout.LaneTop[2] + quarter - 3), background));
    EXPECT_TRUE(Same(img.At(10, Layout.LaneTop[3] + quarter), background));
}

TEST_F(PlotFixture, TriggersMarkTheirColumnAndHeldNotesShowInTheStrip) {
    const std::vector<TimedEvent> events = {{500, {0x90, 40, 100}}, {750, {0x80, 40, 0}},
                                            {250, {0xB0, 20, 1}}};
    const RgbImage img = DrawPlot(In, Out, events, 0, Layout);
    const int y = Layout.LaneTop[0] + 1;   // silent lane, away from the centre line, on a dash
    const auto plain = img.At(20, y);
    EXPECT_FALSE(Same(img.At(100, y), plain)) << "note-on marker at column 100";
    EXPECT_TRUE(Same(img.At(99, y), plain));
    EXPECT_TRUE(Same(img.At(101, y), plain));
    EXPECT_FALSE(Same(img.At(50, y), plain)) << "controller marker at column 50";
    const int noteRow = Layout.NotesTop + 4;
    const auto stripPlain = img.At(20, noteRow);
    for (int x : {100, 120, 149}) EXPECT_FALSE(Same(img.At(x, noteRow), stripPlain)) << x;
    EXPECT_TRUE(Same(img.At(151, noteRow), stripPlain));   // released at column 150
}

// Long audio: the runs merge as it grows, yet a single-sample spike still shows in its column, and
// frames outside the kept range are not gathered.
TEST(Envelope, KeepsEveryPeakWhileItsRunsGrowAndOnlyItsRange) {
    constexpr int64_t kFrames = 3'000'000, kSpike = 2'345'678;
    TEnvelope whole, part(1'000'000, 2'000'000);
    std::vector<float> left(4096), right(4096);
    for (int64_t at = 0; at < kFrames; at += 4096) {
        const auto n = size_t(std::min<int64_t>(4096, kFrames - at));
        for (size_t i = 0; i < n; ++i) {
            left[i] = at + int64_t(i) == kSpike ? 0.9f : 0.1f;
            right[i] = at + int64_t(i) < 1'500'000 ? -0.2f : -0.4f;
        }
        whole.Add(left.data(), right.data(), n, at);
        part.Add(left.data(), right.data(), n, at);
    }
    EXPECT_EQ(whole.End(), kFrames);
    float lo = 0, hi = 0;
    const int64_t column = kFrames / 1600;   // a column of a 1600-pixel plot
    const int64_t spikeColumn = kSpike / column * column;
    ASSERT_TRUE(whole.Span(0, spikeColumn, spikeColumn + column, lo, hi));
    EXPECT_EQ(hi, 0.9f);
    ASSERT_TRUE(whole.Span(0, spikeColumn - 2 * column, spikeColumn - column, lo, hi));
    EXPECT_EQ(hi, 0.1f);
    ASSERT_TRUE(whole.Span(1, 0, column, lo, hi));
    EXPECT_EQ(lo, -0.2f);
    // the range: nothing before its start, the step in the right channel inside it
    EXPECT_FALSE(part.Span(1, 0, 1'000'000, lo, hi));
    EXPECT_EQ(part.End(), 2'000'000);
    ASSERT_TRUE(part.Span(1, 1'000'000, 2'000'000, lo, hi));
    EXPECT_EQ(lo, -0.4f);
    EXPECT_EQ(hi, -0.2f);
}

TEST_F(PlotFixture, ARangeMapsItsFramesAcrossTheWholeWidth) {
    // frames 500..750 only: the note-on at 600 lands at column (600 - 500) * 200 / 250 = 80
    TEnvelope in(500, 750), out(500, 750);
    in.Add(In.Left.data(), In.Right.data(), 1000, 0);
    out.Add(Out.Left.data(), Out.Right.data(), 1000, 0);
    PlotInfo info;
    info.SampleRate = 1000;
    info.First = 500;
    info.End = 750;
    const std::vector<TimedEvent> events = {{600, {0x90, 40, 100}}, {100, {0x90, 41, 100}}};
    const RgbImage img = DrawPlot(in, out, events, info, Layout);
    const int y = Layout.LaneTop[0] + 1;
    EXPECT_FALSE(Same(img.At(80, y), img.At(20, y))) << "marker of the note inside the range";
    for (int x = 0; x < 200; ++x) {
        if (x == 80) continue;
        EXPECT_TRUE(Same(img.At(x, y), img.At(20, y))) << "a marker outside the range at " << x;
    }
}

}  // namespace
}  // namespace qbfx::render
