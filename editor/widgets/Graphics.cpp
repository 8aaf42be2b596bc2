#include "editor/widgets/Graphics.h"

#include <algorithm>
#include <cstdint>

TRect TRect::Intersect(const TRect& o) const {
    const int l = std::max(Left, o.Left), t = std::max(Top, o.Top);
    const int r = std::min(Right(), o.Right()), b = std::min(Bottom(), o.Bottom());
    if (r <= l || b <= t) return {l, t, 0, 0};
    return {l, t, r - l, b - t};
}

TRect TRect::Union(const TRect& o) const {
    if (o.Empty()) return *this;
    if (Empty()) return o;
    const int l = std::min(Left, o.Left), t = std::min(Top, o.Top);
    const int r = std::max(Right(), o.Right()), b = std::max(Bottom(), o.Bottom());
    return {l, t, r - l, b - t};
}

namespace {
int64_t AreaOf(const TRect& r) { return r.Empty() ? 0 : int64_t(r.Width) * r.Height; }
}  // namespace

void TDamage::Add(const TRect& add) {
    if (add.Empty()) return;
    TRect r = add;
    for (size_t i = 0; i < Rects_.size();) {
        const TRect& q = Rects_[i];
        const TRect u = q.Union(r);
        // the union costs its pixels once; apart, the two cost theirs (the overlap twice) and
        // one more rectangle
        if (AreaOf(u) <= AreaOf(q) + AreaOf(r) + kRectCost) {
            r = u;
            Rects_.erase(Rects_.begin() + std::ptrdiff_t(i));
            i = 0;   // the grown rectangle may now join one it passed
            continue;
        }
        ++i;
    }
    if (Rects_.size() < kMaxRects) {
        Rects_.push_back(r);
        return;
    }
    size_t best = 0;
    int64_t growth = INT64_MAX;
    for (size_t i = 0; i < Rects_.size(); ++i) {
        const int64_t g = AreaOf(Rects_[i].Union(r)) - AreaOf(Rects_[i]);
        if (g < growth) {
            growth = g;
            best = i;
        }
    }
    const TRect u = Rects_[best].Union(r);
    Rects_.erase(Rects_.begin() + std::ptrdiff_t(best));
    Add(u);
}

TRect TDamage::Bounds() const {
    TRect b;
    for (const TRect& r : Rects_) b = b.Union(r);
    return b;
}

int64_t TDamage::Area() const {
    int64_t a = 0;
    for (const TRect& r : Rects_) a += AreaOf(r);
    return a;
}

uint32_t BlendOver(uint32_t dst, uint32_t src, unsigned opacity) {
    const unsigned sa = (AlphaOf(src) * opacity + 127) / 255;
    if (sa == 0) return dst;
    if (sa == 255) return src;
    const unsigned da = AlphaOf(dst);
    // out alpha = sa + da (1 - sa), all in 0..255 units scaled by 255
    const unsigned oa255 = sa * 255 + da * (255 - sa);
    if (oa255 == 0) return 0;
    auto channel = [&](int shift) {
        const unsigned s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
        const unsigned num = s * sa * 255 + d * da * (255 - sa);
        return (num + oa255 / 2) / oa255;
    };
    const unsigned oa = (oa255 + 127) / 255;
    return uint32_t(oa) << 24 | uint32_t(channel(16)) << 16 | uint32_t(channel(8)) << 8 |
           uint32_t(channel(0));
}

TBitmap::TBitmap(int w, int h, uint32_t fill)
    : Width(std::max(w, 0)), Height(std::max(h, 0)),
      Pixels(size_t(std::max(w, 0)) * size_t(std::max(h, 0)), fill) {}

TCanvas::TCanvas(PixelBuffer target) : Target(target), Clip{0, 0, target.width, target.height} {}

TCanvas TCanvas::Child(const TRect& r) const {
    TCanvas c = *this;
    c.OriginX = OriginX + r.Left;
    c.OriginY = OriginY + r.Top;
    c.Clip = Clip.Intersect({c.OriginX, c.OriginY, r.Width, r.Height});
    return c;
}

TRect TCanvas::LocalClip() const {
    return {Clip.Left - OriginX, Clip.Top - OriginY, Clip.Width, Clip.Height};
}

bool TCanvas::Visible(int x, int y) const {
    return Target.px && Clip.Contains(x + OriginX, y + OriginY);
}

void TCanvas::SetPixel(int x, int y, uint32_t argb) {
    if (!Visible(x, y)) return;
    Target.px[size_t(y + OriginY) * size_t(Target.stride) + size_t(x + OriginX)] = argb;
}

void TCanvas::BlendPixel(int x, int y, uint32_t argb, unsigned opacity) {
    if (!Visible(x, y)) return;
    uint32_t& d = Target.px[size_t(y + OriginY) * size_t(Target.stride) + size_t(x + OriginX)];
    d = BlendOver(d, argb, opacity);
}

uint32_t TCanvas::GetPixel(int x, int y) const {
    if (!Visible(x, y)) return 0;
    return Target.px[size_t(y + OriginY) * size_t(Target.stride) + size_t(x + OriginX)];
}

void TCanvas::FillRect(const TRect& r, uint32_t argb) {
    const TRect c = r.Intersect(LocalClip());
    for (int y = c.Top; y < c.Bottom(); ++y)
        for (int x = c.Left; x < c.Right(); ++x) SetPixel(x, y, argb);
}

void TCanvas::BlendRect(const TRect& r, uint32_t argb) {
    const TRect c = r.Intersect(LocalClip());
    for (int y = c.Top; y < c.Bottom(); ++y)
        for (int x = c.Left; x < c.Right(); ++x) BlendPixel(x, y, argb);
}

void TCanvas::DrawBitmap(const TBitmap& bmp, const TRect& src, const TRect& dst, unsigned opacity,
                         bool masked, uint32_t maskRgb) {
    const TRect s = src.Intersect({0, 0, bmp.Width, bmp.Height});
    if (s.Empty() || dst.Empty() || s != src) return;
    const TRect c = dst.Intersect(LocalClip());
    for (int y = c.Top; y < c.Bottom(); ++y) {
        const int sy = s.Top + int(int64_t(y - dst.Top) * s.Height / dst.Height);
        for (int x = c.Left; x < c.Right(); ++x) {
            const int sx = s.Left + int(int64_t(x - dst.Left) * s.Width / dst.Width);
            const uint32_t p = bmp.At(sx, sy);
            if (masked && RgbOf(p) == maskRgb) continue;
            BlendPixel(x, y, p, opacity);
        }
    }
}
