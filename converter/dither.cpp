#include "dither.hpp"

#include <algorithm>
#include <cstdint>

namespace {

// Not the textbook Bayer matrix: 2/3, 6/7, 10/11 and 14/15 are swapped. Existing
// artwork was tuned against this pattern, so it must stay exactly as it is.
constexpr std::uint8_t kMatrix[4][4] = {
    {0, 8, 3, 11},
    {12, 4, 15, 7},
    {2, 10, 1, 9},
    {14, 6, 13, 5},
};

} // namespace

int dither_level(int value, int x, int y) {
    // Values outside 0-255 only come from pictures loaded at more than 8 bits
    // per pixel; clamping keeps the arithmetic from overflowing and still
    // yields a colour in 0-3.
    const int v = std::clamp(value, 0, 255);
    // The gray level in sixteenths of one colour step: 0..48.
    const int c = (v * 48 + 144) / 255;
    int level = c >> 4;
    if (kMatrix[y & 3][x & 3] < (c & 15)) {
        ++level;
    }
    return level;
}

void dither(BITMAP* bmp) {
    if (bmp == nullptr) {
        return;
    }
    // An 8-bit memory bitmap can be rewritten through its row pointers, which
    // gives the same values as getpixel/putpixel at a fraction of the cost.
    const bool direct = is_memory_bitmap(bmp) && bitmap_color_depth(bmp) == 8;
    for (int y = 0; y < bmp->h; ++y) {
        std::uint8_t* row = direct ? bmp->line[y] : nullptr;
        for (int x = 0; x < bmp->w; ++x) {
            if (row != nullptr) {
                row[x] = static_cast<std::uint8_t>(dither_level(row[x], x, y));
            } else {
                putpixel(bmp, x, y, dither_level(getpixel(bmp, x, y), x, y));
            }
        }
    }
}
