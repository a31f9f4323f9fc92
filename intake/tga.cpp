// TGA: the header is checked, then the pixels, plain or run-length coded,
// are read straight into the picture in whichever row order and direction
// the file keeps them.
#include "readers.hpp"

#include <algorithm>

namespace intake {

namespace {

constexpr std::size_t kHeaderSize = 18;
constexpr std::uint8_t kRightToLeft = 0x10;
constexpr std::uint8_t kTopDown = 0x20;
constexpr std::uint8_t kAlphaBits = 0x0F;

enum ImageType : std::uint8_t { kColorMapped = 1, kTrueColor = 2, kGray = 3, kRle = 8 };

struct Header {
    std::uint32_t id_length = 0;
    std::uint32_t map_type = 0;
    std::uint32_t type = 0; // without the run-length flag
    bool rle = false;
    std::uint32_t map_first = 0;
    std::uint32_t map_length = 0;
    std::uint32_t map_entry = 0; // bits per colour map entry
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bpp = 0;
    std::uint8_t descriptor = 0;

    std::uint32_t map_entry_bytes() const { return (map_entry + 7) / 8; }
    std::uint32_t pixel_bytes() const { return (bpp + 7) / 8; }
    std::uint64_t map_bytes() const {
        return map_type == 1 ? std::uint64_t{map_length} * map_entry_bytes() : 0;
    }
    std::uint64_t pixels() const { return std::uint64_t{width} * height; }
};

// Nothing when the header is one the reader takes.
std::optional<LoadError> check_header(ByteView b, Header& h) {
    h.id_length = b[0];
    h.map_type = b[1];
    h.type = b[2] & ~std::uint32_t{kRle};
    h.rle = (b[2] & kRle) != 0;
    h.map_first = get16(b, 3);
    h.map_length = get16(b, 5);
    h.map_entry = b[7];
    h.width = get16(b, 12);
    h.height = get16(b, 14);
    h.bpp = b[16];
    h.descriptor = b[17];
    const LoadError kind = unsupported("TGA of this type or depth");
    if (b[2] > (kRle | kGray)) {
        return kind;
    }
    // A colour map belongs to colour-mapped pictures only: the library
    // refuses one anywhere else, and 8-bit indices are all it takes.
    switch (h.type) {
    case kColorMapped:
        if (h.map_type != 1 || h.bpp != 8) {
            return kind;
        }
        break;
    case kTrueColor:
        if (h.map_type != 0 || (h.bpp != 15 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32)) {
            return kind;
        }
        break;
    case kGray:
        if (h.map_type != 0 || h.bpp != 8) {
            return kind;
        }
        break;
    default:
        return kind;
    }
    if (h.map_type == 1 && h.map_first + h.map_length > 256) {
        return malformed("a colour map past index 255");
    }
    if (h.map_type == 1 && h.map_entry != 15 && h.map_entry != 16 && h.map_entry != 24 &&
        h.map_entry != 32) {
        return unsupported("TGA colour map entries of this size");
    }
    return std::nullopt;
}

// The colour map's entries at 8 bits a channel, at the indices they stand
// for; indices below the map's first are black.
std::vector<Rgb> colours_of(const Header& h, const Bytes& map) {
    std::vector<Rgb> colours(h.map_first);
    const std::size_t size = h.map_entry_bytes();
    for (std::size_t i = 0; i < h.map_length; ++i) {
        const std::uint8_t* e = map.data() + i * size;
        if (size == 2) {
            // 5 bits each of red, green and blue, blue lowest.
            const std::uint32_t v = e[0] | (std::uint32_t{e[1]} << 8);
            colours.push_back(Rgb{scale5(v >> 10), scale5(v >> 5), scale5(v)});
        } else {
            colours.push_back(Rgb{e[2], e[1], e[0]});
        }
    }
    return colours;
}

// One true-colour pixel of the file in colour: 15 and 16 bits are 5 bits
// each of red, green and blue, blue lowest, 24 and 32 bits blue, green, red.
// Alpha is read only where the header's descriptor declares alpha bits: the
// top bit at 16 bits, the fourth byte at 32.
class TrueColour {
  public:
    explicit TrueColour(const Header& h)
        : bpp_(h.bpp), alpha_(h.bpp == 16   ? (h.descriptor & kAlphaBits) == 1
                              : h.bpp == 32 ? (h.descriptor & kAlphaBits) == 8
                                            : false) {}

    Rgba operator()(const std::uint8_t* p) const {
        if (bpp_ <= 16) {
            const std::uint32_t v = p[0] | (std::uint32_t{p[1]} << 8);
            const bool opaque = !alpha_ || (v & 0x8000) != 0;
            return Rgba{scale5(v >> 10), scale5(v >> 5), scale5(v),
                        static_cast<std::uint8_t>(opaque ? 255 : 0)};
        }
        return Rgba{p[2], p[1], p[0], bpp_ == 32 && alpha_ ? p[3] : std::uint8_t{255}};
    }

  private:
    std::uint32_t bpp_;
    bool alpha_;
};

// Puts the file's pixels, in the order the file keeps them, where they
// belong in the picture: put(row, x, bytes) sets pixel x of picture row
// `row` from the file's bytes of one pixel.
template <typename Put> class Placer {
  public:
    Placer(const Header& h, Put put) : h_(h), put_(put) {}

    // n copies of one pixel, or n pixels one after another.
    void fill(std::size_t n, const std::uint8_t* pixel) { place(n, pixel, 0); }
    void copy(std::size_t n, const std::uint8_t* pixels) { place(n, pixels, h_.pixel_bytes()); }

  private:
    void place(std::size_t n, const std::uint8_t* values, std::size_t step) {
        const bool top_down = (h_.descriptor & kTopDown) != 0;
        const bool turned = (h_.descriptor & kRightToLeft) != 0;
        while (n > 0) {
            const std::size_t here = std::min<std::size_t>(n, h_.width - column_);
            const std::uint32_t row = top_down ? row_ : h_.height - 1 - row_;
            for (std::size_t i = 0; i < here; ++i) {
                const std::size_t x = column_ + i;
                put_(row, turned ? h_.width - 1 - x : x, values + i * step);
            }
            values += here * step;
            column_ += static_cast<std::uint32_t>(here);
            n -= here;
            if (column_ == h_.width) {
                column_ = 0;
                ++row_;
            }
        }
    }

    const Header& h_;
    Put put_;
    std::uint32_t row_ = 0;
    std::uint32_t column_ = 0;
};

// Expands run-length packets. Packets may cross rows, as many writers let
// them; one that runs past the last pixel, or data that ends before it, is
// refused.
template <typename Out> bool expand(Reader& in, const Header& h, Out& out) {
    const std::size_t pixel_bytes = h.pixel_bytes();
    std::uint64_t left = h.pixels();
    std::uint8_t buffer[128 * 4];
    while (left > 0) {
        std::uint8_t packet = 0;
        if (!in.byte(packet)) {
            return false;
        }
        const std::size_t count = (packet & 0x7Fu) + 1;
        if (count > left) {
            return false;
        }
        const bool run = (packet & 0x80) != 0;
        if (!in.take(run ? pixel_bytes : count * pixel_bytes, buffer)) {
            return false;
        }
        if (run) {
            out.fill(count, buffer);
        } else {
            out.copy(count, buffer);
        }
        left -= count;
    }
    return true;
}

// Plain pixels, a window at a time.
template <typename Out> bool copy_plain(Reader& in, const Header& h, Out& out) {
    const std::size_t pixel_bytes = h.pixel_bytes();
    std::uint8_t buffer[4096];
    const std::size_t per_window = sizeof buffer / pixel_bytes;
    for (std::uint64_t left = h.pixels(); left > 0;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, per_window));
        if (!in.take(n * pixel_bytes, buffer)) {
            return false;
        }
        out.copy(n, buffer);
        left -= n;
    }
    return true;
}

// Reads the pixels through `put`, plain or run-length coded.
template <typename Put> bool read_pixels(Reader& in, const Header& h, Put put) {
    Placer<Put> out(h, put);
    return h.rle ? expand(in, h, out) : copy_plain(in, h, out);
}

} // namespace

Decoded read_tga(ByteSource& src, const Limits& limits, Want want) {
    Bytes header;
    Header h;
    if (auto refused = read_fixed_header(src, kHeaderSize, header, h, limits, check_header)) {
        return std::move(*refused);
    }
    const std::uint64_t map_at = kHeaderSize + h.id_length;
    const std::uint64_t data_at = map_at + h.map_bytes();
    Bytes map;
    if (data_at > src.size() || !src.read(map_at, static_cast<std::size_t>(h.map_bytes()), map)) {
        return malformed("the file ends in its colour map");
    }
    const std::uint64_t available = src.size() - data_at;
    const std::uint64_t data_size = h.pixels() * h.pixel_bytes();
    // A packet of at least one byte and a pixel stands for at most 128
    // pixels: data too short to cover the picture is refused before the
    // picture is allocated.
    if (h.rle ? available / (1 + h.pixel_bytes()) * 128 < h.pixels() : data_size > available) {
        return malformed("the pixel data ends early");
    }
    const char* damaged = "the pixel data ends early or runs past the last pixel";
    Reader in(src, data_at);
    const bool truecolor = h.type == kTrueColor;
    if (truecolor && want == Want::colour) {
        std::optional<ColourImage> colour = ColourImage::allocate(h.width, h.height);
        if (!colour) {
            return out_of_memory();
        }
        const TrueColour decode(h);
        ColourImage& picture = *colour;
        if (!read_pixels(in, h, [&](std::uint32_t y, std::size_t x, const std::uint8_t* p) {
                picture.row(y)[x] = decode(p);
            })) {
            return malformed(damaged);
        }
        return std::move(*colour);
    }
    if (truecolor && !h.rle) {
        std::optional<Image> image =
            Image::allocate(h.width, h.height, Kind::truecolor, kTrueColorIndex);
        if (!image) {
            return out_of_memory();
        }
        return std::move(*image);
    }
    std::optional<Image> image = Image::allocate(h.width, h.height,
                                                 truecolor                ? Kind::truecolor
                                                 : h.type == kColorMapped ? Kind::indexed
                                                                          : Kind::gray,
                                                 truecolor ? kTrueColorIndex : 0);
    if (!image) {
        return out_of_memory();
    }
    Image& picture = *image;
    // True colour at its own depth keeps no values, but its packets must
    // still hold together.
    const bool ok =
        truecolor ? read_pixels(in, h, [](std::uint32_t, std::size_t, const std::uint8_t*) {})
                  : read_pixels(in, h, [&](std::uint32_t y, std::size_t x, const std::uint8_t* p) {
                        picture.row(y)[x] = p[0];
                    });
    if (!ok) {
        return malformed(damaged);
    }
    if (h.type == kColorMapped) {
        picture.set_palette(colours_of(h, map));
    }
    return std::move(*image);
}

} // namespace intake
