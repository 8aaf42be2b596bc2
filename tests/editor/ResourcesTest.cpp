#include "editor/resources/Resources.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "editor/widgets/DIBImageList.h"
#include "editor/widgets/Png.h"
#include "editor/widgets/Text.h"

TEST(Resources, EverySkinPictureDecodesAtItsSizeWithTransparency) {
    const struct { const char* name; int w, h; bool masked; } pictures[] = {
        {"front.png", 627, 373, false},        {"full.png", 597, 331, false},
        {"infos.png", 625, 20, false},         {"seldot.png", 7, 8, false},
        {"slider_back.png", 35, 91, true},     {"slider_pointer.png", 35, 29, true},
        {"trigger.png", 70, 29, true},
    };
    for (const auto& p : pictures) {
        SCOPED_TRACE(p.name);
        TBitmap b;
        ASSERT_TRUE(DecodePng(Resource(p.name), b));
        EXPECT_EQ(b.Width, p.w);
        EXPECT_EQ(b.Height, p.h);
        const auto alpha = [&](uint8_t a) {
            return std::count_if(b.Pixels.begin(), b.Pixels.end(),
                                 [a](uint32_t px) { return AlphaOf(px) == a; });
        };
        EXPECT_GT(alpha(0), 0);     // transparent ground
        EXPECT_GT(alpha(255), 0);   // and art on it
        if (p.masked) {
            EXPECT_TRUE(std::any_of(b.Pixels.begin(), b.Pixels.end(),
                                    [](uint32_t px) { return RgbOf(px) == 0xFFFFFF; }));
        }
    }
    const auto names = ResourceNames();
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](std::string_view n) { return n.ends_with(".png"); }),
              std::ssize(pictures));
}

TEST(Resources, TriggerFramesDifferAndShareTheMaskedWindow) {
    TDIBImageList list;
    ASSERT_EQ(list.AddPng(Resource("trigger.png")), 0);
    const TBitmap& b = list.Item(0)->Bitmap;
    int differing = 0, sharedWhite = 0;
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 35; ++x) {
            differing += b.At(x, y) != b.At(x + 35, y);
            sharedWhite += RgbOf(b.At(x, y)) == 0xFFFFFF && RgbOf(b.At(x + 35, y)) == 0xFFFFFF;
        }
    EXPECT_GT(differing, 20);
    EXPECT_GT(sharedWhite, 100);
}

TEST(Resources, FontsLoadAndUnknownNamesAreEmpty) {
    TFontSet fonts(Resource("DejaVuSans.ttf"), Resource("DejaVuSans-Bold.ttf"));
    EXPECT_TRUE(fonts.Usable(false));
    EXPECT_TRUE(fonts.Usable(true));
    EXPECT_TRUE(Resource("missing.png").empty());
    TBitmap b;
    EXPECT_FALSE(DecodePng(Resource("DejaVuSans.ttf"), b));   // not a PNG
    EXPECT_TRUE(b.Empty());
}
