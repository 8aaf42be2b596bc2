#pragma once
// An ordered list of bitmaps addressed by index from 0; controls refer to an entry by list and
// index, and index -1 means no image.
#include <cstdint>
#include <span>
#include <vector>

#include "editor/widgets/Graphics.h"

struct TDIBImageListItem {
    TBitmap Bitmap;
    bool Masked = true;
    uint32_t TransparentColor = 0xFFFFFF;   // RGB; pixels of exactly this colour are not drawn
    uint8_t Opacity = 255;
    int Scale = 100;                        // percent
    int Width() const { return Bitmap.Width * Scale / 100; }
    int Height() const { return Bitmap.Height * Scale / 100; }
};

class TDIBImageList {
public:
    int Add(TBitmap bitmap);                        // returns the new index
    int AddPng(std::span<const uint8_t> png);       // -1 if the data does not decode
    int Count() const { return int(Items_.size()); }
    bool Valid(int index) const { return index >= 0 && index < Count(); }
    TDIBImageListItem* Item(int index) { return Valid(index) ? &Items_[size_t(index)] : nullptr; }
    const TDIBImageListItem* Item(int index) const {
        return Valid(index) ? &Items_[size_t(index)] : nullptr;
    }
    // Draws the part `src` (bitmap pixels) of an entry into `dst`, honouring mask and opacity.
    void Draw(TCanvas& canvas, int index, const TRect& src, const TRect& dst) const;
    // The whole entry at its scaled size.
    void Draw(TCanvas& canvas, int index, int x, int y) const;

private:
    std::vector<TDIBImageListItem> Items_;
};
