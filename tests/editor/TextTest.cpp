#include "editor/widgets/Text.h"

#include <gtest/gtest.h>

#include "editor/resources/Resources.h"
#include "editor/widgets/StdControls.h"

namespace {
TFontSet& Fonts() {
    static TFontSet f(Resource("DejaVuSans.ttf"), Resource("DejaVuSans-Bold.ttf"));
    return f;
}
}  // namespace

TEST(TStaticText, InksInsideItsBoxAndNowhereElse) {
    const struct { const char* text; int height; bool bold; } cases[] = {
        {"Flanger feedback amount, far too long for the box", 9, true},
        {"Wy|gjq", 11, false},
        {"QBFX F 1.148", 9, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TDIBContainer root;
        root.SetBounds(0, 0, 120, 60);
        root.Color = Argb(255, 255, 255, 255);
        auto& t = root.Add<TStaticText>(20, 20, 50, 13, &Fonts());
        t.FontHeight = c.height;
        t.Bold = c.bold;
        t.SetCaption(c.text);
        TBitmap out(120, 60);
        root.PaintArea(out.View(), {0, 0, 120, 60});
        int inside = 0, outside = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 120; ++x)
                if (out.At(x, y) != Argb(255, 255, 255, 255))
                    (t.Bounds().Contains(x, y) ? inside : outside)++;
        EXPECT_GT(inside, 20);
        EXPECT_EQ(outside, 0);
    }
}

TEST(TFontSet, WidthGrowsWithTextAndBoldIsWider) {
    TFontSet& f = Fonts();
    const int a = f.TextWidth("Ring", 11, false), b = f.TextWidth("Ringer", 11, false);
    EXPECT_GT(a, 0);
    EXPECT_GT(b, a);
    EXPECT_GT(f.TextWidth("Ringer", 11, true), b);
    EXPECT_GT(f.TextWidth("Ringer", 22, false), b);
    EXPECT_GT(f.Ascent(11, false), 0);
}

TEST(NextCodePoint, DecodesUtf8AndReplacesMalformedBytes) {
    const struct { std::string s; std::vector<uint32_t> cps; } cases[] = {
        {"A&", {'A', '&'}},
        {"\xE2\x88\x92" "1", {0x2212, '1'}},
        {"\xC3\xA9", {0xE9}},
        {"\x80x", {0xFFFD, 'x'}},
        {"\xE2\x88", {0xFFFD}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.s);
        std::vector<uint32_t> got;
        for (size_t i = 0; i < c.s.size();) got.push_back(NextCodePoint(c.s, i));
        EXPECT_EQ(got, c.cps);
    }
}
