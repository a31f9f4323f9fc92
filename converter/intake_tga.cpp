// TGA: the header is screened and rewritten in memory as the plain form the
// library's decoder reads well (no ID field, a colour map that starts at
// index 0, uncompressed pixels, left-to-right rows). Uncompressed pixels are
// streamed from the file; run-length data is expanded here first, as the
// library's own expander writes past its rows on a packet that crosses one.
#include "intake_readers.hpp"

#include <algorithm>

namespace intake {

namespace {

constexpr std::size_t kHeaderSize = 18;
constexpr std::uint8_t kRightToLeft = 0x10;

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
    // Empty pictures are let through: the library reads them as such.
    return h.width <= kMaxSide && h.height <= kMaxSide;
}

// The plain header and colour map. The library files map entries at the
// index of their position, ignoring the first index, so the map is moved
// down to start at 0; and it skips 15-bit entries without reading them, so
// those are declared as the 16-bit entries they are stored as.
Bytes plain_header(const Header& h, ByteView header, const Bytes& map) {
    Bytes out(header.begin(), header.begin() + kHeaderSize);
    out[0] = 0;
    out[2] = static_cast<std::uint8_t>(h.type);
    if (h.map_type == 1) {
        const std::uint32_t entries = h.map_first + h.map_length;
        out[3] = out[4] = 0;
        out[5] = static_cast<std::uint8_t>(entries);
        out[6] = static_cast<std::uint8_t>(entries >> 8);
        out[7] = static_cast<std::uint8_t>(h.map_entry == 15 ? 16 : h.map_entry);
        out.resize(kHeaderSize + std::size_t{h.map_first} * h.map_entry_bytes(), 0);
        out.insert(out.end(), map.begin(), map.end());
    }
    out[17] = static_cast<std::uint8_t>(h.descriptor & ~kRightToLeft);
    return out;
}

// Reads forwards through a stretch of the source a window at a time.
class Reader {
  public:
    Reader(ByteSource& src, std::uint64_t at) : src_(src), at_(at) {}

    // Copies the next n bytes to dst; false if the file ends first.
    bool take(std::size_t n, std::uint8_t* dst) {
        while (n > 0) {
            if (cur_ == window_.size() && !refill()) {
                return false;
            }
            const std::size_t k = std::min(n, window_.size() - cur_);
            std::copy_n(window_.data() + cur_, k, dst);
            cur_ += k;
            dst += k;
            n -= k;
        }
        return true;
    }

  private:
    bool refill() {
        const std::uint64_t left = src_.size() - std::min(src_.size(), at_);
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, 64 * 1024));
        if (n == 0 || !src_.read(at_, n, window_)) {
            return false;
        }
        at_ += n;
        cur_ = 0;
        return true;
    }

    ByteSource& src_;
    std::uint64_t at_;
    Bytes window_;
    std::size_t cur_ = 0;
};

// Expands run-length packets into `pixels`, which holds the whole picture.
// Packets may cross rows, as many writers let them; one that runs past the
// last pixel, or data that ends before it, is refused.
bool expand(Reader& in, std::size_t pixel_bytes, Bytes& pixels) {
    std::uint8_t* out = pixels.data();
    std::size_t left = pixels.size() / pixel_bytes;
    while (left > 0) {
        std::uint8_t packet = 0;
        if (!in.take(1, &packet)) {
            return false;
        }
        const std::size_t count = (packet & 0x7Fu) + 1;
        if (count > left) {
            return false;
        }
        if ((packet & 0x80) != 0) {
            if (!in.take(pixel_bytes, out)) {
                return false;
            }
            // Doubling the filled stretch fills a run in a few copies.
            for (std::size_t done = pixel_bytes; done < count * pixel_bytes; done *= 2) {
                std::copy_n(out, std::min(done, count * pixel_bytes - done), out + done);
            }
        } else if (!in.take(count * pixel_bytes, out)) {
            return false;
        }
        out += count * pixel_bytes;
        left -= count;
    }
    return true;
}

void mirror_rows(const Header& h, Bytes& pixels) {
    const std::size_t p = h.pixel_bytes();
    if (h.width == 0) {
        return;
    }
    for (std::size_t y = 0; y < h.height; ++y) {
        std::uint8_t* row = pixels.data() + y * h.width * p;
        for (std::size_t l = 0, r = h.width - 1; l < r; ++l, --r) {
            std::swap_ranges(row + l * p, row + (l + 1) * p, row + r * p);
        }
    }
}

} // namespace

BitmapPtr read_tga(ByteSource& src, RGB* pal) {
    Bytes header;
    Header h;
    if (!src.read(0, kHeaderSize, header) || !screen(header, h)) {
        return nullptr;
    }
    const std::uint64_t map_at = kHeaderSize + h.id_length;
    const std::uint64_t data_at = map_at + h.map_bytes();
    Bytes map;
    if (data_at > src.size() || !src.read(map_at, static_cast<std::size_t>(h.map_bytes()), map)) {
        return nullptr;
    }
    const std::uint64_t available = src.size() - data_at;
    const std::uint64_t data_size = h.pixels() * h.pixel_bytes();
    const Bytes plain = plain_header(h, header, map);

    if (!h.rle && (h.descriptor & kRightToLeft) == 0) {
        if (data_size > available) {
            return nullptr;
        }
        return decode_with_library(
            {Piece::of(plain), Piece::from(src, data_at, static_cast<std::size_t>(data_size))},
            load_tga_pf, pal);
    }

    Bytes pixels;
    if (h.rle) {
        // A packet of at least one byte and a pixel stands for at most 128
        // pixels: data too short to cover the picture is refused before the
        // picture is allocated.
        if (available / (1 + h.pixel_bytes()) * 128 < h.pixels()) {
            return nullptr;
        }
        pixels.resize(static_cast<std::size_t>(data_size));
        Reader in(src, data_at);
        if (!expand(in, h.pixel_bytes(), pixels)) {
            return nullptr;
        }
    } else if (data_size > available ||
               !src.read(data_at, static_cast<std::size_t>(data_size), pixels)) {
        return nullptr;
    }
    // The library ignores the right-to-left flag; such rows are turned here.
    if ((h.descriptor & kRightToLeft) != 0) {
        mirror_rows(h, pixels);
    }
    return decode_with_library({Piece::of(plain), Piece::of(pixels)}, load_tga_pf, pal);
}

} // namespace intake
