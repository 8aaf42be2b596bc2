#pragma once
// Plain bitmaps of the skin's sizes for control tests; each frame a distinct colour.
#include "editor/widgets/DIBImageList.h"

inline TDIBImageList MakeSkinList(int glyphFrames = 2) {
    TDIBImageList list;
    list.Add(TBitmap(35, 91, Argb(255, 10, 10, 10)));   // 0: slider background
    list.Add(TBitmap(35, 29, Argb(255, 200, 0, 0)));     // 1: slider pointer
    TBitmap strip(35 * glyphFrames, 29);
    for (int f = 0; f < glyphFrames; ++f)
        for (int y = 0; y < 29; ++y)
            for (int x = 0; x < 35; ++x) strip.At(f * 35 + x, y) = Argb(255, 0, uint8_t(40 * (f + 1)), 0);
    list.Add(std::move(strip));                        // 2: glyph strip
    return list;
}

inline uint32_t FrameColour(int frame) { return Argb(255, 0, uint8_t(40 * (frame + 1)), 0); }
