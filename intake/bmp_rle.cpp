#include "bmp_rle.hpp"

namespace intake {

namespace {

class Expander {
  public:
    Expander(int bits, std::uint32_t width, std::uint32_t height, RowMap rows)
        : width_(width), height_(height), rows_(rows),
          // Rows are stored padded to 32 bits: 4 pixels of RLE8, 8 of RLE4.
          aligned_(bits == 8 ? (width + 3) / 4 * 4 : (width + 7) / 8 * 8) {}

    // Room for n more pixels on the current row, padding included.
    bool fits(std::uint32_t n) const { return row_ < height_ && aligned_ - x_ >= n; }

    // Pixel i of a run; those in the row's padding are dropped.
    void put(std::uint32_t i, std::uint8_t value) {
        const std::uint32_t x = x_ + i;
        if (x < width_) {
            rows_.row(row_)[x] = value;
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
    RowMap rows_;
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

bool expand_bmp_rle(Reader& in, std::uint64_t limit, int bits, std::uint32_t width,
                    std::uint32_t height, RowMap rows) {
    Expander out(bits, width, height, rows);
    std::uint64_t used = 0;
    // Takes n bytes of the stream, within the limit.
    const auto take = [&](std::size_t n, std::uint8_t* dst) {
        used += n;
        return used <= limit && in.take(n, dst);
    };
    std::uint8_t pair[2];
    std::uint8_t literal[256];
    while (take(2, pair)) {
        const std::uint32_t count = pair[0];
        const std::uint8_t second = pair[1];
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
            return true;
        case 2: { // move right and up
            std::uint8_t delta[2];
            if (!take(2, delta) || !out.move(delta[0], delta[1])) {
                return false;
            }
            break;
        }
        default: { // `second` literal pixels, padded to a whole 16-bit word
            const std::uint32_t n = second;
            const std::size_t bytes = bits == 8 ? n : (n + 1) / 2;
            const std::size_t padded = (bytes + 1) / 2 * 2;
            if (!take(padded, literal) || !out.fits(n)) {
                return false;
            }
            for (std::uint32_t i = 0; i < n; ++i) {
                out.put(i, nibble_or_byte(bits, literal, i));
            }
            out.advance(n);
            break;
        }
        }
    }
    return false; // the data ended before the end-of-bitmap code
}

} // namespace intake
