#include "editor/widgets/DIBImageList.h"

#include "editor/widgets/Png.h"

int TDIBImageList::Add(TBitmap bitmap) {
    TDIBImageListItem item;
    item.Bitmap = std::move(bitmap);
    Items_.push_back(std::move(item));
    return Count() - 1;
}

int TDIBImageList::AddPng(std::span<const uint8_t> png) {
    TBitmap b;
    if (!DecodePng(png, b)) return -1;
    return Add(std::move(b));
}

void TDIBImageList::Draw(TCanvas& canvas, int index, const TRect& src, const TRect& dst) const {
    const TDIBImageListItem* it = Item(index);
    if (!it) return;
    canvas.DrawBitmap(it->Bitmap, src, dst, it->Opacity, it->Masked, it->TransparentColor);
}

void TDIBImageList::Draw(TCanvas& canvas, int index, int x, int y) const {
    const TDIBImageListItem* it = Item(index);
    if (!it) return;
    Draw(canvas, index, {0, 0, it->Bitmap.Width, it->Bitmap.Height},
         {x, y, it->Width(), it->Height()});
}
