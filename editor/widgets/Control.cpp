#include "editor/widgets/Control.h"

#include <algorithm>

namespace {
unsigned ButtonBit(MouseButton b) {
    switch (b) {
    case MouseButton::Left: return 1;
    case MouseButton::Right: return 2;
    case MouseButton::Middle: return 4;
    case MouseButton::None: break;
    }
    return 0;
}

bool IsInside(const TControl* c, const TControl* maybeChild) {
    for (const TControl* p = maybeChild; p; p = p->Parent())
        if (p == c) return true;
    return false;
}
}  // namespace

void TControl::SetBounds(int left, int top, int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    const TRect nb{left, top, width, height};
    if (nb == Bounds_) return;
    Invalidate();
    Bounds_ = nb;
    Invalidate();
}

void TControl::SetVisible(bool v) {
    if (v == Visible_) return;
    if (!v) {
        Invalidate();
        Visible_ = false;
        for (TDIBContainer* p = Parent_; p; p = p->Parent_)
            if (!p->Parent_) p->Forget(this);
    } else {
        Visible_ = true;
        Invalidate();
    }
}

bool TControl::Showing() const {
    for (const TControl* c = this; c; c = c->Parent_)
        if (!c->Visible_) return false;
    return true;
}

void TControl::SetEnabled(bool e) {
    if (e == Enabled_) return;
    Enabled_ = e;
    if (!e)
        for (TDIBContainer* p = Parent_; p; p = p->Parent_)
            if (!p->Parent_) p->Forget(this);
    Invalidate();
}

void TControl::AbsoluteOrigin(int& x, int& y) const {
    x = 0;
    y = 0;
    for (const TControl* c = this; c->Parent_; c = c->Parent_) {
        x += c->Bounds_.Left;
        y += c->Bounds_.Top;
    }
}

void TControl::BringToFront() {
    if (Parent_) Parent_->Raise(*this);
}

void TControl::Invalidate() { InvalidateRect({0, 0, Bounds_.Width, Bounds_.Height}); }

void TControl::InvalidateRect(const TRect& local) {
    if (!Showing() || local.Empty()) return;
    int x = 0, y = 0;
    AbsoluteOrigin(x, y);
    TRect r{local.Left + x, local.Top + y, local.Width, local.Height};
    const TControl* c = this;
    // clip by every ancestor, since a child never paints outside its container
    for (; c->Parent_; c = c->Parent_) {
        int px = 0, py = 0;
        c->Parent_->AbsoluteOrigin(px, py);
        r = r.Intersect({px, py, c->Parent_->Bounds_.Width, c->Parent_->Bounds_.Height});
    }
    if (const auto* root = dynamic_cast<const TDIBContainer*>(c))
        const_cast<TDIBContainer*>(root)->AddDirty(r);
}

void TControl::MouseDown(MouseButton button, int x, int y) {
    if (OnMouseDown) OnMouseDown(*this, button, x, y);
    if (button == MouseButton::Left) ClickArmed_ = true;
}

void TControl::MouseUp(MouseButton button, int x, int y) {
    if (OnMouseUp) OnMouseUp(*this, button, x, y);
    if (button == MouseButton::Left && ClickArmed_) {
        ClickArmed_ = false;
        if (x >= 0 && y >= 0 && x < Width() && y < Height() && OnClick) OnClick(*this);
    }
}

void TControl::MouseMove(int x, int y) {
    if (OnMouseMove) OnMouseMove(*this, x, y);
}

void TControl::DoubleClick(MouseButton button, int x, int y) {
    // the second press of a double click raises the double click, not another click
    if (button == MouseButton::Left && OnDblClick) OnDblClick(*this);
    if (OnMouseDown) OnMouseDown(*this, button, x, y);
}

void TControl::ParentResized(int oldWidth, int oldHeight, int newWidth, int newHeight) {
    TRect b = Bounds_;
    const int dw = newWidth - oldWidth, dh = newHeight - oldHeight;
    if (Anchors & akRight) {
        if (Anchors & akLeft) b.Width += dw;
        else b.Left += dw;
    }
    if (Anchors & akBottom) {
        if (Anchors & akTop) b.Height += dh;
        else b.Top += dh;
    }
    SetBounds(b.Left, b.Top, b.Width, b.Height);
}

uint32_t TDIBContainer::EffectiveColor() const {
    if (ParentColor && Parent()) return Parent()->EffectiveColor();
    return Color;
}

void TDIBContainer::SetColor(uint32_t argb) {
    if (argb == Color) return;
    Color = argb;
    Invalidate();
}

void TDIBContainer::Adopt(std::unique_ptr<TControl> child, int left, int top, int width,
                          int height) {
    child->Parent_ = this;
    TControl& c = *child;
    Children_.push_back(std::move(child));
    c.SetBounds(left, top, width, height);
    c.Invalidate();
}

void TDIBContainer::Raise(TControl& child) {
    auto it = std::find_if(Children_.begin(), Children_.end(),
                           [&](const auto& p) { return p.get() == &child; });
    if (it == Children_.end() || it + 1 == Children_.end()) return;
    std::rotate(it, it + 1, Children_.end());
    child.Invalidate();
}

void TDIBContainer::SetBounds(int left, int top, int width, int height) {
    const int ow = Width(), oh = Height();
    TControl::SetBounds(left, top, width, height);
    if (Width() != ow || Height() != oh) RealignChildren(ow, oh);
}

void TDIBContainer::Realign() { RealignChildren(Width(), Height()); }

void TDIBContainer::RealignChildren(int oldWidth, int oldHeight) {
    int stackTop = 0;
    for (auto& c : Children_) {
        if (c->Align == TAlign::Top) {
            if (!c->Visible()) continue;
            c->SetBounds(0, stackTop, Width(), c->Height());
            stackTop += c->Height();
        } else {
            c->ParentResized(oldWidth, oldHeight, Width(), Height());
        }
    }
}

void TDIBContainer::Paint(TCanvas& canvas) {
    canvas.FillRect({0, 0, Width(), Height()}, EffectiveColor());
    for (auto& c : Children_) {
        if (!c->Visible()) continue;
        TCanvas cc = canvas.Child(c->Bounds());
        if (!cc.Clip.Empty()) c->Paint(cc);
    }
}

TDIBContainer* TDIBContainer::Root() {
    TDIBContainer* r = this;
    while (r->Parent()) r = r->Parent();
    return r;
}

void TDIBContainer::AddDirty(const TRect& r) {
    const TRect c = r.Intersect({0, 0, Width(), Height()});
    if (c.Empty()) return;
    Dirty_.Add(c);
    if (OnInvalidate) OnInvalidate(c);
}

void TDIBContainer::Forget(TControl* c) {
    if (IsInside(c, Capture_)) {
        Capture_ = nullptr;
        HeldButtons_ = 0;
    }
    if (IsInside(c, Hovered_)) {
        TControl* h = Hovered_;
        Hovered_ = nullptr;
        h->MouseLeave();
    }
    if (IsInside(c, Focused_)) Focused_ = nullptr;
}

TControl* TDIBContainer::ControlAt(int x, int y) {
    if (!Visible() || !Enabled()) return nullptr;
    // root coordinates are this container's own when it is the root
    TDIBContainer* at = this;
    if (!TRect{0, 0, Width(), Height()}.Contains(x, y)) return nullptr;
    for (;;) {
        TControl* hit = nullptr;
        for (auto it = at->Children_.rbegin(); it != at->Children_.rend(); ++it) {
            TControl* c = it->get();
            if (c->Visible() && c->Enabled() && c->Bounds().Contains(x, y)) {
                hit = c;
                break;
            }
        }
        if (!hit) return at;
        x -= hit->Left();
        y -= hit->Top();
        auto* sub = dynamic_cast<TDIBContainer*>(hit);
        if (!sub) return hit;
        at = sub;
    }
}

void TDIBContainer::DispatchMouse(const MouseEvent& ev) {
    TControl* target = Capture_ ? Capture_ : ControlAt(ev.x, ev.y);
    auto hover = [this](TControl* t) {
        if (t == Hovered_) return;
        if (Hovered_) Hovered_->MouseLeave();
        Hovered_ = t;
        if (t) t->MouseEnter();
    };
    if (!Capture_) hover(target);
    if (!target) return;
    int ox = 0, oy = 0;
    target->AbsoluteOrigin(ox, oy);
    const int lx = ev.x - ox, ly = ev.y - oy;
    switch (ev.kind) {
    case MouseEvent::Kind::Down:
    case MouseEvent::Kind::DoubleClick:
        HeldButtons_ |= ButtonBit(ev.button);
        if (!Capture_) Capture_ = target;
        if (target->CanFocus()) Focused_ = target;
        if (ev.kind == MouseEvent::Kind::Down) target->MouseDown(ev.button, lx, ly);
        else target->DoubleClick(ev.button, lx, ly);
        break;
    case MouseEvent::Kind::Up:
        HeldButtons_ &= ~ButtonBit(ev.button);
        if (HeldButtons_ == 0) Capture_ = nullptr;
        target->MouseUp(ev.button, lx, ly);
        if (!Capture_) hover(ControlAt(ev.x, ev.y));
        break;
    case MouseEvent::Kind::Move:
        target->MouseMove(lx, ly);
        break;
    }
}

void TDIBContainer::MouseLeftWindow() {
    if (Capture_ || !Hovered_) return;
    TControl* h = Hovered_;
    Hovered_ = nullptr;
    h->MouseLeave();
}

void TDIBContainer::DispatchKey(Key key) {
    if (Focused_ && Focused_->Showing() && Focused_->Enabled()) Focused_->KeyDown(key);
}

void TDIBContainer::PaintArea(PixelBuffer buffer, const TRect& area) {
    TCanvas c(buffer);
    c.Clip = c.Clip.Intersect(area);
    if (!c.Clip.Empty()) Paint(c);
}
