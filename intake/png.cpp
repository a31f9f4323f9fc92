// PNG through libpng. Indexed pictures give their palette indices and gray
// ones their gray level, one byte per pixel; true colour has no indices to
// give and is refused.
//
// libpng reports errors by longjmp. The calls that may jump live in plain
// functions below whose frames hold nothing with a destructor; everything
// that must be released is owned by read_png's frame, which never jumps.
#include "readers.hpp"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace intake {

namespace {

struct Input {
    ByteSource* src;
    std::uint64_t at;
};

[[noreturn]] void on_error(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {
    // A load failure is reported by the caller; nothing else is printed.
}

void on_read(png_structp png, png_bytep dst, png_size_t n) {
    auto* in = static_cast<Input*>(png_get_io_ptr(png));
    if (!in->src->read(in->at, n, dst)) {
        png_error(png, "truncated");
    }
    in->at += n;
}

struct Shape {
    png_uint_32 width;
    png_uint_32 height;
    int color_type;
};

// Reads the header and sets up the transforms that give one byte a pixel.
bool read_shape(png_structp png, png_infop info, Shape* shape) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_info(png, info);
    int depth = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &shape->width, &shape->height, &depth, &shape->color_type, &interlace,
                 nullptr, nullptr);
    switch (shape->color_type) {
    case PNG_COLOR_TYPE_PALETTE:
        png_set_packing(png);
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_strip_alpha(png);
        [[fallthrough]];
    case PNG_COLOR_TYPE_GRAY:
        if (depth < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        break;
    default:
        return false;
    }
    if (depth == 16) {
        png_set_scale_16(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == shape->width;
}

bool read_pixels(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

// Every chunk up to the end chunk must lie wholly inside the file. libpng
// would otherwise take a damaged length at its word and allocate for it.
bool chunks_fit(ByteSource& src) {
    std::uint64_t at = 8;
    for (;;) {
        png_byte head[8];
        if (!src.read(at, sizeof head, head)) {
            return false;
        }
        const std::uint32_t length = png_get_uint_32(head);
        if (length > PNG_UINT_31_MAX || src.size() - at < 12 + std::uint64_t{length}) {
            return false;
        }
        if (std::memcmp(head + 4, "IEND", 4) == 0) {
            // The end chunk carries nothing; data in it means damage.
            return length == 0;
        }
        at += 12 + std::uint64_t{length};
    }
}

struct ReadStruct {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadStruct() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

std::vector<Rgb> palette_of(png_structp png, png_infop info) {
    std::vector<Rgb> colours;
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &entries, &count) != 0) {
        for (int i = 0; i < count; ++i) {
            colours.push_back(Rgb{entries[i].red, entries[i].green, entries[i].blue});
        }
    }
    return colours;
}

} // namespace

std::optional<Image> read_png(ByteSource& src, const Limits& limits) {
    png_byte signature[8];
    if (!src.read(0, sizeof signature, signature) ||
        png_sig_cmp(signature, 0, sizeof signature) != 0 || !chunks_fit(src)) {
        return std::nullopt;
    }
    ReadStruct rs;
    rs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (rs.png == nullptr) {
        return std::nullopt;
    }
    rs.info = png_create_info_struct(rs.png);
    if (rs.info == nullptr) {
        return std::nullopt;
    }
    png_set_user_limits(rs.png, limits.max_side, limits.max_side);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Lets a fuzzer past the checksums, to the decoding behind them.
    png_set_crc_action(rs.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#else
    // A bad checksum on any chunk, text included, means a damaged file.
    png_set_crc_action(rs.png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
#endif
    Input in{&src, 0};
    png_set_read_fn(rs.png, &in, on_read);

    Shape shape{};
    if (!read_shape(rs.png, rs.info, &shape) || !acceptable(limits, shape.width, shape.height)) {
        return std::nullopt;
    }
    const bool indexed = shape.color_type == PNG_COLOR_TYPE_PALETTE;
    std::optional<Image> image =
        Image::allocate(shape.width, shape.height, indexed ? Kind::indexed : Kind::gray);
    if (!image) {
        return std::nullopt;
    }
    std::vector<png_bytep> rows(shape.height);
    for (png_uint_32 y = 0; y < shape.height; ++y) {
        rows[y] = image->row(y);
    }
    if (!read_pixels(rs.png, rs.info, rows.data())) {
        return std::nullopt;
    }
    if (indexed) {
        image->set_palette(palette_of(rs.png, rs.info));
    }
    return image;
}

} // namespace intake
