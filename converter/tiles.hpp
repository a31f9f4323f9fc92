#pragma once

#include <allegro.h>

#include <cstdint>
#include <vector>

// Tiles cover the picture rounded up to whole 8x8 cells.
constexpr int padded_size(int n) {
    return (n + 7) / 8 * 8;
}

// Appends the 16-byte tiles of one row of tiles (the cells whose top pixel
// row is `ty`) to `out`, left to right. Pixels outside the bitmap read as -1
// and so come out as colour 3.
void encode_tile_row(BITMAP* bmp, int ty, std::vector<std::uint8_t>& out);

// All tiles of the picture, tile rows top to bottom.
std::vector<std::uint8_t> encode_tiles(BITMAP* bmp);
