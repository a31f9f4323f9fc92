#include "rle.hpp"

#include <algorithm>

namespace {

class Expander {
  public:
    Expander(int bits, std::uint32_t width, std::uint32_t height, std::size_t stride,
             std::vector<std::uint8_t>& rows)
        : width_(width), height_(height), stride_(stride), rows_(rows),
          // Rows are stored padded to 32 bits: 4 pixels of RLE8, 8 of RLE4.
          aligned_(bits == 8 ? (width + 3) / 4 * 4 : (width + 7) / 8 * 8) {}

    // Room for n more pixels on the current row, padding included.
    bool fits(std::uint32_t n) const { return row_ < height_ && aligned_ - x_ >= n; }

    // Pixel i of a run; those in the row's padding are dropped.
    void put(std::uint32_t i, std::uint8_t value) {
        const std::uint32_t x = x_ + i;
        if (x < width_) {
            const std::size_t at = static_cast<std::size_t>(row_) * stride_ + x;
            if (rows_.size() <= at) {
                // Grown as the stream gets there, so that a damaged stream
                // is refused before a large picture's memory is touched.
                rows_.resize(std::max(at + 1, std::min(rows_.size() * 2, stride_ * height_)));
            }
            rows_[at] = value;
        }
    }
    void advance(std::uint32_t n) { x_ += n; }
    void next_row() {
        ++row_;
        x_ = 0;
    }
    bool move(std::uint32_t dx, std::uint32_t dy) {
        if (aligned_ - x_ < dx || height_ - row_ < dy) {
            return false;
        }
        x_ += dx;
        row_ += dy;
        return true;
    }
    bool before_end() const { return row_ < height_; }

  private:
    std::uint32_t width_;
    std::uint32_t height_;
    std::size_t stride_;
    std::vector<std::uint8_t>& rows_;
    std::uint32_t aligned_;
    std::uint32_t x_ = 0;
    std::uint32_t row_ = 0; // row_ == height_ once the last row is done
};

// The i-th pixel of a run or literal: RLE4 packs two, high nibble first.
std::uint8_t nibble_or_byte(int bits, const std::uint8_t* bytes, std::uint32_t i) {
    if (bits == 8) {
        return bytes[i];
    }
    const std::uint8_t b = bytes[i / 2];
    return static_cast<std::uint8_t>(i % 2 == 0 ? b >> 4 : b & 0x0F);
}

} // namespace

bool expand_bmp_rle(std::span<const std::uint8_t> data, int bits, std::uint32_t width,
                    std::uint32_t height, std::size_t stride, std::vector<std::uint8_t>& rows) {
    rows.clear();
    Expander out(bits, width, height, stride, rows);
    std::size_t at = 0;
    while (data.size() - at >= 2) {
        const std::uint32_t count = data[at];
        const std::uint8_t second = data[at + 1];
        at += 2;
        if (count > 0) {
            // A run repeats `second` (RLE4: its two nibbles by turns).
            if (!out.fits(count)) {
                return false;
            }
            for (std::uint32_t i = 0; i < count; ++i) {
                out.put(i, bits == 8 ? second : nibble_or_byte(bits, &second, i % 2));
            }
            out.advance(count);
            continue;
        }
        switch (second) {
        case 0: // end of row
            if (!out.before_end()) {
                return false;
            }
            out.next_row();
            break;
        case 1: // end of bitmap
            rows.resize(stride * height, 0);
            return true;
        case 2: { // move right and up
            if (data.size() - at < 2 || !out.move(data[at], data[at + 1])) {
                return false;
            }
            at += 2;
            break;
        }
        default: { // `second` literal pixels, padded to a whole 16-bit word
            const std::uint32_t n = second;
            const std::size_t bytes = bits == 8 ? n : (n + 1) / 2;
            const std::size_t padded = (bytes + 1) / 2 * 2;
            if (data.size() - at < padded || !out.fits(n)) {
                return false;
            }
            for (std::uint32_t i = 0; i < n; ++i) {
                out.put(i, nibble_or_byte(bits, data.data() + at, i));
            }
            out.advance(n);
            at += padded;
            break;
        }
        }
    }
    return false; // the data ended before the end-of-bitmap code
}
