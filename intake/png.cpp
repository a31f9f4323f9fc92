// PNG through libpng. At its own depth, an indexed picture gives its palette
// indices and a gray one its gray level, one byte per pixel; true colour has
// no indices to give and is refused. In colour, libpng's own transformations
// expand every colour type and depth, tRNS included, to 8-bit RGBA, straight
// into the picture.
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

// What went wrong, as libpng or the reading callback said it.
struct Trouble {
    char text[96] = "";
};

struct Input {
    ByteSource* src;
    std::uint64_t at;
};

[[noreturn]] void on_error(png_structp png, png_const_charp message) {
    auto* trouble = static_cast<Trouble*>(png_get_error_ptr(png));
    if (trouble->text[0] == '\0') {
        std::strncpy(trouble->text, message, sizeof trouble->text - 1);
    }
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {
    // A load failure is reported by the caller; nothing else is printed.
}

void on_read(png_structp png, png_bytep dst, png_size_t n) {
    auto* in = static_cast<Input*>(png_get_io_ptr(png));
    if (!in->src->read(in->at, n, dst)) {
        png_error(png, "the file ends early");
    }
    in->at += n;
}

struct Shape {
    png_uint_32 width;
    png_uint_32 height;
    int color_type;
};

// Sets up the transforms that give one byte a pixel; false for true colour.
bool one_byte_a_pixel(png_structp png, int color_type, int depth) {
    switch (color_type) {
    case PNG_COLOR_TYPE_PALETTE:
        png_set_packing(png);
        return true;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_strip_alpha(png);
        [[fallthrough]];
    case PNG_COLOR_TYPE_GRAY:
        if (depth < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        return true;
    default:
        return false;
    }
}

// Sets up the transforms that give red, green, blue and alpha.
void four_bytes_a_pixel(png_structp png, int color_type) {
    png_set_expand(png); // palette to RGB, gray to 8 bits, tRNS to alpha
    if (color_type == PNG_COLOR_TYPE_GRAY || color_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    // Only where there is neither an alpha channel nor tRNS.
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
}

// Reads the header and sets up the transforms for `want`. False on an error
// or, at its own depth, for true colour (`shape->color_type` tells).
bool read_shape(png_structp png, png_infop info, Want want, Shape* shape) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_info(png, info);
    int depth = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &shape->width, &shape->height, &depth, &shape->color_type, &interlace,
                 nullptr, nullptr);
    if (want == Want::colour) {
        four_bytes_a_pixel(png, shape->color_type);
    } else if (!one_byte_a_pixel(png, shape->color_type, depth)) {
        return false;
    }
    if (depth == 16) {
        png_set_scale_16(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == shape->width * (want == Want::colour ? 4 : 1);
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
const char* chunks_misfit(ByteSource& src) {
    std::uint64_t at = 8;
    for (;;) {
        png_byte head[8];
        if (!src.read(at, sizeof head, head)) {
            return "the file ends before its end chunk";
        }
        const std::uint32_t length = png_get_uint_32(head);
        if (length > PNG_UINT_31_MAX || src.size() - at < 12 + std::uint64_t{length}) {
            return "a chunk runs past the end of the file";
        }
        if (std::memcmp(head + 4, "IEND", 4) == 0) {
            // The end chunk carries nothing; data in it means damage.
            return length == 0 ? nullptr : "data in the end chunk";
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

// libpng's word for a failure, as one of the intake's reasons.
LoadError refusal(const Trouble& trouble) {
    if (std::strstr(trouble.text, "memory") != nullptr) {
        return out_of_memory();
    }
    return LoadError{Reason::malformed, trouble.text[0] != '\0' ? trouble.text : "damaged data"};
}

// The rows of whichever picture is being filled, for png_read_image.
template <typename Pixels> std::vector<png_bytep> rows_of(Pixels& picture) {
    std::vector<png_bytep> rows(picture.height());
    for (png_uint_32 y = 0; y < picture.height(); ++y) {
        rows[y] = reinterpret_cast<png_bytep>(picture.row(y));
    }
    return rows;
}

} // namespace

Decoded read_png(ByteSource& src, const Limits& limits, Want want) {
    png_byte signature[8];
    if (!src.read(0, sizeof signature, signature) ||
        png_sig_cmp(signature, 0, sizeof signature) != 0) {
        return malformed("no PNG signature");
    }
    if (const char* misfit = chunks_misfit(src)) {
        return malformed(misfit);
    }
    // The header chunk comes first; a side past the limit is too large
    // rather than damaged, whatever libpng would call it.
    png_byte ihdr[16];
    if (src.read(8, sizeof ihdr, ihdr) && std::memcmp(ihdr + 4, "IHDR", 4) == 0) {
        if (auto refused =
                size_refusal(limits, png_get_uint_32(ihdr + 8), png_get_uint_32(ihdr + 12))) {
            return std::move(*refused);
        }
    }
    Trouble trouble;
    ReadStruct rs;
    rs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &trouble, on_error, on_warning);
    if (rs.png == nullptr) {
        return out_of_memory();
    }
    rs.info = png_create_info_struct(rs.png);
    if (rs.info == nullptr) {
        return out_of_memory();
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
    if (!read_shape(rs.png, rs.info, want, &shape)) {
        if (trouble.text[0] == '\0' && (shape.color_type & PNG_COLOR_MASK_COLOR) != 0) {
            return unsupported("true-colour PNG, which has no palette indices");
        }
        return refusal(trouble);
    }
    if (auto refused = size_refusal(limits, shape.width, shape.height)) {
        return std::move(*refused);
    }
    if (want == Want::colour) {
        std::optional<ColourImage> colour = ColourImage::allocate(shape.width, shape.height);
        if (!colour) {
            return out_of_memory();
        }
        std::vector<png_bytep> rows = rows_of(*colour);
        if (!read_pixels(rs.png, rs.info, rows.data())) {
            return refusal(trouble);
        }
        return std::move(*colour);
    }
    const bool indexed = shape.color_type == PNG_COLOR_TYPE_PALETTE;
    std::optional<Image> image =
        Image::allocate(shape.width, shape.height, indexed ? Kind::indexed : Kind::gray);
    if (!image) {
        return out_of_memory();
    }
    std::vector<png_bytep> rows = rows_of(*image);
    if (!read_pixels(rs.png, rs.info, rows.data())) {
        return refusal(trouble);
    }
    if (indexed) {
        image->set_palette(palette_of(rs.png, rs.info));
    }
    return std::move(*image);
}

} // namespace intake
