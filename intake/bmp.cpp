// BMP: the header is checked first. Eight-bit rows are copied into the
// picture as they are, and run-length data is expanded here, straight into
// the picture. Other paletted uncompressed pictures are rewritten in memory
// as the plain form the image library's decoder reads well (a 40-byte info
// header, bottom-up rows, the palette right before the pixels) and streamed
// to it from the file. True colour, asked for in colour, is decoded here a
// row at a time.
#include "bmp_rle.hpp"
#include "readers.hpp"

#include <algorithm>

namespace intake {

namespace {

constexpr std::uint32_t kFileHeader = 14;
constexpr std::uint32_t kCoreHeader = 12;
constexpr std::uint32_t kInfoHeader = 40;
constexpr std::uint32_t kMasksSize = 12;

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3 };

struct Header {
    std::uint32_t data_offset = 0;
    std::uint32_t info_size = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool top_down = false;
    std::uint32_t bpp = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t colors_used = 0;
    std::uint32_t x_ppm = 0;
    std::uint32_t y_ppm = 0;
    Bytes masks;                     // bit fields only: red, green, blue
    std::uint32_t alpha_mask = 0;    // bit fields in a header that has one
    std::uint32_t palette_at = 0;    // file offset of the colour table
    std::uint32_t palette_entry = 4; // bytes per colour table entry
};

bool known_info_size(std::uint32_t size) {
    return size == kCoreHeader || size == kInfoHeader || size == 52 || size == 56 || size == 108 ||
           size == 124;
}

bool known_format(const Header& h) {
    switch (h.compression) {
    case kRgb:
        return h.bpp == 1 || h.bpp == 4 || h.bpp == 8 || h.bpp == 16 || h.bpp == 24 || h.bpp == 32;
    case kRle8:
        return h.bpp == 8;
    case kRle4:
        return h.bpp == 4;
    case kBitfields:
        return h.bpp == 16 || h.bpp == 32;
    default:
        return false;
    }
}

// The bit fields the image library has always read: red, green and blue of
// 5-5-5 or 5-6-5 at 16 bits, and 8-8-8 at 32 bits, each from high to low.
bool known_masks(const Header& h) {
    if (h.masks.empty()) {
        return true; // no bit fields: 5-5-5 at 16 bits, blue lowest
    }
    const std::uint32_t r = get32(h.masks, 0);
    const std::uint32_t g = get32(h.masks, 4);
    const std::uint32_t b = get32(h.masks, 8);
    if (h.bpp == 16) {
        return (r == 0x7C00 && g == 0x03E0 && b == 0x001F) ||
               (r == 0xF800 && g == 0x07E0 && b == 0x001F);
    }
    return r == 0xFF0000 && g == 0x00FF00 && b == 0x0000FF;
}

// Nothing when the header is one the reader takes.
std::optional<LoadError> read_header(ByteSource& src, Header& h) {
    Bytes b;
    if (!src.read(0, kFileHeader + 4, b)) {
        return malformed("the file ends in its header");
    }
    if (b[0] != 'B' || b[1] != 'M') {
        return malformed("no BMP signature");
    }
    h.data_offset = get32(b, 10);
    h.info_size = get32(b, 14);
    if (!known_info_size(h.info_size)) {
        return unsupported("BMP header of this size");
    }
    if (!src.read(kFileHeader, h.info_size, b)) {
        return malformed("the file ends in its header");
    }
    h.palette_at = kFileHeader + h.info_size;
    if (h.info_size == kCoreHeader) {
        h.width = get16(b, 4);
        h.height = get16(b, 6);
        h.bpp = get16(b, 10);
        h.palette_entry = 3;
        if (h.bpp == 1 || h.bpp == 4 || h.bpp == 8 || h.bpp == 24) {
            return std::nullopt;
        }
        return unsupported("BMP of this depth");
    }
    const auto width = static_cast<std::int32_t>(get32(b, 4));
    const auto height = static_cast<std::int64_t>(static_cast<std::int32_t>(get32(b, 8)));
    if (width < 0) {
        return malformed("a negative width");
    }
    h.width = static_cast<std::uint32_t>(width);
    h.top_down = height < 0;
    h.height = static_cast<std::uint32_t>(
        std::min<std::int64_t>(h.top_down ? -height : height, std::int64_t{max_side} + 1));
    h.bpp = get16(b, 14);
    h.compression = get32(b, 16);
    h.x_ppm = get32(b, 24);
    h.y_ppm = get32(b, 28);
    h.colors_used = get32(b, 32);
    if (!known_format(h)) {
        return unsupported("BMP of this depth and coding");
    }
    if (h.compression == kBitfields) {
        // The larger headers carry the masks; after the plain one they follow it.
        if (h.info_size > kInfoHeader) {
            h.masks.assign(b.begin() + kInfoHeader, b.begin() + kInfoHeader + kMasksSize);
            if (h.info_size >= kInfoHeader + kMasksSize + 4) {
                h.alpha_mask = get32(b, kInfoHeader + kMasksSize);
            }
        } else if (!src.read(h.palette_at, kMasksSize, h.masks)) {
            return malformed("the file ends in its bit fields");
        } else {
            h.palette_at += kMasksSize;
        }
        if (!known_masks(h)) {
            return unsupported("BMP bit fields of this layout");
        }
    }
    return std::nullopt;
}

// The colour table as the plain form stores it (4-byte entries, padded with
// black to the full 2^bpp entries), and the colours the file gives.
std::optional<LoadError> read_palette(ByteSource& src, const Header& h, Bytes& plain,
                                      std::vector<Rgb>& colours) {
    const std::uint32_t full = 1u << h.bpp;
    const std::uint32_t declared = h.colors_used == 0 ? full : h.colors_used;
    if (declared > 256) {
        return malformed("more than 256 colours");
    }
    // A declared colour count must fit in the file.
    const std::uint64_t table_end =
        std::uint64_t{h.palette_at} + std::uint64_t{declared} * h.palette_entry;
    if (h.colors_used != 0 && table_end > src.size()) {
        return malformed("the colour table runs past the end of the file");
    }
    // Pixels take precedence over a table that claims to reach into them,
    // but a picture whose pixels leave no room for any colour at all would
    // be read all black: its colour count does not fit the file.
    const std::uint32_t room = (h.data_offset - h.palette_at) / h.palette_entry;
    const std::uint32_t used = std::min({declared, full, room});
    if (used == 0) {
        return malformed("no room for the colour table before the pixels");
    }
    Bytes table;
    if (!src.read(h.palette_at, std::size_t{used} * h.palette_entry, table)) {
        return malformed("the file ends in its colour table");
    }
    plain.assign(std::size_t{full} * 4, 0);
    colours.resize(used);
    for (std::size_t i = 0; i < used; ++i) {
        const std::uint8_t* entry = table.data() + i * h.palette_entry;
        std::copy_n(entry, 3, plain.begin() + static_cast<std::ptrdiff_t>(i * 4));
        colours[i] = Rgb{entry[2], entry[1], entry[0]};
    }
    return std::nullopt;
}

std::size_t row_stride(std::uint32_t width, std::uint32_t bpp) {
    return (std::size_t{width} * bpp + 31) / 32 * 4;
}

// The plain file's headers and colour table, for `bpp`-bit rows of `stride`.
Bytes plain_headers(const Header& h, std::uint32_t bpp, std::size_t stride, const Bytes& palette) {
    const auto image_size = static_cast<std::uint32_t>(stride * h.height);
    const auto offset = static_cast<std::uint32_t>(kFileHeader + kInfoHeader + palette.size());
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    put32(out, offset + image_size);
    put32(out, 0);
    put32(out, offset);
    put32(out, kInfoHeader);
    put32(out, h.width);
    put32(out, h.height);
    put16(out, 1);
    put16(out, bpp);
    put32(out, kRgb);
    put32(out, image_size);
    put32(out, h.x_ppm);
    put32(out, h.y_ppm);
    put32(out, 0);
    put32(out, 0);
    out.insert(out.end(), palette.begin(), palette.end());
    return out;
}

// The picture's rows in the order the file keeps them: bottom-up unless the
// height says otherwise.
RowMap stored_order(Image& image, bool top_down) {
    const auto step = static_cast<std::ptrdiff_t>(image.width());
    return top_down ? RowMap{image.row(0), step} : RowMap{image.row(image.height() - 1), -step};
}

// One true-colour pixel of the file in colour: 16 bits by their 5-5-5 or
// 5-6-5 fields, 24 and 32 as blue, green, red (and at 32, alpha where the
// bit fields give it a byte of its own).
class TrueColour {
  public:
    explicit TrueColour(const Header& h)
        : bpp_(h.bpp), six_green_(h.bpp == 16 && !h.masks.empty() && get32(h.masks, 4) == 0x07E0),
          alpha_(h.bpp == 32 && h.alpha_mask == 0xFF000000) {}

    std::uint32_t bytes() const { return bpp_ / 8; }

    Rgba operator()(const std::uint8_t* p) const {
        if (bpp_ == 16) {
            const std::uint32_t v = p[0] | (std::uint32_t{p[1]} << 8);
            if (six_green_) {
                const std::uint32_t g = (v >> 5) & 63;
                return Rgba{scale5(v >> 11), static_cast<std::uint8_t>((g << 2) | (g >> 4)),
                            scale5(v), 255};
            }
            return Rgba{scale5(v >> 10), scale5(v >> 5), scale5(v), 255};
        }
        return Rgba{p[2], p[1], p[0], alpha_ ? p[3] : std::uint8_t{255}};
    }

  private:
    std::uint32_t bpp_;
    bool six_green_;
    bool alpha_;
};

// Uncompressed true colour, whose rows are all in the file, a row at a time
// into the colour picture.
Decoded colour_rows(ByteSource& src, const Header& h, std::size_t stride) {
    std::optional<ColourImage> colour = ColourImage::allocate(h.width, h.height);
    if (!colour) {
        return out_of_memory();
    }
    const TrueColour decode(h);
    Reader in(src, h.data_offset);
    Bytes row(stride);
    const std::size_t used = std::size_t{h.width} * decode.bytes();
    for (std::uint32_t r = 0; r < h.height; ++r) {
        if (!in.take(r + 1 < h.height ? stride : used, row.data())) {
            return malformed("the pixel data ends early");
        }
        Rgba* to = colour->row(h.top_down ? r : h.height - 1 - r);
        for (std::uint32_t x = 0; x < h.width; ++x) {
            to[x] = decode(row.data() + std::size_t{x} * decode.bytes());
        }
    }
    return std::move(*colour);
}

} // namespace

Decoded read_bmp(ByteSource& src, const Limits& limits, Want want) {
    Header h;
    Bytes plain_palette;
    std::vector<Rgb> colours;
    if (auto refused = read_header(src, h)) {
        return std::move(*refused);
    }
    if (auto refused = size_refusal(limits, h.width, h.height)) {
        return std::move(*refused);
    }
    if (h.data_offset < h.palette_at || h.data_offset > src.size()) {
        return malformed("the pixel offset does not fit the file");
    }
    const bool paletted = h.bpp <= 8;
    if (paletted) {
        if (auto refused = read_palette(src, h, plain_palette, colours)) {
            return std::move(*refused);
        }
    }
    const std::uint64_t available = src.size() - h.data_offset;

    if (h.compression == kRle8 || h.compression == kRle4) {
        std::optional<Image> image = Image::allocate(h.width, h.height, Kind::indexed);
        if (!image) {
            return out_of_memory();
        }
        // No real encoder spends more than four bytes on a pixel: a stream
        // that has not ended by then is not read any further.
        const std::uint64_t limit =
            4 * (std::uint64_t{h.width} + 2) * (std::uint64_t{h.height} + 1) + 16;
        Reader in(src, h.data_offset);
        if (!expand_bmp_rle(in, limit, h.compression == kRle8 ? 8 : 4, h.width, h.height,
                            stored_order(*image, h.top_down))) {
            return malformed("the run-length data is damaged");
        }
        image->set_palette(std::move(colours));
        return std::move(*image);
    }

    // Uncompressed: every row must be in the file. Only the last row's
    // padding may be missing, as some writers leave it out.
    const std::size_t stride = row_stride(h.width, h.bpp);
    const std::uint64_t last_row = (std::uint64_t{h.width} * h.bpp + 7) / 8;
    const std::uint64_t needed = stride * (h.height - 1) + last_row;
    if (needed > available) {
        return malformed("the pixel data ends early");
    }
    if (!paletted) {
        if (want == Want::colour) {
            return colour_rows(src, h, stride);
        }
        std::optional<Image> image =
            Image::allocate(h.width, h.height, Kind::truecolor, kTrueColorIndex);
        if (!image) {
            return out_of_memory();
        }
        return std::move(*image);
    }
    // Eight-bit rows are the indices as they stand, so they go straight into
    // the picture: handing them to the library costs it a call per byte, as
    // much as the rest of a screen's whole run.
    if (h.bpp == 8) {
        std::optional<Image> image = Image::allocate(h.width, h.height, Kind::indexed);
        if (!image) {
            return out_of_memory();
        }
        Reader in(src, h.data_offset);
        const RowMap rows = stored_order(*image, h.top_down);
        std::uint8_t padding[3];
        const std::size_t pad = stride - h.width;
        for (std::uint32_t r = 0; r < h.height; ++r) {
            if (!in.take(h.width, rows.row(r)) || (r + 1 < h.height && !in.take(pad, padding))) {
                return malformed("the pixel data ends early");
            }
        }
        image->set_palette(std::move(colours));
        return std::move(*image);
    }
    // The rows are read from the file as the library decodes them, bottom
    // row first; a last row short of its padding is made up to full length
    // with zeros.
    const Bytes headers = plain_headers(h, h.bpp, stride, plain_palette);
    const Bytes zeros(stride, 0);
    std::vector<Piece> pieces{Piece::in_memory(headers)};
    for (std::size_t i = 0; i < h.height; ++i) {
        const std::uint64_t at = std::uint64_t{h.top_down ? h.height - 1 - i : i} * stride;
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(stride, available - at));
        // Rows that follow each other in the file are read as one range.
        Piece& last = pieces.back();
        if (last.source != nullptr && last.offset + last.length == h.data_offset + at) {
            last.length += n;
        } else {
            pieces.push_back(Piece::file_range(src, h.data_offset + at, n));
        }
        if (n < stride) {
            pieces.push_back(Piece::in_memory(ByteView(zeros).first(stride - n)));
        }
    }
    Decoded decoded = decode_bmp_with_library(pieces, Kind::indexed);
    if (decoded) {
        std::get<Image>(*decoded).set_palette(std::move(colours));
    }
    return decoded;
}

} // namespace intake
