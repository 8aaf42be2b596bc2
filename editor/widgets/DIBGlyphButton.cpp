#include "editor/widgets/DIBGlyphButton.h"

void TDIBGlyphButton::SetGlyph(const TDIBImageList* images, int index) {
    Images_ = images;
    Glyph_ = index;
    ApplyAutoSize();
    Invalidate();
}

void TDIBGlyphButton::SetNumGlyphs(int n) {
    if (n < 2 || n > 5 || n == NumGlyphs_) return;
    NumGlyphs_ = n;
    ApplyAutoSize();
    Invalidate();
}

int TDIBGlyphButton::FrameWidth() const {
    const TDIBImageListItem* it = Images_ ? Images_->Item(Glyph_) : nullptr;
    return it ? it->Bitmap.Width / NumGlyphs_ : 0;
}

void TDIBGlyphButton::ApplyAutoSize() {
    const TDIBImageListItem* it = Images_ ? Images_->Item(Glyph_) : nullptr;
    if (!AutoSize || !it) return;
    SetSize(it->Width() / NumGlyphs_, it->Height());
}

void TDIBGlyphButton::SetDown(bool d) {
    if (d == Down_) return;
    Down_ = d;
    Invalidate();
    if (d && GroupIndex != 0 && Parent())
        for (auto& c : Parent()->Children())
            if (auto* b = dynamic_cast<TDIBGlyphButton*>(c.get());
                b && b != this && b->GroupIndex == GroupIndex)
                b->SetDown(false);
}

TDIBGlyphButton::State TDIBGlyphButton::VisualState() const {
    if (!Enabled()) return Disabled;
    if (Down_) return IsDown;
    if (LeftHeld_ && Over_) return Pressed;
    if (Over_ && !LeftHeld_) return Hot;
    return Normal;
}

int TDIBGlyphButton::Frame() const {
    const State s = VisualState();
    if (NumGlyphs_ > int(s)) return int(s);
    return s == IsDown ? 1 : 0;
}

void TDIBGlyphButton::Paint(TCanvas& canvas) {
    const TDIBImageListItem* it = Images_ ? Images_->Item(Glyph_) : nullptr;
    if (!it) return;
    const int fw = FrameWidth();
    Images_->Draw(canvas, Glyph_, {Frame() * fw, 0, fw, it->Bitmap.Height},
                  {0, 0, fw * it->Scale / 100, it->Height()});
}

void TDIBGlyphButton::MouseDown(MouseButton button, int x, int y) {
    TControl::MouseDown(button, x, y);
    if (button != MouseButton::Left) return;
    LeftHeld_ = true;
    Over_ = Inside(x, y);
    Invalidate();
}

void TDIBGlyphButton::DoubleClick(MouseButton button, int x, int y) {
    // the second press of a quick double tap is a press like the first
    MouseDown(button, x, y);
}

void TDIBGlyphButton::MouseUp(MouseButton button, int x, int y) {
    TControl::MouseUp(button, x, y);
    if (button != MouseButton::Left || !LeftHeld_) return;
    LeftHeld_ = false;
    Over_ = Inside(x, y);
    if (ToggleDown && Over_) SetDown(!Down_);
    Invalidate();
}

void TDIBGlyphButton::MouseMove(int x, int y) {
    const bool over = Inside(x, y);
    if (over != Over_) {
        Over_ = over;
        Invalidate();
    }
    TControl::MouseMove(x, y);
}

void TDIBGlyphButton::MouseEnter() {
    Over_ = true;
    Invalidate();
}

void TDIBGlyphButton::MouseLeave() {
    Over_ = false;
    Invalidate();
}
