// NES tiles from a picture: 8x8 pixels of colours 0-3 in 16 bytes, bit plane
// 0 of rows 0-7 then bit plane 1, the leftmost pixel in the top bit.
#pragma once

#include "image.hpp"

#include <cstdint>
#include <vector>

namespace tilecut {

// Tiles cover the picture rounded up to whole 8x8 cells.
constexpr std::uint32_t padded_size(std::uint32_t n) {
    return (n + 7) / 8 * 8;
}

// Appends the 16-byte tiles of one row of tiles (the cells whose top pixel
// row is `ty`) to `out`, left to right. A pixel's colour is its value mod 4;
// the padding beyond the picture's edges is colour 3.
void encode_tile_row(const intake::Image& image, std::uint32_t ty, std::vector<std::uint8_t>& out);

// All tiles of the picture, tile rows top to bottom.
std::vector<std::uint8_t> encode_tiles(const intake::Image& image);

} // namespace tilecut
