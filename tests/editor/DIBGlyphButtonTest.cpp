#include "editor/widgets/DIBGlyphButton.h"

#include <gtest/gtest.h>

#include "TestImages.h"

namespace {
enum class Scene { Normal, Hot, Pressed, PressedOutside, Down, DownHot, Disabled, DisabledDown };

uint32_t PaintedColour(TDIBGlyphButton& b) {
    TBitmap out(35, 29, 0);
    b.PaintTo(out.View());
    return out.At(17, 14);
}

void Apply(TDIBGlyphButton& b, Scene s) {
    switch (s) {
    case Scene::Normal: break;
    case Scene::Hot: b.MouseEnter(); break;
    case Scene::Pressed: b.MouseEnter(); b.MouseDown(MouseButton::Left, 5, 5); break;
    case Scene::PressedOutside:
        b.MouseDown(MouseButton::Left, 5, 5);
        b.MouseMove(100, 5);
        break;
    case Scene::Down: b.SetDown(true); break;
    case Scene::DownHot: b.SetDown(true); b.MouseEnter(); break;
    case Scene::Disabled: b.SetEnabled(false); break;
    case Scene::DisabledDown: b.SetDown(true); b.SetEnabled(false); break;
    }
}
}  // namespace

TEST(TDIBGlyphButton, FrameFollowsVisualStateForTwoAndFiveFrames) {
    const struct { Scene setup; int frame2, frame5; } cases[] = {
        {Scene::Normal, 0, 0},   {Scene::Hot, 0, 3},    {Scene::Pressed, 1, 1},
        {Scene::PressedOutside, 0, 0},                  {Scene::Down, 1, 4},
        {Scene::DownHot, 1, 4},  {Scene::Disabled, 0, 2}, {Scene::DisabledDown, 0, 2},
    };
    for (int frames : {2, 5}) {
        TDIBImageList list = MakeSkinList(frames);
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << frames << " frames, setup " << int(c.setup));
            TDIBGlyphButton b;
            b.SetNumGlyphs(frames);
            b.SetGlyph(&list, 2);
            EXPECT_EQ(b.Width(), 35);
            EXPECT_EQ(b.Height(), 29);
            Apply(b, c.setup);
            const int want = frames == 2 ? c.frame2 : c.frame5;
            EXPECT_EQ(b.Frame(), want);
            EXPECT_EQ(PaintedColour(b), FrameColour(want));
        }
    }
}

TEST(TDIBGlyphButton, AcceptsOnlyTwoToFiveFrames) {
    TDIBGlyphButton b;
    for (int n : {1, 6, 0, -3}) {
        b.SetNumGlyphs(n);
        EXPECT_EQ(b.NumGlyphs(), 2) << n;
    }
    b.SetNumGlyphs(5);
    EXPECT_EQ(b.NumGlyphs(), 5);
}

TEST(TDIBGlyphButton, EveryButtonIsReportedBeforeTheStateChanges) {
    TDIBImageList list = MakeSkinList();
    TDIBGlyphButton b;
    b.SetGlyph(&list, 2);
    std::vector<std::string> log;
    b.OnMouseDown = [&](TControl&, MouseButton m, int, int) {
        log.push_back("down " + std::to_string(int(m)) + " frame " + std::to_string(b.Frame()));
    };
    b.OnMouseUp = [&](TControl&, MouseButton m, int, int) {
        log.push_back("up " + std::to_string(int(m)) + " frame " + std::to_string(b.Frame()));
    };
    for (MouseButton m : {MouseButton::Left, MouseButton::Right, MouseButton::Middle}) {
        b.MouseDown(m, 3, 3);
        b.MouseUp(m, 3, 3);
    }
    const std::vector<std::string> want = {"down 1 frame 0", "up 1 frame 1", "down 2 frame 0",
                                           "up 2 frame 0",   "down 3 frame 0", "up 3 frame 0"};
    EXPECT_EQ(log, want);
}

TEST(TDIBGlyphButton, ToggleDownInvertsOnClickOnly) {
    TDIBGlyphButton b;
    b.SetSize(35, 29);
    b.MouseDown(MouseButton::Left, 3, 3);
    b.MouseUp(MouseButton::Left, 3, 3);
    EXPECT_FALSE(b.Down());   // ToggleDown off: a click leaves Down alone
    b.ToggleDown = true;
    b.MouseDown(MouseButton::Left, 3, 3);
    b.MouseUp(MouseButton::Left, 3, 3);
    EXPECT_TRUE(b.Down());
    b.MouseDown(MouseButton::Left, 3, 3);
    b.MouseUp(MouseButton::Left, 300, 3);   // released outside: no click
    EXPECT_TRUE(b.Down());
    b.MouseDown(MouseButton::Right, 3, 3);
    b.MouseUp(MouseButton::Right, 3, 3);
    EXPECT_TRUE(b.Down());
    b.MouseDown(MouseButton::Left, 3, 3);
    b.MouseUp(MouseButton::Left, 3, 3);
    EXPECT_FALSE(b.Down());
}

TEST(TDIBGlyphButton, GoingDownReleasesTheSameGroupOnly) {
    TDIBContainer root;
    root.SetBounds(0, 0, 300, 100);
    auto& a = root.Add<TDIBGlyphButton>(0, 0, 35, 29);
    auto& b = root.Add<TDIBGlyphButton>(40, 0, 35, 29);
    auto& other = root.Add<TDIBGlyphButton>(80, 0, 35, 29);
    auto& none1 = root.Add<TDIBGlyphButton>(120, 0, 35, 29);
    auto& none2 = root.Add<TDIBGlyphButton>(160, 0, 35, 29);
    a.GroupIndex = b.GroupIndex = 1;
    other.GroupIndex = 2;
    a.SetDown(true);
    other.SetDown(true);
    none1.SetDown(true);
    b.SetDown(true);
    none2.SetDown(true);
    EXPECT_FALSE(a.Down());
    EXPECT_TRUE(b.Down());
    EXPECT_TRUE(other.Down());
    EXPECT_TRUE(none1.Down());   // group 0 releases nothing
    EXPECT_TRUE(none2.Down());
}

TEST(TDIBGlyphButton, ReleaseOutsideStillReachesTheButtonThroughTheContainer) {
    TDIBImageList list = MakeSkinList();
    TDIBContainer root;
    root.SetBounds(0, 0, 300, 100);
    auto& b = root.Add<TDIBGlyphButton>(10, 10, 35, 29);
    b.SetGlyph(&list, 2);
    int ups = 0;
    b.OnMouseUp = [&](TControl&, MouseButton, int, int) { ++ups; };
    root.DispatchMouse({MouseEvent::Kind::Move, 20, 20, MouseButton::None});
    EXPECT_EQ(b.VisualState(), TDIBGlyphButton::Hot);
    root.DispatchMouse({MouseEvent::Kind::Down, 20, 20, MouseButton::Left});
    EXPECT_EQ(b.VisualState(), TDIBGlyphButton::Pressed);
    root.DispatchMouse({MouseEvent::Kind::Move, 200, 90, MouseButton::Left});
    EXPECT_EQ(b.VisualState(), TDIBGlyphButton::Normal);
    root.DispatchMouse({MouseEvent::Kind::Up, 200, 90, MouseButton::Left});
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(b.VisualState(), TDIBGlyphButton::Normal);
}
