// The run-length coding of BMP pixel data (RLE8 and RLE4), expanded strictly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Expands `data` into `height` rows of `stride` bytes (stride >= width), one
// palette index per byte, in the order the rows appear in the stream. `bits`
// is 8 for RLE8 and 4 for RLE4.
//
// A run that reaches into the row's own padding (up to the 32-bit aligned
// width) is cut at the row's end. A run past that padding or past the last
// row, a move past either, and data that ends before the end-of-bitmap code
// make the whole stream invalid: false is returned. Pixels the stream never
// sets are 0.
bool expand_bmp_rle(std::span<const std::uint8_t> data, int bits, std::uint32_t width,
                    std::uint32_t height, std::size_t stride, std::vector<std::uint8_t>& rows);
