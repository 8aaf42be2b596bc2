#include "editor/widgets/Png.h"

#include <png.h>

#include <cstring>
#include <vector>

bool DecodePng(std::span<const uint8_t> data, TBitmap& out) {
    if (data.empty()) return false;
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, data.data(), data.size())) return false;
    img.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&img);
        return false;
    }
    TBitmap b(int(img.width), int(img.height));
    for (size_t i = 0; i < b.Pixels.size(); ++i) {
        const uint8_t* p = &rgba[i * 4];
        b.Pixels[i] = Argb(p[3], p[0], p[1], p[2]);
    }
    out = std::move(b);
    return true;
}
