// PCX: the run-length data is expanded here, strictly, straight into the
// picture; in colour, three planes a row at a time.
#include "readers.hpp"

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

// Nothing when the header is one the reader takes.
std::optional<LoadError> check_header(ByteView b, Header& h) {
    // Manufacturer tag, run-length coding, 8 bits per pixel in each plane:
    // one plane of palette indices or three of red, green and blue.
    if (b[0] != 10) {
        return malformed("no PCX signature");
    }
    if (b[2] != 1 || b[3] != 8 || (b[65] != 1 && b[65] != 3)) {
        return unsupported("PCX of this depth or coding");
    }
    // Both corners are inclusive, so a picture is at least one pixel wide;
    // a right edge left of the left one is no picture at all.
    const std::uint32_t x0 = get16(b, 4);
    const std::uint32_t y0 = get16(b, 6);
    const std::uint32_t x1 = get16(b, 8);
    const std::uint32_t y1 = get16(b, 10);
    if (x1 < x0 || y1 < y0) {
        return malformed("a corner past the opposite one");
    }
    h.width = x1 - x0 + 1;
    h.height = y1 - y0 + 1;
    h.planes = b[65];
    h.line_bytes = get16(b, 66);
    if (h.line_bytes < h.width || h.line_bytes - h.width > kMaxLinePadding) {
        return malformed("a scanline length that does not fit the width");
    }
    return std::nullopt;
}

// Expands the data into planes * height scanlines, dropping each scanline's
// padding; `line(n)` is where scanline n's pixels go, or null for a scanline
// whose pixels are not wanted. Runs may cross scanlines, as many writers let
// them; a run past the last scanline or data that ends early is refused.
template <typename Line> bool expand(Reader& in, const Header& h, Line line) {
    const std::uint64_t total = std::uint64_t{h.line_bytes} * h.planes * h.height;
    std::uint64_t pos = 0;
    std::uint32_t n = 0; // scanline and column of `pos`
    std::uint32_t x = 0;
    std::uint8_t* out = line(0);
    while (pos < total) {
        std::uint32_t count = 1;
        std::uint8_t value = 0;
        if (!in.byte(value)) {
            return false;
        }
        if (value >= 0xC0) {
            count = value & 0x3Fu;
            if (!in.byte(value)) {
                return false;
            }
        }
        if (total - pos < count) {
            return false;
        }
        pos += count;
        while (count > 0) {
            // The part of the run on this scanline, then on to the next one.
            const std::uint32_t here = std::min(count, h.line_bytes - x);
            if (out != nullptr && x < h.width) {
                std::fill_n(out + x, std::min(here, h.width - x), value);
            }
            x += here;
            count -= here;
            if (x == h.line_bytes) {
                x = 0;
                ++n;
                out = line(n);
            }
        }
    }
    return true;
}

} // namespace

Decoded read_pcx(ByteSource& src, const Limits& limits, Want want) {
    Bytes header;
    Header h;
    if (auto refused = read_fixed_header(src, kHeaderSize, header, h, limits, check_header)) {
        return std::move(*refused);
    }
    // A 256-colour table may follow the pixels, flagged by its marker byte;
    // without one, the header's 16 colours are the palette.
    std::uint64_t data_end = src.size();
    std::vector<Rgb> colours;
    Bytes table;
    if (h.planes == 1 && src.size() >= kHeaderSize + kPaletteSize &&
        src.read(src.size() - kPaletteSize, kPaletteSize, table) && table[0] == kPaletteMarker) {
        data_end -= kPaletteSize;
        for (std::size_t i = 0; i < 256; ++i) {
            colours.push_back(Rgb{table[1 + 3 * i], table[2 + 3 * i], table[3 + 3 * i]});
        }
    } else {
        for (std::size_t i = 0; i < 16; ++i) {
            colours.push_back(Rgb{header[16 + 3 * i], header[17 + 3 * i], header[18 + 3 * i]});
        }
    }
    // Two bytes of data make at most 63 bytes of scanline: data too short to
    // cover the picture is refused before the picture is allocated.
    const std::uint64_t total = std::uint64_t{h.line_bytes} * h.planes * h.height;
    if ((data_end - kHeaderSize + 1) / 2 * 63 < total) {
        return malformed("the pixel data ends early");
    }
    const char* damaged = "the run-length data ends early or runs past the last scanline";
    Reader in(src, kHeaderSize, data_end);
    // Three planes are red, green and blue: a true-colour picture.
    const bool indexed = h.planes == 1;
    if (!indexed && want == Want::colour) {
        std::optional<ColourImage> colour = ColourImage::allocate(h.width, h.height);
        if (!colour) {
            return out_of_memory();
        }
        // A row's three scanlines, turned into colour once the blue one is
        // done, that is when the next row's red one begins.
        Bytes planes(std::size_t{h.width} * 3);
        const auto line = [&](std::uint32_t n) -> std::uint8_t* {
            const std::uint32_t y = n / 3;
            if (n % 3 == 0 && n > 0) {
                Rgba* to = colour->row(y - 1);
                for (std::uint32_t x = 0; x < h.width; ++x) {
                    to[x] = Rgba{planes[x], planes[h.width + x], planes[2 * h.width + x], 255};
                }
            }
            return y < h.height ? planes.data() + std::size_t{n % 3} * h.width : nullptr;
        };
        if (!expand(in, h, line)) {
            return malformed(damaged);
        }
        return std::move(*colour);
    }
    std::optional<Image> image =
        Image::allocate(h.width, h.height, indexed ? Kind::indexed : Kind::truecolor,
                        indexed ? 0 : kTrueColorIndex);
    if (!image) {
        return out_of_memory();
    }
    Image& picture = *image;
    const bool ok = expand(
        in, h, [&](std::uint32_t n) { return indexed && n < h.height ? picture.row(n) : nullptr; });
    if (!ok) {
        return malformed(damaged);
    }
    if (indexed) {
        picture.set_palette(std::move(colours));
    }
    return std::move(*image);
}

} // namespace intake
