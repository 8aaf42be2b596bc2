#include "editor/widgets/StdControls.h"

void TImage::SetPicture(std::shared_ptr<const TBitmap> picture) {
    Picture_ = std::move(picture);
    Invalidate();
}

void TImage::Paint(TCanvas& canvas) {
    if (Picture_) canvas.DrawBitmap(*Picture_, 0, 0);
}

void TStaticText::SetCaption(std::string text) {
    if (text == Caption_) return;
    Caption_ = std::move(text);
    Invalidate();
}

void TStaticText::Paint(TCanvas& canvas) {
    if (!Fonts || Caption_.empty()) return;
    TCanvas inside = canvas.Child({0, 0, Width(), Height()});
    Fonts->DrawText(inside, 0, 0, Caption_, FontHeight, Bold, FontColor);
}

void TPaintBox::SetBounds(int left, int top, int width, int height) {
    TControl::SetBounds(left, top, width, height);
    if (Layer_.Width != Width() || Layer_.Height != Height()) Layer_ = TBitmap(Width(), Height());
}

void TPaintBox::Repaint() {
    std::fill(Layer_.Pixels.begin(), Layer_.Pixels.end(), 0u);
    Invalidate();
}

void TPaintBox::SetPixel(int x, int y, uint32_t argb) {
    if (x < 0 || y < 0 || x >= Layer_.Width || y >= Layer_.Height) return;
    Layer_.At(x, y) = argb;
    InvalidateRect({x, y, 1, 1});
}

uint32_t TPaintBox::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Layer_.Width || y >= Layer_.Height) return 0;
    return Layer_.At(x, y);
}

void TPaintBox::Paint(TCanvas& canvas) {
    canvas.DrawBitmap(Layer_, 0, 0);
    if (OnPaint) OnPaint(*this, canvas);
}
