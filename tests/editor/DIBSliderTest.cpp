#include "editor/widgets/DIBSlider.h"

#include <gtest/gtest.h>

#include "TestImages.h"

namespace {
struct TDIBSliderTest : ::testing::Test {
    TDIBImageList List = MakeSkinList();
    TDIBContainer Root;
    TDIBSlider* S = nullptr;
    int Changes = 0;
    void SetUp() override {
        Root.SetBounds(0, 0, 200, 200);
        S = &Root.Add<TDIBSlider>(10, 20, 50, 99);
        S->SetImages(&List, 0, 1);
        S->OnChange = [this](TControl&) { ++Changes; };
    }
};
}  // namespace

TEST_F(TDIBSliderTest, AutoSizeTakesImageWidthAndKeepsLength) {
    EXPECT_EQ(S->Width(), 35);
    EXPECT_EQ(S->Height(), 99);
    EXPECT_EQ(S->TrackLength(), 70);
}

TEST_F(TDIBSliderTest, PointerOffsetFollowsPositionFromTopToBottom) {
    const struct { int min, max, pos, offset; } cases[] = {
        {0, 100, 0, 0}, {0, 100, 100, 70}, {0, 100, 50, 35}, {0, 100, 33, 23},
        {0, 100, 99, 69}, {-50, 50, 0, 35}, {10, 10, 10, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.min << ".." << c.max << " at " << c.pos);
        S->SetMin(-1000);
        S->SetMax(c.max);
        S->SetMin(c.min);
        S->SetPosition(c.pos);
        EXPECT_EQ(S->PointerOffset(), c.offset);
        EXPECT_EQ(S->PointerRect().Top, c.offset);
    }
}

TEST_F(TDIBSliderTest, SettingPositionClampsAndRaisesChangeOnlyWhenDifferent) {
    S->SetPosition(120);
    EXPECT_EQ(S->Position(), 100);
    EXPECT_EQ(Changes, 1);
    S->SetPosition(100);
    EXPECT_EQ(Changes, 1);
    S->SetPosition(150);   // clamps to the value already reported
    EXPECT_EQ(Changes, 1);
    S->SetPosition(-5);
    EXPECT_EQ(S->Position(), 0);
    EXPECT_EQ(Changes, 2);
    S->SetPosition(0);   // the value at creation was 0 too, but it was reported since
    EXPECT_EQ(Changes, 2);
}

TEST_F(TDIBSliderTest, ProgrammaticSetRaisesChangeLikeADrag) {
    int dragChanges = 0, setChanges = 0;
    S->OnChange = [&](TControl&) { ++dragChanges; };
    S->MouseDown(MouseButton::Left, 5, 10);   // on the pointer at 0
    S->MouseMove(5, 45);
    S->MouseUp(MouseButton::Left, 5, 45);
    const int dragged = S->Position();
    S->SetPosition(0);
    S->OnChange = [&](TControl&) { ++setChanges; };
    S->SetPosition(dragged);
    EXPECT_EQ(dragChanges, 2);   // the drag and the reset to 0
    EXPECT_EQ(setChanges, 1);
}

TEST_F(TDIBSliderTest, DragFollowsMouseMinusGrabPointAndClampsOutsideBounds) {
    S->SetPosition(0);
    S->MouseDown(MouseButton::Left, 5, 10);   // grab 10 px into the pointer
    ASSERT_TRUE(S->Dragging());
    const struct { int y, pos; } moves[] = {{45, 50}, {10, 0}, {80, 100}, {500, 100}, {-100, 0}, {24, 20}};
    for (const auto& m : moves) {
        SCOPED_TRACE(m.y);
        S->MouseMove(5, m.y);
        EXPECT_EQ(S->Position(), m.pos);
    }
    S->MouseUp(MouseButton::Left, 5, 24);
    EXPECT_FALSE(S->Dragging());
    S->MouseMove(5, 60);
    EXPECT_EQ(S->Position(), 20);
}

TEST_F(TDIBSliderTest, TrackPressStepsTowardPressByLargeChangeOrDistance) {
    const struct { int pos, large, y, expect; } cases[] = {
        {20, 5, 45, 25},     // below the pointer (14..42), centre 28
        {20, 100, 45, 44},   // the distance, 17 px = 24 units, is smaller
        {20, 100, 5, 0},     // above: 23 px = 32 units, clamped at Min
        {50, 1, 10, 49},
        {50, 1, 98, 51},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "pos " << c.pos << " large " << c.large << " y " << c.y);
        S->SetPosition(c.pos);
        S->LargeChange = c.large;
        S->MouseDown(MouseButton::Left, 5, c.y);
        EXPECT_FALSE(S->Dragging());
        EXPECT_EQ(S->Position(), c.expect);
        S->MouseUp(MouseButton::Left, 5, c.y);
    }
}

TEST_F(TDIBSliderTest, AnyButtonPressIsReportedFirstAndReacts) {
    std::vector<std::string> log;
    S->OnMouseDown = [&](TControl&, MouseButton, int, int) { log.push_back("down " + std::to_string(S->Position())); };
    S->OnChange = [&](TControl&) { log.push_back("change"); };
    S->SetPosition(0);
    log.clear();
    S->MouseDown(MouseButton::Right, 5, 90);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "down 0");
    EXPECT_EQ(log[1], "change");
}

TEST_F(TDIBSliderTest, DragThroughContainerContinuesOutsideBounds) {
    std::vector<std::pair<int, int>> moves;
    S->OnMouseMove = [&](TControl&, int x, int y) { moves.emplace_back(x, y); };
    S->SetPosition(0);
    Root.DispatchMouse({MouseEvent::Kind::Down, 15, 25, MouseButton::Left});   // on the pointer
    EXPECT_EQ(Root.Capture(), S);
    Root.DispatchMouse({MouseEvent::Kind::Move, 150, 400, MouseButton::Left});   // outside the root
    EXPECT_EQ(S->Position(), 100);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0], std::make_pair(140, 380));   // slider coordinates
    Root.DispatchMouse({MouseEvent::Kind::Up, 150, 400, MouseButton::Left});
    EXPECT_EQ(Root.Capture(), nullptr);
    Root.DispatchMouse({MouseEvent::Kind::Move, 15, 25, MouseButton::None});
    EXPECT_EQ(S->Position(), 100);
    EXPECT_EQ(moves.size(), 2u);   // hover moves still reach the handler
}

TEST_F(TDIBSliderTest, KeysStepBySmallChangeAndPageSize) {
    S->SmallChange = 10;
    S->PageSize = 25;
    S->SetPosition(50);
    const struct { Key key; int pos; } keys[] = {
        {Key::Up, 40}, {Key::Down, 50}, {Key::PageUp, 25}, {Key::PageDown, 50},
        {Key::PageDown, 75}, {Key::PageDown, 100}, {Key::Down, 100},
    };
    for (const auto& k : keys) {
        SCOPED_TRACE(int(k.key));
        S->KeyDown(k.key);
        EXPECT_EQ(S->Position(), k.pos);
    }
}

TEST_F(TDIBSliderTest, PaintsStretchedBackgroundAndPointerAtOffset) {
    S->SetPosition(100);
    TBitmap out(35, 99, 0);
    S->PaintTo(out.View());
    EXPECT_EQ(out.At(17, 98), Argb(255, 200, 0, 0));   // pointer at 70..98
    EXPECT_EQ(out.At(17, 70), Argb(255, 200, 0, 0));
    EXPECT_EQ(out.At(17, 69), Argb(255, 10, 10, 10));   // background stretched to the top
    EXPECT_EQ(out.At(17, 0), Argb(255, 10, 10, 10));
}
