#include "editor/widgets/Text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

struct TFontSet::Impl {
    FT_Library Lib = nullptr;
    std::vector<uint8_t> Bytes[2];
    FT_Face Face[2] = {nullptr, nullptr};
    int SizeSet[2] = {0, 0};

    FT_Face Sized(int pixelHeight, bool bold) {
        FT_Face f = Face[bold ? 1 : 0];
        if (!f || pixelHeight <= 0) return nullptr;
        int& cur = SizeSet[bold ? 1 : 0];
        if (cur != pixelHeight) {
            if (FT_Set_Pixel_Sizes(f, 0, FT_UInt(pixelHeight)) != 0) return nullptr;
            cur = pixelHeight;
        }
        return f;
    }
};

TFontSet::TFontSet(std::span<const uint8_t> regular, std::span<const uint8_t> bold)
    : P_(std::make_unique<Impl>()) {
    if (FT_Init_FreeType(&P_->Lib) != 0) {
        P_->Lib = nullptr;
        return;
    }
    const std::span<const uint8_t> src[2] = {regular, bold};
    for (int i = 0; i < 2; ++i) {
        if (src[i].empty()) continue;
        P_->Bytes[i].assign(src[i].begin(), src[i].end());
        if (FT_New_Memory_Face(P_->Lib, P_->Bytes[i].data(), FT_Long(P_->Bytes[i].size()), 0,
                               &P_->Face[i]) != 0)
            P_->Face[i] = nullptr;
    }
}

TFontSet::~TFontSet() {
    for (FT_Face f : P_->Face)
        if (f) FT_Done_Face(f);
    if (P_->Lib) FT_Done_FreeType(P_->Lib);
}

bool TFontSet::Usable(bool bold) const { return P_->Face[bold ? 1 : 0] != nullptr; }

int TFontSet::Ascent(int pixelHeight, bool bold) {
    FT_Face f = P_->Sized(pixelHeight, bold);
    return f ? int((f->size->metrics.ascender + 63) >> 6) : 0;
}

int TFontSet::Descent(int pixelHeight, bool bold) {
    FT_Face f = P_->Sized(pixelHeight, bold);
    return f ? int((-f->size->metrics.descender + 63) >> 6) : 0;
}

const TFontSet::Glyph* TFontSet::GlyphFor(uint32_t cp, int pixelHeight, bool bold) {
    const uint64_t key = uint64_t(cp) << 24 | uint64_t(pixelHeight & 0x7FFFFF) << 1 | (bold ? 1 : 0);
    if (auto it = Cache_.find(key); it != Cache_.end()) return &it->second;
    FT_Face f = P_->Sized(pixelHeight, bold);
    if (!f || FT_Load_Char(f, cp, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) != 0) return nullptr;
    const FT_GlyphSlot g = f->glyph;
    Glyph out;
    out.Left = g->bitmap_left;
    out.Top = g->bitmap_top;
    out.Width = int(g->bitmap.width);
    out.Height = int(g->bitmap.rows);
    out.Advance = int((g->advance.x + 32) >> 6);
    out.Coverage.resize(size_t(out.Width) * size_t(out.Height));
    if (g->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
        for (int y = 0; y < out.Height; ++y)
            std::copy_n(g->bitmap.buffer + y * g->bitmap.pitch, out.Width,
                        out.Coverage.begin() + y * out.Width);
    return &Cache_.emplace(key, std::move(out)).first->second;
}

int TFontSet::TextWidth(std::string_view s, int pixelHeight, bool bold) {
    int w = 0;
    for (size_t i = 0; i < s.size();)
        if (const Glyph* g = GlyphFor(NextCodePoint(s, i), pixelHeight, bold)) w += g->Advance;
    return w;
}

void TFontSet::DrawText(TCanvas& canvas, int x, int y, std::string_view s, int pixelHeight,
                        bool bold, uint32_t argb) {
    const int baseline = y + Ascent(pixelHeight, bold);
    for (size_t i = 0; i < s.size();) {
        const Glyph* g = GlyphFor(NextCodePoint(s, i), pixelHeight, bold);
        if (!g) continue;
        for (int gy = 0; gy < g->Height; ++gy)
            for (int gx = 0; gx < g->Width; ++gx) {
                const unsigned cov = g->Coverage[size_t(gy) * size_t(g->Width) + size_t(gx)];
                if (cov) canvas.BlendPixel(x + g->Left + gx, baseline - g->Top + gy, argb, cov);
            }
        x += g->Advance;
    }
}

uint32_t NextCodePoint(std::string_view s, size_t& i) {
    const auto b0 = uint8_t(s[i++]);
    if (b0 < 0x80) return b0;
    int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
    if (extra < 0 || b0 >= 0xF8) return 0xFFFD;
    uint32_t cp = b0 & (0x3Fu >> extra);
    for (; extra > 0; --extra) {
        if (i >= s.size() || (uint8_t(s[i]) & 0xC0) != 0x80) return 0xFFFD;
        cp = cp << 6 | (uint8_t(s[i++]) & 0x3Fu);
    }
    return cp;
}
