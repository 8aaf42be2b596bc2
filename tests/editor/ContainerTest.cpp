#include "editor/widgets/Control.h"

#include <gtest/gtest.h>

#include "editor/widgets/Graphics.h"
#include "editor/widgets/StdControls.h"

namespace {
uint32_t PixelAt(TDIBContainer& root, int x, int y) {
    TBitmap out(root.Width(), root.Height());
    root.PaintArea(out.View(), {0, 0, root.Width(), root.Height()});
    return out.At(x, y);
}
constexpr uint32_t kRed = Argb(255, 255, 0, 0), kBlue = Argb(255, 0, 0, 255);
}  // namespace

TEST(TDIBContainer, AnchorsAndTopAlignmentFollowTheClientSize) {
    TDIBContainer form;
    form.SetBounds(0, 0, 632, 395);
    auto& info = form.Add<TDIBContainer>(0, 372, 631, 25);
    info.Anchors = akLeft | akBottom;
    auto& frt = form.Add<TDIBContainer>(0, 0, 600, 372);
    frt.Align = TAlign::Top;
    auto& stretched = info.Add<TImage>(3, 1, 620, 22);
    stretched.Anchors = akLeft | akRight | akBottom;
    form.Realign();
    EXPECT_EQ(frt.Width(), 632);
    const struct { int height, infoTop; } steps[] = {{130, 107}, {394, 371}, {395, 372}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.height);
        form.SetSize(632, s.height);
        EXPECT_EQ(info.Top(), s.infoTop);
        EXPECT_EQ(info.Left(), 0);
        EXPECT_EQ(frt.Top(), 0);
        EXPECT_EQ(frt.Height(), 372);
        EXPECT_EQ(stretched.Bounds(), (TRect{3, 1, 620, 22}));   // its container keeps its size
    }
}

TEST(TDIBContainer, ComposesChildrenInOrderAndHonoursHideAndRaise) {
    TDIBContainer form;
    form.SetBounds(0, 0, 100, 100);
    form.Color = Argb(255, 128, 128, 128);
    auto& a = form.Add<TDIBContainer>(0, 0, 60, 60);
    auto& b = form.Add<TDIBContainer>(20, 20, 60, 60);
    a.ParentColor = b.ParentColor = false;
    a.Color = kRed;
    b.Color = kBlue;
    EXPECT_EQ(PixelAt(form, 30, 30), kBlue);   // later sibling above
    a.BringToFront();
    EXPECT_EQ(PixelAt(form, 30, 30), kRed);
    a.Hide();
    EXPECT_EQ(PixelAt(form, 30, 30), kBlue);
    EXPECT_EQ(PixelAt(form, 5, 5), form.Color);
    b.Hide();
    EXPECT_EQ(PixelAt(form, 30, 30), form.Color);
}

TEST(TDIBContainer, ParentColourShowsThroughAndChangesMarkTheAreaDirty) {
    TDIBContainer form;
    form.SetBounds(0, 0, 100, 100);
    auto& panel = form.Add<TDIBContainer>(10, 10, 50, 50);
    auto& pic = panel.Add<TImage>(0, 0, 50, 50);
    auto half = std::make_shared<TBitmap>(50, 50, 0);
    for (int x = 0; x < 25; ++x)
        for (int y = 0; y < 50; ++y) half->At(x, y) = kBlue;
    pic.SetPicture(half);
    form.TakeDirty();
    form.SetColor(kRed);
    EXPECT_EQ(form.TakeDirty(), (TRect{0, 0, 100, 100}));
    EXPECT_EQ(PixelAt(form, 50, 30), kRed);    // transparent half of the picture
    EXPECT_EQ(PixelAt(form, 20, 30), kBlue);
    pic.Hide();
    EXPECT_EQ(form.TakeDirty(), (TRect{10, 10, 50, 50}));
}

TEST(TDIBContainer, HidingTheCapturingControlDropsTheCapture) {
    TDIBContainer form;
    form.SetBounds(0, 0, 100, 100);
    auto& panel = form.Add<TDIBContainer>(0, 0, 100, 100);
    auto& logo = panel.Add<TImage>(10, 10, 20, 20);
    int clicks = 0;
    logo.OnClick = [&](TControl&) {
        ++clicks;
        panel.Hide();   // as the logo swaps the panel away
    };
    form.DispatchMouse({MouseEvent::Kind::Down, 15, 15, MouseButton::Left});
    EXPECT_EQ(form.Capture(), &logo);
    form.DispatchMouse({MouseEvent::Kind::Up, 15, 15, MouseButton::Left});
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(form.ControlAt(15, 15), &form);
    form.DispatchMouse({MouseEvent::Kind::Down, 15, 15, MouseButton::Left});
    form.DispatchMouse({MouseEvent::Kind::Up, 15, 15, MouseButton::Left});
    EXPECT_EQ(clicks, 1);
}

TEST(TDIBContainer, DoubleClickRaisesDoubleClickNotASecondClick) {
    TDIBContainer form;
    form.SetBounds(0, 0, 100, 100);
    auto& img = form.Add<TImage>(0, 0, 100, 100);
    int clicks = 0, doubles = 0;
    img.OnClick = [&](TControl&) { ++clicks; };
    img.OnDblClick = [&](TControl&) { ++doubles; };
    form.DispatchMouse({MouseEvent::Kind::Down, 5, 5, MouseButton::Left});
    form.DispatchMouse({MouseEvent::Kind::Up, 5, 5, MouseButton::Left});
    form.DispatchMouse({MouseEvent::Kind::DoubleClick, 5, 5, MouseButton::Left});
    form.DispatchMouse({MouseEvent::Kind::Up, 5, 5, MouseButton::Left});
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubles, 1);
}

TEST(TPaintBox, PixelsStayUntilRepaintShowsWhatIsBelowAgain) {
    TDIBContainer form;
    form.SetBounds(0, 0, 50, 50);
    form.Color = kBlue;
    auto& box = form.Add<TPaintBox>(10, 10, 20, 20);
    box.SetPixel(5, 6, kRed);
    box.SetPixel(25, 6, kRed);   // outside: ignored
    EXPECT_EQ(PixelAt(form, 15, 16), kRed);
    EXPECT_EQ(box.Pixel(25, 6), 0u);
    box.Repaint();
    EXPECT_EQ(PixelAt(form, 15, 16), kBlue);
}
