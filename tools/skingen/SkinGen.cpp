// Writes the editor's skin pictures and control bitmaps as RGBA PNG files. Deterministic: the
// same fonts give the same bytes. Usage: skingen <resources folder>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "editor/widgets/DIBGlyphButton.h"
#include "editor/widgets/DIBImageList.h"
#include "editor/widgets/DIBSlider.h"
#include "editor/widgets/Graphics.h"
#include "editor/widgets/StdControls.h"
#include "editor/widgets/Text.h"

namespace {

using Wide = double;

// Front picture coordinates are the controls' coordinates minus the picture's place (2, 3).
constexpr int kPicX = 2, kPicY = 3;

uint32_t Mix(uint32_t a, uint32_t b, Wide t) {
    auto ch = [&](int s) {
        const Wide v = Wide((a >> s) & 0xFF) * (1 - t) + Wide((b >> s) & 0xFF) * t;
        return uint32_t(std::lround(std::clamp(v, 0.0, 255.0))) << s;
    };
    return ch(24) | ch(16) | ch(8) | ch(0);
}

// Signed distance from a pixel centre to a rounded rectangle (negative inside).
Wide RoundRectDistance(Wide px, Wide py, Wide x0, Wide y0, Wide x1, Wide y1, Wide r) {
    const Wide cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    const Wide hx = (x1 - x0) / 2 - r, hy = (y1 - y0) / 2 - r;
    const Wide qx = std::abs(px - cx) - hx, qy = std::abs(py - cy) - hy;
    const Wide ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - r;
}

// Fills a rounded rectangle [x0, x1) x [y0, y1) with a vertical gradient. `crisp` gives hard
// edges, for bitmaps whose ground is the mask colour and must not fringe.
void RoundRect(TBitmap& b, Wide x0, Wide y0, Wide x1, Wide y1, Wide r, uint32_t top,
               uint32_t bottom, bool crisp = false) {
    const int iy0 = std::max(0, int(std::floor(y0))), iy1 = std::min(b.Height, int(std::ceil(y1)));
    const int ix0 = std::max(0, int(std::floor(x0))), ix1 = std::min(b.Width, int(std::ceil(x1)));
    TCanvas c(b.View());
    for (int y = iy0; y < iy1; ++y) {
        const uint32_t col = Mix(top, bottom, y1 - y0 > 1 ? (y + 0.5 - y0) / (y1 - y0) : 0);
        for (int x = ix0; x < ix1; ++x) {
            const Wide d = RoundRectDistance(x + 0.5, y + 0.5, x0, y0, x1, y1, r);
            Wide cov = std::clamp(0.5 - d, 0.0, 1.0);
            if (crisp) cov = cov >= 0.5 ? 1 : 0;
            if (cov <= 0) continue;
            c.BlendPixel(x, y, col, unsigned(std::lround(cov * 255)));
        }
    }
}

void Rect(TBitmap& b, int x, int y, int w, int h, uint32_t col) {
    TCanvas c(b.View());
    c.BlendRect({x, y, w, h}, col);
}

class TSkin {
public:
    TSkin(std::vector<uint8_t> regular, std::vector<uint8_t> bold) : Fonts(regular, bold) {}

    void Text(TBitmap& b, int x, int y, const std::string& s, int px, bool bold, uint32_t col) {
        TCanvas c(b.View());
        Fonts.DrawText(c, x, y, s, px, bold, col);
    }
    // Centred on cx, with the text's top at y.
    void TextC(TBitmap& b, int cx, int y, const std::string& s, int px, bool bold, uint32_t col) {
        Text(b, cx - Fonts.TextWidth(s, px, bold) / 2, y, s, px, bold, col);
    }
    int Width(const std::string& s, int px, bool bold) { return Fonts.TextWidth(s, px, bold); }

    TFontSet Fonts;
};

// Palette.
constexpr uint32_t kPanelTop = Argb(255, 0x34, 0x37, 0x3D);
constexpr uint32_t kPanelBottom = Argb(255, 0x1F, 0x21, 0x25);
constexpr uint32_t kRim = Argb(255, 0x0C, 0x0D, 0x0F);
constexpr uint32_t kHighlight = Argb(70, 0xFF, 0xFF, 0xFF);
constexpr uint32_t kStripTop = Argb(255, 0x46, 0x4A, 0x52);
constexpr uint32_t kStripBottom = Argb(255, 0x2C, 0x2F, 0x34);
constexpr uint32_t kCaption = Argb(255, 0xF0, 0xB0, 0x4A);
constexpr uint32_t kLabel = Argb(255, 0xC8, 0xCC, 0xD2);
constexpr uint32_t kDim = Argb(255, 0x80, 0x86, 0x8E);

// A dark panel with a rim, a top sheen and, when captioned, a caption strip.
void Panel(TSkin& s, TBitmap& b, int x0, int y0, int x1, int y1, const std::string& caption,
           int stripHeight = 15, int captionPx = 10) {
    RoundRect(b, x0, y0, x1, y1, 6, kRim, kRim);
    RoundRect(b, x0 + 1, y0 + 1, x1 - 1, y1 - 1, 5, kPanelTop, kPanelBottom);
    Rect(b, x0 + 6, y0 + 1, x1 - x0 - 12, 1, kHighlight);
    if (caption.empty()) return;
    RoundRect(b, x0 + 3, y0 + 3, x1 - 3, y0 + 3 + stripHeight, 3, kStripTop, kStripBottom);
    Rect(b, x0 + 5, y0 + 3 + stripHeight, x1 - x0 - 10, 1, Argb(90, 0, 0, 0));
    const int th = s.Fonts.Ascent(captionPx, true) + s.Fonts.Descent(captionPx, true);
    s.Text(b, x0 + 9, y0 + 3 + (stripHeight - th + 1) / 2, caption, captionPx, true, kCaption);
}

// A recessed socket for the selection dot, centred where the dot is drawn.
void DotSocket(TBitmap& b, int dotLeft, int dotTop) {
    const int x = dotLeft - kPicX, y = dotTop - kPicY;
    RoundRect(b, x - 1, y - 1, x + 8, y + 9, 4, Argb(255, 0x10, 0x11, 0x13), Argb(255, 0x3A, 0x3D, 0x43));
}

struct TSliderLabel {
    int Left, Top;
    const char* Label;
};

// Controls' positions, as the form places them.
constexpr TSliderLabel kSliders[] = {
    {8, 123, "Fbck"},   {47, 123, "Dmp-"},  {86, 123, "Dmp+"},  {132, 123, "Amp"},
    {172, 123, "Ctrl1"}, {211, 123, "Ctrl2"}, {257, 123, "Del"},  {297, 123, "Fbck"},
    {336, 123, "Dmp"},  {383, 123, "Frq"},  {421, 123, "Dpt"},  {460, 123, "Fbck"},
    {8, 256, "Sr"},     {47, 256, "Bd"},    {86, 255, "Sat"},   {132, 256, "Sp"},
    {172, 256, "Qtz"},  {211, 256, "Var"},  {257, 256, "Ton"},  {297, 256, "Fbck"},
    {336, 256, "Dmp"},  {383, 256, "Sel"},  {421, 256, "Root"}, {460, 255, "Fbck"},
    {510, 122, "Wav"},  {549, 122, "Amp"},  {588, 123, "Pha"},  {510, 256, "Sel"},
    {549, 256, "Mix"},  {588, 256, "Amp"},
};
constexpr int kSliderW = 35, kSliderH = 99, kButtonW = 35, kButtonH = 29;
constexpr int kButtonLefts[] = {10, 50, 90, 130, 170, 210, 250, 290};
constexpr int kFxRowTop = 20, kSvRowTop = 72;
// Panels in control coordinates: left, right edges; rows: top, bottom.
struct TPanel {
    int X0, X1;
    const char* Caption;
    int DotLeft;   // -1: no selection dot
};
constexpr TPanel kTopPanels[] = {{4, 126, "Synced delay", 107}, {128, 251, "Glide & Drift", 231},
                                 {253, 376, "Flanger", 357},    {379, 500, "Phaser", 481},
                                 {505, 627, "LFO", -1}};
constexpr TPanel kBottomPanels[] = {{4, 126, "Decimator", 107}, {128, 251, "Realtime slicer", 231},
                                    {253, 376, "Ringer", 357},  {379, 500, "TriCombs", 481},
                                    {505, 627, "Output", -1}};
constexpr int kTopRowY0 = 106, kTopRowY1 = 239, kBottomRowY0 = 240, kBottomRowY1 = 373;
constexpr int kDotTopRow = 111, kDotBottomRow = 244;

// The window in a trigger glyph through which the front picture's number shows.
constexpr int kWinX = 6, kWinY = 12, kWinW = 23, kWinH = 12;

TBitmap Front(TSkin& s) {
    TBitmap b(627, 373, 0);
    auto P = [](int v, int off) { return v - off; };
    // trigger rows
    Panel(s, b, P(4, kPicX), P(3, kPicY), P(332, kPicX), P(54, kPicY), "Effect triggers", 12, 9);
    Panel(s, b, P(4, kPicX), P(55, kPicY), P(332, kPicX), P(105, kPicY),
          "Synced value triggers: length in eighths", 12, 9);
    for (int i = 0; i < 8; ++i) {
        for (int row = 0; row < 2; ++row) {
            const int top = row == 0 ? kFxRowTop : kSvRowTop;
            const int x = kButtonLefts[i] - kPicX, y = top - kPicY;
            // a shadowed seat for the button; the number shows through the glyph's window
            RoundRect(b, x - 1, y - 1, x + kButtonW + 1, y + kButtonH + 2, 4, Argb(255, 8, 8, 9),
                      Argb(255, 8, 8, 9));
            Rect(b, x + kWinX, y + kWinY, kWinW, kWinH, Argb(255, 0x12, 0x13, 0x15));
            const std::string label = row == 0 ? std::to_string(i + 1) : std::to_string(i + 1) + "/8";
            s.TextC(b, x + kWinX + kWinW / 2, y + kWinY + 1, label, 9, true,
                    row == 0 ? kCaption : Argb(255, 0x9A, 0xD0, 0xF0));
        }
    }
    // LFO monitor: a pale screen under the traces, which are drawn red with black edges
    Panel(s, b, P(338, kPicX), P(4, kPicY), P(462, kPicX), P(104, kPicY), "");
    {
        const int x = 344 - kPicX, y = 9 - kPicY;
        RoundRect(b, x - 2, y - 2, x + 113, y + 92, 3, Argb(255, 6, 6, 7), Argb(255, 6, 6, 7));
        RoundRect(b, x, y, x + 111, y + 90, 2, Argb(255, 0xC4, 0xCE, 0xBC), Argb(255, 0xA8, 0xB4, 0xA0));
        for (int gx = 1; gx < 111; gx += 11) Rect(b, x + gx, y + 1, 1, 88, Argb(40, 0x20, 0x40, 0x20));
        for (int gy = 0; gy <= 90; gy += 15) Rect(b, x + 1, y + gy, 109, 1, Argb(40, 0x20, 0x40, 0x20));
        Rect(b, x + 1, y + 45, 109, 1, Argb(80, 0x20, 0x40, 0x20));
        s.Text(b, x + 3, y + 2, "LFO", 8, true, Argb(150, 0x20, 0x30, 0x20));
    }
    // logo box over the logo zone
    {
        const int x0 = 468 - kPicX, y0 = 4 - kPicY, x1 = 627 - kPicX, y1 = 104 - kPicY;
        RoundRect(b, x0, y0, x1, y1, 8, kRim, kRim);
        RoundRect(b, x0 + 1, y0 + 1, x1 - 1, y1 - 1, 7, Argb(255, 0x3C, 0x30, 0x22),
                  Argb(255, 0x16, 0x14, 0x12));
        Rect(b, x0 + 8, y0 + 1, x1 - x0 - 16, 1, Argb(90, 0xFF, 0xD0, 0x90));
        const int cx = (x0 + x1) / 2;
        s.TextC(b, cx, y0 + 12, "Quenby", 24, true, Argb(255, 0xF4, 0xB6, 0x4C));
        s.TextC(b, cx, y0 + 41, "FX Free", 14, true, Argb(255, 0xE8, 0xE8, 0xEA));
        // a short sine stroke as an emblem
        TCanvas c(b.View());
        for (int i = 0; i <= 96; ++i) {
            const Wide t = i / 96.0;
            const Wide yy = y0 + 66 + 4 * std::sin(t * 6.2831853071795 * 2);
            const int xi = cx - 48 + i, yi = int(std::floor(yy));
            const Wide f = yy - yi;
            c.BlendPixel(xi, yi, Argb(255, 0xF0, 0xB0, 0x4A), unsigned(std::lround((1 - f) * 255)));
            c.BlendPixel(xi, yi + 1, Argb(255, 0xF0, 0xB0, 0x4A), unsigned(std::lround(f * 255)));
        }
        s.TextC(b, cx, y0 + 78, "Norvell Audio", 9, false, kDim);
    }
    // effect, LFO and output panels
    for (int row = 0; row < 2; ++row) {
        const TPanel* panels = row == 0 ? kTopPanels : kBottomPanels;
        const int y0 = row == 0 ? kTopRowY0 : kBottomRowY0, y1 = row == 0 ? kTopRowY1 : kBottomRowY1;
        for (int i = 0; i < 5; ++i) {
            const TPanel& p = panels[i];
            Panel(s, b, p.X0 - kPicX, y0 - kPicY, p.X1 - kPicX, y1 - kPicY, p.Caption);
            if (p.DotLeft >= 0) DotSocket(b, p.DotLeft, row == 0 ? kDotTopRow : kDotBottomRow);
        }
    }
    for (const TSliderLabel& sl : kSliders) {
        const int x = sl.Left - kPicX, y = sl.Top - kPicY;
        // a recess behind the slider, so its transparent parts read as a channel
        RoundRect(b, x + 3, y + 1, x + kSliderW - 3, y + kSliderH - 1, 3, Argb(120, 0, 0, 0),
                  Argb(60, 0, 0, 0));
        s.TextC(b, x + kSliderW / 2, y + kSliderH + 2, sl.Label, 9, true, kLabel);
    }
    return b;
}

TBitmap Full(TSkin& s) {
    TBitmap b(597, 331, 0);
    RoundRect(b, 0, 0, 597, 331, 12, kRim, kRim);
    RoundRect(b, 1, 1, 596, 330, 11, Argb(255, 0x32, 0x35, 0x3B), Argb(255, 0x17, 0x18, 0x1B));
    Rect(b, 12, 1, 573, 1, kHighlight);
    s.TextC(b, 298, 26, "Quenby FX Free", 34, true, Argb(255, 0xF4, 0xB6, 0x4C));
    s.TextC(b, 298, 72, "QBFX F 1.148", 13, true, Argb(255, 0xE8, 0xE8, 0xEA));
    s.TextC(b, 298, 92, "Norvell Audio", 12, false, kLabel);
    Rect(b, 60, 118, 477, 1, Argb(255, 0x55, 0x59, 0x60));
    const char* left[] = {"Eight live effects, one at a time:",
                          "Synced delay, Glide & Drift, Flanger, Phaser,",
                          "Decimator, Realtime slicer, Ringer, TriCombs.",
                          "",
                          "Effect triggers select the effect.",
                          "Synced value triggers open the wet signal",
                          "for one to eight eighths, in tempo.",
                          "A tempo-synced LFO modulates the effects."};
    const char* right[] = {"Right Ctrl + Mix slider:",
                           "   define the max mix of the current effect.",
                           "Double click on the panel: performer view.",
                           "Right click: reset, colours, max mix.",
                           "Left Ctrl + left Shift: colour play.",
                           "MIDI notes fire the triggers; controllers",
                           "follow the map in Data/QBFX_F.ini.",
                           ""};
    for (int i = 0; i < 8; ++i) {
        s.Text(b, 40, 134 + i * 17, left[i], 11, false, kLabel);
        s.Text(b, 318, 134 + i * 17, right[i], 11, false, kLabel);
    }
    Rect(b, 60, 283, 477, 1, Argb(255, 0x55, 0x59, 0x60));
    s.TextC(b, 298, 292, "Design, code and sound: Norvell Audio", 11, true, kCaption);
    s.TextC(b, 298, 309, "Text set in DejaVu Sans.  Click to return to the panel.", 9, false, kDim);
    return b;
}

TBitmap StatusBar() {
    TBitmap b(625, 20, 0);
    // frames behind the five status texts (their lefts and widths in the bar's container,
    // which places this picture at 3, 1)
    const int fields[][2] = {{7, 50}, {68, 60}, {145, 38}, {206, 290}, {510, 110}};
    for (const auto& f : fields) {
        const int x0 = f[0] - 3 - 4, x1 = f[0] - 3 + f[1] + 3;
        RoundRect(b, x0, 0, x1, 20, 5, Argb(255, 0x14, 0x15, 0x17), Argb(255, 0x14, 0x15, 0x17));
        RoundRect(b, x0 + 1, 1, x1 - 1, 19, 4, Argb(255, 0xDA, 0xDF, 0xD4), Argb(255, 0xB9, 0xC1, 0xB2));
        Rect(b, x0 + 4, 1, x1 - x0 - 8, 1, Argb(160, 0xFF, 0xFF, 0xFF));
    }
    return b;
}

TBitmap SelDot() {
    TBitmap b(7, 8, 0);
    RoundRect(b, 0, 0.5, 7, 7.5, 3.5, Argb(255, 0x60, 0x14, 0x06), Argb(255, 0x60, 0x14, 0x06));
    RoundRect(b, 0.8, 1.3, 6.2, 6.7, 2.7, Argb(255, 0xFF, 0xC8, 0x50), Argb(255, 0xE0, 0x50, 0x10));
    RoundRect(b, 2, 2, 4, 3.6, 0.8, Argb(200, 0xFF, 0xFF, 0xE0), Argb(200, 0xFF, 0xFF, 0xE0));
    return b;
}

// Masked bitmaps: white is the transparent colour, so the ground is opaque-free white.
constexpr uint32_t kMaskWhite = Argb(0, 0xFF, 0xFF, 0xFF);

TBitmap SliderBackground() {
    TBitmap b(35, 91, kMaskWhite);
    // ticks on both sides of the slot
    for (int i = 0; i <= 10; ++i) {
        const int y = 14 + i * 63 / 10;
        const int len = i % 5 == 0 ? 6 : 4;
        Rect(b, 10 - len, y, len, 1, Argb(255, 0x8A, 0x90, 0x98));
        Rect(b, 25, y, len, 1, Argb(255, 0x8A, 0x90, 0x98));
    }
    // the slot
    RoundRect(b, 14, 10, 21, 81, 3, Argb(255, 0x05, 0x05, 0x06), Argb(255, 0x05, 0x05, 0x06), true);
    RoundRect(b, 15, 11, 20, 80, 2, Argb(255, 0x1A, 0x1B, 0x1E), Argb(255, 0x2A, 0x2C, 0x30), true);
    Rect(b, 17, 13, 1, 65, Argb(255, 0x44, 0x47, 0x4D));
    return b;
}

TBitmap SliderPointer() {
    TBitmap b(35, 29, kMaskWhite);
    RoundRect(b, 4, 1, 31, 28, 3, Argb(255, 0x08, 0x08, 0x09), Argb(255, 0x08, 0x08, 0x09), true);
    RoundRect(b, 5, 2, 30, 27, 2, Argb(255, 0xC8, 0xCC, 0xD2), Argb(255, 0x5C, 0x60, 0x68), true);
    RoundRect(b, 6, 3, 29, 14, 2, Argb(255, 0xDD, 0xE0, 0xE4), Argb(255, 0x9A, 0x9E, 0xA6), true);
    for (int y : {6, 9, 19, 22}) {
        Rect(b, 9, y, 17, 1, Argb(255, 0x4A, 0x4D, 0x54));
        Rect(b, 9, y + 1, 17, 1, Argb(255, 0xE6, 0xE8, 0xEC));
    }
    // the indicator line marks the value
    Rect(b, 6, 14, 23, 1, Argb(255, 0x40, 0x16, 0x04));
    Rect(b, 6, 15, 23, 1, Argb(255, 0xF2, 0x8C, 0x28));
    return b;
}

void TriggerFrame(TBitmap& b, int ox, bool pressed) {
    const uint32_t faceTop = pressed ? Argb(255, 0x3E, 0x41, 0x48) : Argb(255, 0x6A, 0x6E, 0x77);
    const uint32_t faceBottom = pressed ? Argb(255, 0x2A, 0x2C, 0x31) : Argb(255, 0x3A, 0x3D, 0x43);
    RoundRect(b, ox + 0, 0, ox + 35, 29, 4, Argb(255, 0x06, 0x06, 0x07), Argb(255, 0x06, 0x06, 0x07), true);
    RoundRect(b, ox + 1, 1, ox + 34, 28, 3, faceTop, faceBottom, true);
    if (!pressed) Rect(b, ox + 3, 1, 29, 1, Argb(255, 0x9A, 0x9E, 0xA6));
    else Rect(b, ox + 3, 27, 29, 1, Argb(255, 0x50, 0x53, 0x5A));
    // the lamp
    const uint32_t lampOn = Argb(255, 0xFF, 0xA8, 0x30), lampOff = Argb(255, 0x4A, 0x22, 0x10);
    Rect(b, ox + 10, 4, 15, 5, Argb(255, 0x0A, 0x0A, 0x0B));
    Rect(b, ox + 11, 5, 13, 3, pressed ? lampOn : lampOff);
    if (pressed) Rect(b, ox + 12, 5, 11, 1, Argb(255, 0xFF, 0xE8, 0xB0));
    // a bezel around the window, and the window itself in the mask colour
    Rect(b, ox + kWinX - 1, kWinY - 1, kWinW + 2, kWinH + 2, Argb(255, 0x0A, 0x0A, 0x0B));
    Rect(b, ox + kWinX, kWinY, kWinW, kWinH, Argb(255, 0xFF, 0xFF, 0xFF));
    if (pressed) {
        // a lit rim around the window shows the press even in peripheral vision
        Rect(b, ox + kWinX - 2, kWinY + kWinH + 1, kWinW + 4, 1, Argb(255, 0xF2, 0x8C, 0x28));
    }
}

TBitmap TriggerStrip() {
    TBitmap b(70, 29, kMaskWhite);
    TriggerFrame(b, 0, false);
    TriggerFrame(b, 35, true);
    return b;
}

bool WritePng(const std::string& path, const TBitmap& b) {
    std::vector<uint8_t> rgba(b.Pixels.size() * 4);
    for (size_t i = 0; i < b.Pixels.size(); ++i) {
        const uint32_t p = b.Pixels[i];
        rgba[i * 4 + 0] = uint8_t(p >> 16);
        rgba[i * 4 + 1] = uint8_t(p >> 8);
        rgba[i * 4 + 2] = uint8_t(p);
        rgba[i * 4 + 3] = uint8_t(p >> 24);
    }
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = png_uint_32(b.Width);
    img.height = png_uint_32(b.Height);
    img.format = PNG_FORMAT_RGBA;
    const bool ok = png_image_write_to_file(&img, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
    if (!ok) std::fprintf(stderr, "skingen: cannot write %s: %s\n", path.c_str(), img.message);
    return ok;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The panel as the editor composes it, to judge the art in place.
TBitmap Preview(TSkin& s, uint32_t colour) {
    TDIBImageList list;
    list.Add(SliderBackground());
    list.Add(SliderPointer());
    list.Add(TriggerStrip());
    TDIBContainer root;
    root.SetBounds(0, 0, 632, 395);
    root.Color = colour;
    auto& frt = root.Add<TDIBContainer>(0, 0, 632, 372);
    frt.Add<TImage>(2, 3, 632, 372).SetPicture(std::make_shared<TBitmap>(Front(s)));
    int k = 0;
    for (const TSliderLabel& sl : kSliders) {
        auto& sd = frt.Add<TDIBSlider>(sl.Left, sl.Top, kSliderW, kSliderH);
        sd.SetImages(&list, 0, 1);
        sd.SetPosition((k++ * 37) % 101);
    }
    for (int i = 0; i < 8; ++i)
        for (int top : {kFxRowTop, kSvRowTop}) {
            auto& b = frt.Add<TDIBGlyphButton>(kButtonLefts[i], top, kButtonW, kButtonH);
            b.SetGlyph(&list, 2);
            b.SetDown((top == kFxRowTop && i == 2) || (top == kSvRowTop && i == 3));
        }
    frt.Add<TImage>(357, 111, 12, 13).SetPicture(std::make_shared<TBitmap>(SelDot()));
    auto& info = root.Add<TDIBContainer>(0, 372, 631, 25);
    info.Add<TImage>(3, 1, 630, 22).SetPicture(std::make_shared<TBitmap>(StatusBar()));
    const int fields[][2] = {{7, 50}, {68, 60}, {145, 38}, {206, 290}, {510, 110}};
    const char* texts[] = {"2 Hz", "500 ms", "0.85", "Flanger feedback amount", "QBFX F 1.148"};
    for (int i = 0; i < 5; ++i) {
        auto& t = info.Add<TStaticText>(fields[i][0], 4, fields[i][1], 13, &s.Fonts);
        t.FontHeight = 9;
        t.Bold = true;
        t.SetCaption(texts[i]);
    }
    TBitmap out(632, 395);
    root.PaintArea(out.View(), {0, 0, 632, 395});
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: skingen <resources folder> [preview.png]\n");
        return 2;
    }
    const std::string dir = argv[1];
    TSkin skin(ReadFile(dir + "/fonts/DejaVuSans.ttf"), ReadFile(dir + "/fonts/DejaVuSans-Bold.ttf"));
    if (!skin.Fonts.Usable(false) || !skin.Fonts.Usable(true)) {
        std::fprintf(stderr, "skingen: fonts not found under %s/fonts\n", dir.c_str());
        return 1;
    }
    bool ok = WritePng(dir + "/front.png", Front(skin));
    ok = WritePng(dir + "/full.png", Full(skin)) && ok;
    ok = WritePng(dir + "/infos.png", StatusBar()) && ok;
    ok = WritePng(dir + "/seldot.png", SelDot()) && ok;
    ok = WritePng(dir + "/slider_back.png", SliderBackground()) && ok;
    ok = WritePng(dir + "/slider_pointer.png", SliderPointer()) && ok;
    ok = WritePng(dir + "/trigger.png", TriggerStrip()) && ok;
    if (argc == 3) ok = WritePng(argv[2], Preview(skin, Argb(255, 192, 192, 192))) && ok;
    return ok ? 0 : 1;
}
