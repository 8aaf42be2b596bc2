#include "editor/widgets/StdControls.h"

#include <gtest/gtest.h>

#include "editor/resources/Resources.h"

namespace {

TFontSet& Fonts() {
    static TFontSet f(Resource("DejaVuSans.ttf"), Resource("DejaVuSans-Bold.ttf"));
    return f;
}

constexpr uint32_t kGround = Argb(255, 255, 255, 255), kInk = Argb(255, 0, 0, 0);
constexpr uint32_t kLeftCap = Argb(255, 200, 0, 0), kMiddle = Argb(255, 0, 200, 0),
                   kRightCap = Argb(255, 0, 0, 200);

// A picture holding a 30 x 20 field at 5, 2: a 4-pixel cap at each end, each part its own colour.
std::shared_ptr<const TBitmap> FieldPicture() {
    auto b = std::make_shared<TBitmap>(40, 24, 0u);
    for (int y = 2; y < 22; ++y)
        for (int x = 5; x < 35; ++x) b->At(x, y) = x < 9 ? kLeftCap : x >= 31 ? kRightCap : kMiddle;
    return b;
}

// A text of 40 x 13 at `left`, 4 in a 300 x 30 bar, its field 4 pixels wider on the left and 3
// on the right, 20 high from the bar's top + 1.
struct Bar {
    TDIBContainer Root;
    TGrowingText* Text = nullptr;
    explicit Bar(int left, TGrowingText::TSide side, int limit) {
        Root.SetBounds(0, 0, 300, 30);
        Root.Color = kGround;
        Text = &Root.Add<TGrowingText>(left, 4, 40, 13, &Fonts());
        Text->FontHeight = 9;
        Text->Bold = true;
        Text->FontColor = kInk;
        Text->SetField(FieldPicture(), {5, 2, 30, 20}, {left - 4, 1, 47, 20}, 4, side, limit);
    }
    TBitmap Paint() {
        TBitmap out(300, 30, 0u);
        Root.PaintArea(out.View(), {0, 0, 300, 30});
        return out;
    }
};

const char* const kLong = "A caption far wider than forty pixels";

}  // namespace

TEST(TGrowingText, KeepsItsDesignPlaceWhileTheCaptionFits) {
    Bar bar(200, TGrowingText::TSide::Left, 10);
    bar.Text->SetCaption("Fits");
    EXPECT_FALSE(bar.Text->Grown());
    EXPECT_EQ(bar.Text->Bounds(), (TRect{200, 4, 40, 13}));
    EXPECT_EQ(bar.Text->TextRect(), (TRect{200, 4, 40, 13}));
    EXPECT_TRUE(bar.Text->FieldRect().Empty());
    const TBitmap out = bar.Paint();
    for (int x = 0; x < 300; ++x) ASSERT_EQ(out.At(x, 2), kGround) << x << ": no field painted";
}

TEST(TGrowingText, AWiderCaptionWidensTowardItsSideOnAStretchedFieldAndShowsWhole) {
    for (auto side : {TGrowingText::TSide::Left, TGrowingText::TSide::Right}) {
        const bool left = side == TGrowingText::TSide::Left;
        SCOPED_TRACE(left ? "left" : "right");
        Bar bar(left ? 200 : 20, side, left ? 0 : 300);
        bar.Text->SetCaption(kLong);
        const int need = bar.Text->CaptionWidth();
        ASSERT_GT(need, 40);
        ASSERT_TRUE(bar.Text->Grown());
        const TRect t = bar.Text->TextRect(), f = bar.Text->FieldRect();
        EXPECT_EQ(t.Width, need);
        EXPECT_EQ(t.Top, 4);
        if (left) EXPECT_EQ(t.Right(), 240) << "the right edge stays";
        else EXPECT_EQ(t.Left, 20) << "the left edge stays";
        EXPECT_EQ(f, (TRect{t.Left - 4, 1, need + 7, 20}));
        EXPECT_EQ(bar.Text->Bounds(), f);

        const TBitmap out = bar.Paint();
        EXPECT_EQ(out.At(f.Left, 2), kLeftCap);
        EXPECT_EQ(out.At(f.Left + 3, 20), kLeftCap);
        EXPECT_EQ(out.At(f.Left + 4, 2), kMiddle);
        EXPECT_EQ(out.At(f.Left + f.Width / 2, 2), kMiddle);
        EXPECT_EQ(out.At(f.Right() - 5, 2), kMiddle);
        EXPECT_EQ(out.At(f.Right() - 4, 2), kRightCap);
        EXPECT_EQ(out.At(f.Right() - 1, 20), kRightCap);
        EXPECT_EQ(out.At(f.Left - 1, 10), kGround);
        EXPECT_EQ(out.At(f.Right(), 10), kGround);
        // ink near both ends of the text: nothing of it is cut
        auto inked = [&](int x0, int x1) {
            for (int y = t.Top; y < t.Bottom(); ++y)
                for (int x = x0; x < x1; ++x)
                    if (out.At(x, y) != kMiddle && out.At(x, y) != kLeftCap) return true;
            return false;
        };
        EXPECT_TRUE(inked(t.Left, t.Left + 3));
        EXPECT_TRUE(inked(t.Right() - 6, t.Right()));
    }
}

TEST(TGrowingText, StopsAtItsLimitAndComesBackWhenTheCaptionFitsAgain) {
    Bar bar(200, TGrowingText::TSide::Left, 180);
    bar.Text->SetCaption(kLong);
    EXPECT_EQ(bar.Text->FieldRect().Left, 180);
    EXPECT_EQ(bar.Text->TextRect(), (TRect{184, 4, 56, 13}));
    bar.Text->SetCaption("Fits");
    EXPECT_FALSE(bar.Text->Grown());
    EXPECT_EQ(bar.Text->Bounds(), (TRect{200, 4, 40, 13}));
    // the whole widened area is repainted when it shrinks back
    bar.Root.TakeDirty();
    bar.Text->SetCaption(kLong);
    bar.Root.TakeDirty();
    bar.Text->SetCaption("Fits");
    EXPECT_EQ(bar.Root.TakeDirty(), (TRect{180, 1, 63, 20}));
}

TEST(TGrowingText, AnchorsMoveItsDesignPlaceFieldAndLimitTogether) {
    TDIBContainer root;
    root.SetBounds(0, 0, 300, 60);
    auto& bar = root.Add<TDIBContainer>(0, 30, 300, 30);
    bar.Anchors = akLeft | akRight;
    auto& t = bar.Add<TGrowingText>(200, 4, 40, 13, &Fonts());
    t.Anchors = akRight | akTop;
    t.SetField(FieldPicture(), {5, 2, 30, 20}, {196, 1, 47, 20}, 4, TGrowingText::TSide::Left, 150);
    root.SetBounds(0, 0, 340, 60);   // the bar widens by 40, the text follows its right edge
    ASSERT_EQ(bar.Width(), 340);
    EXPECT_EQ(t.Bounds(), (TRect{240, 4, 40, 13}));
    t.SetCaption(kLong);
    EXPECT_EQ(t.TextRect().Right(), 280);
    EXPECT_GE(t.FieldRect().Left, 190);
}
