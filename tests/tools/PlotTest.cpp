#include "Plot.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qbfx::render
