// The run-length coding of BMP pixel data (RLE8 and RLE4), expanded strictly.
#pragma once

#include "readers.hpp"

#include <cstddef>
#include <cstdint>

namespace intake {

// Where each row of the expanded picture goes, in the order the stream
// gives them: stored row r starts at first + r * step.
struct RowMap {
    std::uint8_t* first;
    std::ptrdiff_t step;
    std::uint8_t* row(std::uint32_t r) const {
        return first + static_cast<std::ptrdiff_t>(r) * step;
    }
};

// Expands the stream that `in` reads into `height` rows of `width` pixels,
// one palette index per byte. `bits` is 8 for RLE8 and 4 for RLE4. At most
// `limit` bytes are read: a stream that has not ended by then is refused.
//
// A run that reaches into the row's own padding (up to the 32-bit aligned
// width) is cut at the row's end. A run past that padding or past the last
// row, a move past either, and data that ends before the end-of-bitmap code
// make the whole stream invalid: false is returned. Pixels the stream never
// sets are left as they are (zero in a fresh picture).
bool expand_bmp_rle(Reader& in, std::uint64_t limit, int bits, std::uint32_t width,
                    std::uint32_t height, RowMap rows);

} // namespace intake
