#include "editor/widgets/DIBSlider.h"

#include <algorithm>
#include <cstdlib>

void TDIBSlider::SetImages(const TDIBImageList* images, int indexMain, int indexPointer,
                           int indexEnd1, int indexEnd2) {
    Images_ = images;
    IndexMain_ = indexMain;
    IndexPointer_ = indexPointer;
    IndexEnd1_ = indexEnd1;
    IndexEnd2_ = indexEnd2;
    ApplyAutoSize();
    Invalidate();
}

int TDIBSlider::ImageHeight(int index) const {
    const TDIBImageListItem* it = Images_ ? Images_->Item(index) : nullptr;
    return it ? it->Height() : 0;
}

int TDIBSlider::ImageWidth(int index) const {
    const TDIBImageListItem* it = Images_ ? Images_->Item(index) : nullptr;
    return it ? it->Width() : 0;
}

void TDIBSlider::ApplyAutoSize() {
    if (!AutoSize) return;
    const int w = std::max({ImageWidth(IndexMain_), ImageWidth(IndexPointer_),
                            ImageWidth(IndexEnd1_), ImageWidth(IndexEnd2_)});
    if (w > 0) TControl::SetBounds(Left(), Top(), w, Height());
}

void TDIBSlider::SetBounds(int left, int top, int width, int height) {
    TControl::SetBounds(left, top, width, height);
    ApplyAutoSize();
}

void TDIBSlider::SetMin(int v) {
    Min_ = v;
    if (Max_ < Min_) Max_ = Min_;
    SetPosition(Position_);
    Invalidate();
}

void TDIBSlider::SetMax(int v) {
    Max_ = v;
    if (Min_ > Max_) Min_ = Max_;
    SetPosition(Position_);
    Invalidate();
}

void TDIBSlider::SetPosition(int v) {
    v = std::clamp(v, Min_, Max_);
    if (v != Position_) {
        // only the pointer moves over the track: its old and its new place
        const TRect before = PointerRect();
        Position_ = v;
        InvalidateRect(before);
        InvalidateRect(PointerRect());
    }
    if (Position_ != Notified_) {
        Notified_ = Position_;
        if (OnChange) OnChange(*this);
    }
}

int TDIBSlider::TrackLength() const {
    return std::max(0, Height() - ImageHeight(IndexPointer_) - ImageHeight(IndexEnd1_) -
                           ImageHeight(IndexEnd2_));
}

int TDIBSlider::PointerOffset() const {
    const int len = TrackLength();
    if (len == 0 || Max_ == Min_) return 0;
    const int64_t off = int64_t(len) * (Position_ - Min_) / (Max_ - Min_);
    return int(std::clamp<int64_t>(off, 0, len));
}

TRect TDIBSlider::PointerRect() const {
    return {0, ImageHeight(IndexEnd1_) + PointerOffset(), Width(), ImageHeight(IndexPointer_)};
}

void TDIBSlider::Paint(TCanvas& canvas) {
    if (!Images_) return;
    const int e1 = ImageHeight(IndexEnd1_), e2 = ImageHeight(IndexEnd2_);
    const TRect track{0, e1, Width(), Height() - e1 - e2};
    if (const TDIBImageListItem* bg = Images_->Item(IndexMain_); bg && !track.Empty()) {
        const TRect src{0, 0, bg->Bitmap.Width, bg->Bitmap.Height};
        if (StretchBackground) {
            Images_->Draw(canvas, IndexMain_, src, track);
        } else {
            TCanvas tc = canvas.Child(track);
            for (int y = 0; y < track.Height && bg->Height() > 0; y += bg->Height())
                Images_->Draw(tc, IndexMain_, 0, y);
        }
    }
    Images_->Draw(canvas, IndexEnd1_, 0, 0);
    Images_->Draw(canvas, IndexEnd2_, 0, Height() - e2);
    Images_->Draw(canvas, IndexPointer_, 0, PointerRect().Top);
}

void TDIBSlider::Press(MouseButton button, int y) {
    if (Dragging_) return;
    const TRect p = PointerRect();
    const int e1 = ImageHeight(IndexEnd1_), e2 = ImageHeight(IndexEnd2_);
    if (y >= p.Top && y < p.Bottom()) {
        Dragging_ = true;
        DragButton_ = button;
        Grab_ = y - p.Top;
    } else if (e1 > 0 && y < e1) {
        SetPosition(Position_ - SmallChange);
    } else if (e2 > 0 && y >= Height() - e2) {
        SetPosition(Position_ + SmallChange);
    } else {
        const int len = TrackLength();
        const int centre = p.Top + p.Height / 2;
        const int64_t units = len > 0 ? int64_t(std::abs(y - centre)) * (Max_ - Min_) / len : 0;
        const int step = int(std::min<int64_t>(LargeChange, units));
        SetPosition(y < centre ? Position_ - step : Position_ + step);
    }
}

void TDIBSlider::MouseDown(MouseButton button, int x, int y) {
    TControl::MouseDown(button, x, y);
    Press(button, y);
}

void TDIBSlider::DoubleClick(MouseButton button, int x, int y) {
    TControl::DoubleClick(button, x, y);
    Press(button, y);
}

void TDIBSlider::MouseMove(int x, int y) {
    if (Dragging_) {
        const int len = TrackLength();
        const int off = std::clamp(y - Grab_ - ImageHeight(IndexEnd1_), 0, len);
        if (len > 0) SetPosition(int(int64_t(off) * (Max_ - Min_) / len) + Min_);
    }
    TControl::MouseMove(x, y);
}

void TDIBSlider::MouseUp(MouseButton button, int x, int y) {
    if (Dragging_ && button == DragButton_) {
        Dragging_ = false;
        DragButton_ = MouseButton::None;
    }
    TControl::MouseUp(button, x, y);
}

void TDIBSlider::KeyDown(Key key) {
    switch (key) {
    case Key::Up: SetPosition(Position_ - SmallChange); break;
    case Key::Down: SetPosition(Position_ + SmallChange); break;
    case Key::PageUp: SetPosition(Position_ - PageSize); break;
    case Key::PageDown: SetPosition(Position_ + PageSize); break;
    case Key::Escape:
    case Key::Return: break;
    }
}
