#pragma once
// PNG decoding from memory into straight-alpha 0xAARRGGBB.
#include <cstdint>
#include <span>

#include "editor/widgets/Graphics.h"

// False (and `out` untouched) when the data is not a PNG image libpng can read.
bool DecodePng(std::span<const uint8_t> data, TBitmap& out);
