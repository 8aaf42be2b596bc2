#pragma once
// Pixel types and drawing primitives of the widget kit. Colours are 0xAARRGGBB with straight
// (not premultiplied) alpha. Nothing here knows about windows or displays.
#include <cstddef>
#include <cstdint>
#include <vector>

// A view on pixels owned by someone else; stride is in pixels.
struct PixelBuffer {
    uint32_t* px = nullptr;
    int width = 0, height = 0, stride = 0;
};

struct TRect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int Right() const { return Left + Width; }
    int Bottom() const { return Top + Height; }
    bool Empty() const { return Width <= 0 || Height <= 0; }
    bool Contains(int x, int y) const { return x >= Left && y >= Top && x < Right() && y < Bottom(); }
    TRect Intersect(const TRect& o) const;
    TRect Union(const TRect& o) const;   // an empty side is ignored
    bool operator==(const TRect&) const = default;
};

// The parts of a window to repaint and send, as separate rectangles. A rectangle joins another
// only where painting and sending the two as one costs less than as two: the pixels their
// union adds beyond them are cheaper than the fixed cost of a rectangle of its own.
class TDamage {
public:
    // What a separate rectangle costs (a walk of the control tree, a request to the display),
    // counted in pixels painted and sent: with a moving LFO trace, 16 sent the fewest pixels for
    // no more CPU than larger values in the editor benchmark.
    static constexpr int64_t kRectCost = 16;
    // Beyond this many, a new rectangle joins the one it grows least.
    static constexpr size_t kMaxRects = 32;

    void Add(const TRect& r);
    bool Empty() const { return Rects_.empty(); }
    const std::vector<TRect>& Rects() const { return Rects_; }
    TRect Bounds() const;
    int64_t Area() const;   // of the rectangles, overlaps counted twice
    void Clear() { Rects_.clear(); }
    // Hands the rectangles over and leaves this empty; `out`'s storage is kept for reuse.
    void TakeInto(std::vector<TRect>& out) {
        out.clear();
        out.swap(Rects_);
    }

private:
    std::vector<TRect> Rects_;
};

constexpr uint32_t Argb(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}
constexpr uint8_t AlphaOf(uint32_t c) { return uint8_t(c >> 24); }
constexpr uint32_t RgbOf(uint32_t c) { return c & 0xFFFFFFu; }

// "Over" composition of src onto dst, src alpha first scaled by opacity (0..255).
uint32_t BlendOver(uint32_t dst, uint32_t src, unsigned opacity = 255);

// An owned RGBA image.
struct TBitmap {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;   // row-major, Width * Height
    TBitmap() = default;
    TBitmap(int w, int h, uint32_t fill = 0);
    uint32_t At(int x, int y) const { return Pixels[size_t(y) * size_t(Width) + size_t(x)]; }
    uint32_t& At(int x, int y) { return Pixels[size_t(y) * size_t(Width) + size_t(x)]; }
    bool Empty() const { return Width <= 0 || Height <= 0; }
    PixelBuffer View() { return {Pixels.data(), Width, Height, Width}; }
};

// Drawing target in local coordinates: an origin inside a PixelBuffer and a clip rectangle
// (in buffer coordinates) that every write respects.
class TCanvas {
public:
    explicit TCanvas(PixelBuffer target);
    // A canvas for a child occupying `r` (local coordinates), clipped to it and to this clip.
    TCanvas Child(const TRect& r) const;
    // The clip rectangle in local coordinates.
    TRect LocalClip() const;
    bool Visible(int x, int y) const;

    void SetPixel(int x, int y, uint32_t argb);       // replaces the pixel
    void BlendPixel(int x, int y, uint32_t argb, unsigned opacity = 255);
    uint32_t GetPixel(int x, int y) const;             // 0 outside the clip
    void FillRect(const TRect& r, uint32_t argb);      // replaces
    void BlendRect(const TRect& r, uint32_t argb);

    // Draws src (a part of bmp) into dst, scaled by nearest neighbour when sizes differ.
    // With `masked`, pixels whose colour equals maskRgb (alpha ignored) are skipped.
    void DrawBitmap(const TBitmap& bmp, const TRect& src, const TRect& dst, unsigned opacity = 255,
                    bool masked = false, uint32_t maskRgb = 0xFFFFFF);
    void DrawBitmap(const TBitmap& bmp, int x, int y, unsigned opacity = 255) {
        DrawBitmap(bmp, {0, 0, bmp.Width, bmp.Height}, {x, y, bmp.Width, bmp.Height}, opacity);
    }

    PixelBuffer Target;
    int OriginX = 0, OriginY = 0;
    TRect Clip;   // buffer coordinates
};
