#pragma once
// Text drawing with FreeType from font files held in memory: a regular and a bold face.
// Each instance owns its FreeType library and a glyph cache; window thread only.
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "editor/widgets/Graphics.h"

class TFontSet {
public:
    // The bytes are copied; an empty or unreadable face leaves that style unusable.
    TFontSet(std::span<const uint8_t> regular, std::span<const uint8_t> bold);
    ~TFontSet();
    TFontSet(const TFontSet&) = delete;
    TFontSet& operator=(const TFontSet&) = delete;

    bool Usable(bool bold) const;
    // Metrics for a face set to `pixelHeight` pixels per em.
    int Ascent(int pixelHeight, bool bold);
    int Descent(int pixelHeight, bool bold);   // positive, below the baseline
    int TextWidth(std::string_view utf8, int pixelHeight, bool bold);
    // Draws UTF-8 text with its top (ascent line) at y; alpha-blended, clipped by the canvas.
    void DrawText(TCanvas& canvas, int x, int y, std::string_view utf8, int pixelHeight, bool bold,
                  uint32_t argb);

private:
    struct Glyph {
        int Left = 0, Top = 0, Width = 0, Height = 0, Advance = 0;
        std::vector<uint8_t> Coverage;
    };
    struct Impl;
    const Glyph* GlyphFor(uint32_t codepoint, int pixelHeight, bool bold);
    std::unique_ptr<Impl> P_;
    std::map<uint64_t, Glyph> Cache_;
};

// Decodes one code point, advancing `i`; malformed bytes give U+FFFD.
uint32_t NextCodePoint(std::string_view s, size_t& i);
