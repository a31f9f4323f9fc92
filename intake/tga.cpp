// TGA: the header is screened, then the pixels, plain or run-length coded,
// are read straight into the picture in whichever row order and direction
// the file keeps them.
#include "readers.hpp"

#include <algorithm>

namespace intake {

namespace {

constexpr std::size_t kHeaderSize = 18;
constexpr std::uint8_t kRightToLeft = 0x10;
constexpr std::uint8_t kTopDown = 0x20;

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

bool screen(ByteView b, Header& h) {
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
    if (b[2] > (kRle | kGray)) {
        return false;
    }
    // A colour map belongs to colour-mapped pictures only: the library
    // refuses one anywhere else, and 8-bit indices are all it takes.
    switch (h.type) {
    case kColorMapped:
        if (h.map_type != 1 || h.bpp != 8) {
            return false;
        }
        break;
    case kTrueColor:
        if (h.map_type != 0 || (h.bpp != 15 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32)) {
            return false;
        }
        break;
    case kGray:
        if (h.map_type != 0 || h.bpp != 8) {
            return false;
        }
        break;
    default:
        return false;
    }
    if (h.map_type == 1 &&
        (h.map_first + h.map_length > 256 ||
         (h.map_entry != 15 && h.map_entry != 16 && h.map_entry != 24 && h.map_entry != 32))) {
        return false;
    }
    return true;
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

// Puts the file's pixels, in the order the file keeps them, where they
// belong in the picture.
class Placer {
  public:
    Placer(const Header& h, Image* image) : h_(h), image_(image) {}

    // n copies of one pixel value, or n values from `values`.
    void fill(std::size_t n, std::uint8_t value) { place(n, &value, 0); }
    void copy(std::size_t n, const std::uint8_t* values) { place(n, values, 1); }

  private:
    void place(std::size_t n, const std::uint8_t* values, std::size_t step) {
        while (n > 0) {
            const std::size_t here = std::min<std::size_t>(n, h_.width - column_);
            if (image_ != nullptr) {
                const bool top_down = (h_.descriptor & kTopDown) != 0;
                const bool turned = (h_.descriptor & kRightToLeft) != 0;
                std::uint8_t* row = image_->row(top_down ? row_ : h_.height - 1 - row_);
                for (std::size_t i = 0; i < here; ++i) {
                    const std::size_t x = column_ + i;
                    row[turned ? h_.width - 1 - x : x] = values[i * step];
                }
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
    Image* image_; // null for true colour, whose values are not kept
    std::uint32_t row_ = 0;
    std::uint32_t column_ = 0;
};

// Expands run-length packets. Packets may cross rows, as many writers let
// them; one that runs past the last pixel, or data that ends before it, is
// refused.
bool expand(Reader& in, const Header& h, Placer& out) {
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
            out.fill(count, buffer[0]);
        } else {
            out.copy(count, buffer);
        }
        left -= count;
    }
    return true;
}

// Plain pixels, a window at a time.
bool copy_plain(Reader& in, const Header& h, Placer& out) {
    std::uint8_t buffer[4096];
    for (std::uint64_t left = h.pixels(); left > 0;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof buffer));
        if (!in.take(n, buffer)) {
            return false;
        }
        out.copy(n, buffer);
        left -= n;
    }
    return true;
}

} // namespace

std::optional<Image> read_tga(ByteSource& src, const Limits& limits) {
    Bytes header;
    Header h;
    if (!src.read(0, kHeaderSize, header) || !screen(header, h) ||
        !acceptable(limits, h.width, h.height)) {
        return std::nullopt;
    }
    const std::uint64_t map_at = kHeaderSize + h.id_length;
    const std::uint64_t data_at = map_at + h.map_bytes();
    Bytes map;
    if (data_at > src.size() || !src.read(map_at, static_cast<std::size_t>(h.map_bytes()), map)) {
        return std::nullopt;
    }
    const std::uint64_t available = src.size() - data_at;
    const std::uint64_t data_size = h.pixels() * h.pixel_bytes();
    // A packet of at least one byte and a pixel stands for at most 128
    // pixels: data too short to cover the picture is refused before the
    // picture is allocated.
    if (h.rle ? available / (1 + h.pixel_bytes()) * 128 < h.pixels() : data_size > available) {
        return std::nullopt;
    }
    const bool truecolor = h.type == kTrueColor;
    if (truecolor && !h.rle) {
        return Image::allocate(h.width, h.height, Kind::truecolor, kTrueColorIndex);
    }
    std::optional<Image> image = Image::allocate(h.width, h.height,
                                                 truecolor                ? Kind::truecolor
                                                 : h.type == kColorMapped ? Kind::indexed
                                                                          : Kind::gray,
                                                 truecolor ? kTrueColorIndex : 0);
    if (!image) {
        return std::nullopt;
    }
    Placer out(h, truecolor ? nullptr : &*image);
    Reader in(src, data_at);
    if (!(h.rle ? expand(in, h, out) : copy_plain(in, h, out))) {
        return std::nullopt;
    }
    if (h.type == kColorMapped) {
        image->set_palette(colours_of(h, map));
    }
    return image;
}

} // namespace intake
