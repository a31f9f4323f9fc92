#include "dither.hpp"

#include <algorithm>
#include <cstdint>

namespace tilecut {

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

int dither_level(int value, std::uint32_t x, std::uint32_t y) {
    // Pixels are bytes, but the level is defined for any value: clamping
    // keeps the arithmetic from overflowing and still yields a colour in 0-3.
    const int v = std::clamp(value, 0, 255);
    // The gray level in sixteenths of one colour step: 0..48.
    const int c = (v * 48 + 144) / 255;
    int level = c >> 4;
    if (kMatrix[y & 3][x & 3] < (c & 15)) {
        ++level;
    }
    return level;
}

void dither(intake::Image& image) {
    for (std::uint32_t y = 0; y < image.height(); ++y) {
        std::uint8_t* row = image.row(y);
        for (std::uint32_t x = 0; x < image.width(); ++x) {
            row[x] = static_cast<std::uint8_t>(dither_level(row[x], x, y));
        }
    }
}

} // namespace tilecut
