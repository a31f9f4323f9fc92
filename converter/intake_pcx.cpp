// PCX: the run-length data is expanded here, strictly, and coded again with
// no run crossing a scanline, so the library's decoder only ever sees a
// stream whose every scanline is exactly as long as the header says.
#include "intake_readers.hpp"

#include <algorithm>

namespace intake {

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kPaletteSize = 1 + 768; // marker byte, then 256 RGB entries
constexpr std::uint8_t kPaletteMarker = 12;
// Writers pad a scanline to an even or 32-bit length; more is not believed.
constexpr std::uint32_t kMaxLinePadding = 64;

struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t planes = 0;
    std::uint32_t line_bytes = 0;
};

bool screen(const Bytes& b, Header& h) {
    // Manufacturer tag, run-length coding, 8 bits per pixel in each plane:
    // one plane of palette indices or three of red, green and blue.
    if (b[0] != 10 || b[2] != 1 || b[3] != 8 || (b[65] != 1 && b[65] != 3)) {
        return false;
    }
    // Both corners are inclusive, so a picture is at least one pixel wide;
    // a right edge left of the left one is no picture at all.
    const std::uint32_t x0 = get16(b, 4);
    const std::uint32_t y0 = get16(b, 6);
    const std::uint32_t x1 = get16(b, 8);
    const std::uint32_t y1 = get16(b, 10);
    if (x1 < x0 || y1 < y0) {
        return false;
    }
    h.width = x1 - x0 + 1;
    h.height = y1 - y0 + 1;
    h.planes = b[65];
    h.line_bytes = get16(b, 66);
    return h.width <= kMaxSide && h.height <= kMaxSide && h.line_bytes >= h.width &&
           h.line_bytes - h.width <= kMaxLinePadding;
}

// Expands the data into planes * height scanlines of `width` bytes, dropping
// each scanline's padding. Runs may cross scanlines, as many writers let
// them; a run past the last scanline or data that ends early is refused.
bool expand(ByteView data, const Header& h, Bytes& lines) {
    const std::uint64_t total = std::uint64_t{h.line_bytes} * h.planes * h.height;
    // Two bytes of data make at most 63 bytes of scanline: data too short to
    // cover the picture is refused before the picture is allocated.
    if ((std::uint64_t{data.size()} + 1) / 2 * 63 < total) {
        return false;
    }
    lines.assign(std::size_t{h.width} * h.planes * h.height, 0);
    std::uint64_t pos = 0;
    std::size_t at = 0;
    std::size_t line = 0; // scanline and column of `pos`
    std::uint32_t x = 0;
    while (pos < total) {
        if (at == data.size()) {
            return false;
        }
        std::uint32_t count = 1;
        std::uint8_t value = data[at++];
        if (value >= 0xC0) {
            if (at == data.size()) {
                return false;
            }
            count = value & 0x3Fu;
            value = data[at++];
        }
        if (total - pos < count) {
            return false;
        }
        pos += count;
        for (; count > 0; --count) {
            if (x < h.width) {
                lines[line * h.width + x] = value;
            }
            if (++x == h.line_bytes) {
                x = 0;
                ++line;
            }
        }
    }
    return true;
}

void encode_line(const std::uint8_t* line, std::size_t n, Bytes& out) {
    for (std::size_t x = 0; x < n;) {
        std::size_t run = 1;
        while (x + run < n && run < 63 && line[x + run] == line[x]) {
            ++run;
        }
        if (run > 1 || line[x] >= 0xC0) {
            out.push_back(static_cast<std::uint8_t>(0xC0 | run));
        }
        out.push_back(line[x]);
        x += run;
    }
}

} // namespace

BitmapPtr read_pcx(ByteSource& src, RGB* pal) {
    Bytes header;
    Header h;
    if (!src.read(0, kHeaderSize, header) || !screen(header, h)) {
        return nullptr;
    }
    // A 256-colour table may follow the pixels, flagged by its marker byte.
    std::uint64_t data_end = src.size();
    Bytes palette;
    if (h.planes == 1 && src.size() >= kHeaderSize + kPaletteSize &&
        src.read(src.size() - kPaletteSize, kPaletteSize, palette) &&
        palette[0] == kPaletteMarker) {
        data_end -= kPaletteSize;
    } else {
        palette.clear();
    }
    // Coded data never needs more than two bytes for each byte it stands for.
    const std::uint64_t limit = 2 * std::uint64_t{h.line_bytes} * h.planes * h.height;
    Bytes data;
    Bytes lines;
    if (!src.read(kHeaderSize, static_cast<std::size_t>(std::min(data_end - kHeaderSize, limit)),
                  data) ||
        !expand(data, h, lines)) {
        return nullptr;
    }

    // The plain form: origin 0,0 and scanlines exactly as wide as the picture.
    Bytes plain(header);
    std::fill(plain.begin() + 4, plain.begin() + 8, 0);
    plain[8] = static_cast<std::uint8_t>(h.width - 1);
    plain[9] = static_cast<std::uint8_t>((h.width - 1) >> 8);
    plain[10] = static_cast<std::uint8_t>(h.height - 1);
    plain[11] = static_cast<std::uint8_t>((h.height - 1) >> 8);
    plain[66] = static_cast<std::uint8_t>(h.width);
    plain[67] = static_cast<std::uint8_t>(h.width >> 8);
    for (std::size_t line = 0; line < std::size_t{h.planes} * h.height; ++line) {
        encode_line(lines.data() + line * h.width, h.width, plain);
    }
    plain.insert(plain.end(), palette.begin(), palette.end());
    return decode_with_library({Piece::of(plain)}, load_pcx_pf, pal);
}

} // namespace intake
