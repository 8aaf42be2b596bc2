#include "editor/widgets/PopupMenu.h"

#include <algorithm>

namespace {
constexpr uint32_t kBack = Argb(255, 0x26, 0x28, 0x2C);
constexpr uint32_t kFrame = Argb(255, 0x5A, 0x5E, 0x66);
constexpr uint32_t kText = Argb(255, 0xE6, 0xE6, 0xE6);
constexpr uint32_t kHiBack = Argb(255, 0xD8, 0x8E, 0x2E);
constexpr uint32_t kHiText = Argb(255, 0x14, 0x14, 0x14);
constexpr uint32_t kSeparator = Argb(255, 0x46, 0x49, 0x4F);
}  // namespace

TMenuItem& TMenuItem::Add(std::string caption, int tag, std::string name) {
    auto it = std::make_unique<TMenuItem>();
    it->Caption = std::move(caption);
    it->Tag = tag;
    it->Name = std::move(name);
    Items.push_back(std::move(it));
    return *Items.back();
}

TMenuItem& TMenuItem::AddSeparator(std::string name) {
    TMenuItem& s = Add({}, 0, std::move(name));
    s.Separator = true;
    return s;
}

TPopupMenu::TLevel TPopupMenu::Layout(TMenuItem& menu, int x, int y, int openerLeft) {
    TLevel lv;
    lv.Menu = &menu;
    int w = MinWidth, h = 2 * Border;
    for (auto& it : menu.Items) {
        if (!it->Separator && Fonts)
            w = std::max(w, Fonts->TextWidth(it->Caption, FontHeight, false) + ItemPadX + ArrowSpace);
        h += it->Separator ? SeparatorHeight : ItemHeight();
    }
    // keep inside the area: shift left (or open on the opener's left side), and flip upward
    if (!Area_.Empty()) {
        if (x + w > Area_.Right()) x = openerLeft >= 0 ? openerLeft - w : Area_.Right() - w;
        x = std::max(x, Area_.Left);
        if (y + h > Area_.Bottom()) y = std::max(Area_.Top, Area_.Bottom() - h);
    }
    lv.Rect = {x, y, w, h};
    int iy = y + Border;
    for (auto& it : menu.Items) {
        const int ih = it->Separator ? SeparatorHeight : ItemHeight();
        lv.ItemRects.push_back({x + Border, iy, w - 2 * Border, ih});
        iy += ih;
    }
    return lv;
}

void TPopupMenu::Popup(int x, int y, const TRect& area) {
    Levels_.clear();
    Area_ = area;
    OpenX_ = x;
    OpenY_ = y;
    Armed_ = false;
    if (Items.Items.empty()) return;
    Levels_.push_back(Layout(Items, x, y, -1));
}

void TPopupMenu::Close() {
    if (Levels_.empty()) return;
    Levels_.clear();
    if (OnClose) OnClose(*this);
}

TRect TPopupMenu::Bounds() const {
    TRect r;
    for (const auto& lv : Levels_) r = r.Union(lv.Rect);
    return r;
}

TMenuItem* TPopupMenu::Hovered() const {
    if (Levels_.empty()) return nullptr;
    const TLevel& lv = Levels_.back();
    return lv.Hover >= 0 ? lv.Menu->Items[size_t(lv.Hover)].get() : nullptr;
}

bool TPopupMenu::HitLevel(int x, int y, size_t& level, int& index) const {
    for (size_t l = Levels_.size(); l-- > 0;) {
        const TLevel& lv = Levels_[l];
        if (!lv.Rect.Contains(x, y)) continue;
        level = l;
        index = -1;
        for (size_t i = 0; i < lv.ItemRects.size(); ++i)
            if (lv.ItemRects[i].Contains(x, y)) index = int(i);
        return true;
    }
    return false;
}

void TPopupMenu::Hover(size_t level, int index) {
    if (Levels_.size() > level + 2) Levels_.resize(level + 2);
    TLevel& lv = Levels_[level];
    TMenuItem* item = index >= 0 ? lv.Menu->Items[size_t(index)].get() : nullptr;
    if (item && item->Separator) {
        item = nullptr;
        index = -1;
    }
    // a deeper level stays open only while its opener is the highlighted item
    if (Levels_.size() > level + 1 && (index != lv.Hover || !item || !item->HasSubmenu()))
        Levels_.resize(level + 1);
    Levels_[level].Hover = index;
    if (item && item->HasSubmenu() && Levels_.size() == level + 1) {
        const TRect r = Levels_[level].ItemRects[size_t(index)];
        const int openerLeft = Levels_[level].Rect.Left;
        Levels_.push_back(Layout(*item, Levels_[level].Rect.Right() - 1, r.Top - Border, openerLeft));
    }
}

TMenuItem* TPopupMenu::Choose(TMenuItem* item) {
    Close();
    if (item->OnClick) item->OnClick(*item);
    return item;
}

TMenuItem* TPopupMenu::MouseMove(int x, int y) {
    if (Levels_.empty()) return nullptr;
    if (x != OpenX_ || y != OpenY_) Armed_ = true;
    size_t level = 0;
    int index = -1;
    if (HitLevel(x, y, level, index) && index >= 0) Hover(level, index);
    return nullptr;
}

TMenuItem* TPopupMenu::MouseDown(MouseButton, int x, int y) {
    if (Levels_.empty()) return nullptr;
    size_t level = 0;
    int index = -1;
    if (!HitLevel(x, y, level, index)) {
        Close();
        return nullptr;
    }
    Armed_ = true;
    if (index >= 0) Hover(level, index);
    return nullptr;
}

TMenuItem* TPopupMenu::MouseUp(MouseButton, int x, int y) {
    if (Levels_.empty() || !Armed_) return nullptr;
    size_t level = 0;
    int index = -1;
    if (!HitLevel(x, y, level, index) || index < 0) return nullptr;
    TMenuItem* item = Levels_[level].Menu->Items[size_t(index)].get();
    if (item->Separator || item->HasSubmenu()) return nullptr;
    return Choose(item);
}

TMenuItem* TPopupMenu::KeyDown(Key key) {
    if (Levels_.empty()) return nullptr;
    // keys highlight within the deepest level; only Return opens a submenu
    auto step = [this](int dir) {
        TLevel& lv = Levels_.back();
        const int n = int(lv.Menu->Items.size());
        int i = lv.Hover;
        for (int k = 0; k < n; ++k) {
            i = i < 0 ? (dir > 0 ? 0 : n - 1) : (i + dir + n) % n;
            if (!lv.Menu->Items[size_t(i)]->Separator) {
                lv.Hover = i;
                return;
            }
        }
    };
    switch (key) {
    case Key::Escape:
        if (Levels_.size() > 1) Levels_.pop_back();
        else Close();
        return nullptr;
    case Key::Up: step(-1); return nullptr;
    case Key::Down: step(+1); return nullptr;
    case Key::Return: {
        TMenuItem* item = Hovered();
        if (!item) return nullptr;
        if (!item->HasSubmenu()) return Choose(item);
        const size_t l = Levels_.size() - 1;
        Hover(l, Levels_[l].Hover);
        if (Levels_.size() > l + 1) {
            TLevel& sub = Levels_.back();
            for (size_t i = 0; i < sub.Menu->Items.size(); ++i)
                if (!sub.Menu->Items[i]->Separator) {
                    sub.Hover = int(i);
                    break;
                }
        }
        return nullptr;
    }
    case Key::PageUp:
    case Key::PageDown: return nullptr;
    }
    return nullptr;
}

void TPopupMenu::Paint(TCanvas& canvas) {
    for (const TLevel& lv : Levels_) {
        const TRect& r = lv.Rect;
        canvas.FillRect(r, kFrame);
        canvas.FillRect({r.Left + 1, r.Top + 1, r.Width - 2, r.Height - 2}, kBack);
        for (size_t i = 0; i < lv.ItemRects.size(); ++i) {
            const TMenuItem& it = *lv.Menu->Items[i];
            const TRect ir = lv.ItemRects[i];
            if (it.Separator) {
                canvas.FillRect({ir.Left + 4, ir.Top + ir.Height / 2, ir.Width - 8, 1}, kSeparator);
                continue;
            }
            const bool hi = int(i) == lv.Hover;
            if (hi) canvas.FillRect(ir, kHiBack);
            const uint32_t fg = hi ? kHiText : kText;
            if (Fonts) {
                const int th = Fonts->Ascent(FontHeight, false) + Fonts->Descent(FontHeight, false);
                TCanvas ic = canvas.Child(ir);
                Fonts->DrawText(ic, ItemPadX - Border, (ir.Height - th) / 2, it.Caption, FontHeight,
                                false, fg);
            }
            if (it.HasSubmenu()) {
                // a small right-pointing triangle
                const int cx = ir.Right() - 10, cy = ir.Top + ir.Height / 2;
                for (int k = 0; k < 4; ++k)
                    canvas.FillRect({cx + k, cy - 3 + k, 1, 7 - 2 * k}, fg);
            }
        }
    }
}
