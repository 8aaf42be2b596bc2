#include "editor/widgets/StdControls.h"

#include <algorithm>
#include <utility>

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
    CaptionChanged();
}

int TStaticText::CaptionWidth() const {
    return Fonts && !Caption_.empty() ? Fonts->TextWidth(Caption_, FontHeight, Bold) : 0;
}

void TStaticText::Paint(TCanvas& canvas) { DrawCaption(canvas, {0, 0, Width(), Height()}); }

void TStaticText::DrawCaption(TCanvas& canvas, const TRect& where) {
    if (!Fonts || Caption_.empty()) return;
    TCanvas inside = canvas.Child(where);
    Fonts->DrawText(inside, 0, 0, Caption_, FontHeight, Bold, FontColor);
}

void TGrowingText::SetField(std::shared_ptr<const TBitmap> picture, const TRect& source,
                            const TRect& frame, int cap, TSide side, int limit) {
    Picture_ = std::move(picture);
    Source_ = source;
    Design_ = Bounds();
    Frame_ = frame;
    Cap_ = std::clamp(cap, 0, source.Width / 2);
    Side_ = side;
    Limit_ = limit;
    Relayout();
}

void TGrowingText::Relayout() {
    if (Frame_.Empty()) return;
    const int room = Side_ == TSide::Left ? Frame_.Left - Limit_ : Limit_ - Frame_.Right();
    Grow_ = std::clamp(CaptionWidth() - Design_.Width, 0, std::max(room, 0));
    const TRect f = FieldRect();
    if (Grow_ == 0) TControl::SetBounds(Design_.Left, Design_.Top, Design_.Width, Design_.Height);
    else TControl::SetBounds(f.Left, f.Top, f.Width, f.Height);
}

TRect TGrowingText::TextRect() const {
    TRect t = Design_;
    t.Width += Grow_;
    if (Side_ == TSide::Left) t.Left -= Grow_;
    return t;
}

TRect TGrowingText::FieldRect() const {
    if (Grow_ == 0) return {};
    TRect f = Frame_;
    f.Width += Grow_;
    if (Side_ == TSide::Left) f.Left -= Grow_;
    return f;
}

void TGrowingText::Paint(TCanvas& canvas) {
    if (Grow_ > 0 && Picture_) {
        // the middle of a field is the same in every column, so stretching it keeps its look
        const int w = Width(), h = Height(), cap = Cap_;
        const TRect& s = Source_;
        canvas.DrawBitmap(*Picture_, {s.Left, s.Top, cap, s.Height}, {0, 0, cap, h});
        canvas.DrawBitmap(*Picture_, {s.Left + cap, s.Top, s.Width - 2 * cap, s.Height},
                          {cap, 0, w - 2 * cap, h});
        canvas.DrawBitmap(*Picture_, {s.Right() - cap, s.Top, cap, s.Height}, {w - cap, 0, cap, h});
    }
    const TRect t = TextRect();
    DrawCaption(canvas, {t.Left - Left(), t.Top - Top(), t.Width, t.Height});
}

void TGrowingText::ParentResized(int oldWidth, int oldHeight, int newWidth, int newHeight) {
    if (Frame_.Empty()) {
        TStaticText::ParentResized(oldWidth, oldHeight, newWidth, newHeight);
        return;
    }
    // the anchors move the design place; the field and the limit go with it
    TControl::SetBounds(Design_.Left, Design_.Top, Design_.Width, Design_.Height);
    TStaticText::ParentResized(oldWidth, oldHeight, newWidth, newHeight);
    const int dx = Left() - Design_.Left, dy = Top() - Design_.Top;
    Design_ = Bounds();
    Frame_.Left += dx;
    Frame_.Top += dy;
    Limit_ += dx;
    Relayout();
}

void TPaintBox::SetBounds(int left, int top, int width, int height) {
    TControl::SetBounds(left, top, width, height);
    if (Layer_.Width != Width() || Layer_.Height != Height()) Layer_ = TBitmap(Width(), Height());
}

void TPaintBox::Repaint() {
    std::fill(Layer_.Pixels.begin(), Layer_.Pixels.end(), 0u);
    if (!Redrawing_) Invalidate();
}

void TPaintBox::SetPixel(int x, int y, uint32_t argb) {
    if (x < 0 || y < 0 || x >= Layer_.Width || y >= Layer_.Height) return;
    Layer_.At(x, y) = argb;
    if (!Redrawing_) InvalidateRect({x, y, 1, 1});
}

void TPaintBox::BeginRedraw() {
    if (Redrawing_) return;
    Redrawing_ = true;
    std::swap(Before_, Layer_);
    if (Layer_.Width != Before_.Width || Layer_.Height != Before_.Height)
        Layer_ = TBitmap(Before_.Width, Before_.Height);
    else
        std::fill(Layer_.Pixels.begin(), Layer_.Pixels.end(), 0u);
}

void TPaintBox::EndRedraw() {
    if (!Redrawing_) return;
    Redrawing_ = false;
    // The changed rows of each column, split where a long unchanged stretch lies between them
    // (two traces in one column), gathered as damage: neighbouring columns join where that is
    // cheaper, so a moving trace is a few rectangles that follow it.
    constexpr int kGap = 8;
    Changed_.Clear();
    const int w = Layer_.Width, h = Layer_.Height;
    for (int x = 0; x < w; ++x) {
        int top = -1, bottom = -1;
        for (int y = 0; y < h; ++y) {
            if (Layer_.At(x, y) == Before_.At(x, y)) continue;
            if (top >= 0 && y - bottom > kGap) {
                Changed_.Add({x, top, 1, bottom - top + 1});
                top = -1;
            }
            if (top < 0) top = y;
            bottom = y;
        }
        if (top >= 0) Changed_.Add({x, top, 1, bottom - top + 1});
    }
    for (const TRect& r : Changed_.Rects()) InvalidateRect(r);
}

uint32_t TPaintBox::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Layer_.Width || y >= Layer_.Height) return 0;
    return Layer_.At(x, y);
}

void TPaintBox::Paint(TCanvas& canvas) {
    canvas.DrawBitmap(Layer_, 0, 0);
    if (OnPaint) OnPaint(*this, canvas);
}
