// The colour decode, held to libpng's own decode for PNG and to the pixels
// written into BMP, PCX and TGA files here; and the reasons load() gives.
#include "e2e.hpp"
#include "image_files.hpp"
#include "intake.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

namespace fs = std::filesystem;

namespace {

using intake::Rgba;
using Colours = std::vector<Rgba>;

Colours colours_of(const intake::Loaded<intake::ColourImage>& image) {
    return image ? Colours(image->pixels().begin(), image->pixels().end()) : Colours{};
}

// ---- PNG against libpng -----------------------------------------------------

struct PngKind {
    int type;
    int depth;
    bool trns;
    bool interlace;
};

// A PNG of random rows in which zero bytes are common, so that a tRNS colour
// of zero is met; tRNS gives alpha to half the palette's entries.
Bytes random_png(const PngKind& k, int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<png_color> palette(1u << k.depth);
    std::vector<png_byte> alpha(palette.size() / 2);
    for (png_color& c : palette) {
        c = {static_cast<png_byte>(rng()), static_cast<png_byte>(rng()),
             static_cast<png_byte>(rng())};
    }
    for (png_byte& a : alpha) {
        a = static_cast<png_byte>(rng());
    }
    png_color_16 zero{};
    const auto chunks = [&](png_structp png, png_infop info) {
        if (k.type == PNG_COLOR_TYPE_PALETTE) {
            png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
        }
        if (k.trns) {
            png_set_tRNS(png, info, alpha.data(), static_cast<int>(alpha.size()), &zero);
        }
    };
    return png_written(w, h, k.type, k.depth, k.interlace, chunks, [&](int, Bytes& row, int) {
        for (std::uint8_t& b : row) {
            b = rng() % 2 == 0 ? 0 : static_cast<std::uint8_t>(rng());
        }
    });
}

// libpng's own decode, by another road: every sample expanded to 16 bits,
// then rounded to 8 here.
Colours libpng_colours(const Bytes& file) {
    struct In {
        const Bytes* bytes;
        std::size_t at;
    } in{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &in, [](png_structp p, png_bytep d, png_size_t n) {
        auto* i = static_cast<In*>(png_get_io_ptr(p));
        std::memcpy(d, i->bytes->data() + i->at, n);
        i->at += n;
    });
    png_read_info(png, info);
    png_set_expand_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    std::vector<Bytes> rows(h, Bytes(png_get_rowbytes(png, info)));
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows) {
        pointers.push_back(row.data());
    }
    png_read_image(png, pointers.data());
    png_destroy_read_struct(&png, &info, nullptr);
    Colours colours;
    for (const Bytes& row : rows) {
        for (png_uint_32 x = 0; x < w; ++x) {
            std::uint8_t c[4];
            for (std::size_t i = 0; i < 4; ++i) {
                const unsigned v = row[x * 8 + i * 2] * 256u + row[x * 8 + i * 2 + 1];
                c[i] = static_cast<std::uint8_t>((2 * v + 257) / 514); // v / 257, rounded
            }
            colours.push_back(Rgba{c[0], c[1], c[2], c[3]});
        }
    }
    return colours;
}

TEST(ColourDecode, PngAsLibpngDecodesIt) {
    const struct {
        int type;
        std::initializer_list<int> depths;
    } types[] = {{PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}},
                 {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}},
                 {PNG_COLOR_TYPE_RGB, {8, 16}},
                 {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}},
                 {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}}};
    unsigned seed = 1;
    for (const auto& t : types) {
        for (const int depth : t.depths) {
            for (const bool trns : {false, true}) {
                for (const bool interlace : {false, true}) {
                    if (trns && (t.type & PNG_COLOR_MASK_ALPHA) != 0) {
                        continue; // a full alpha channel takes no tRNS
                    }
                    const Bytes file = random_png({t.type, depth, trns, interlace}, 13, 7, seed++);
                    const Colours theirs = libpng_colours(file);
                    ASSERT_EQ(theirs.size(), 13u * 7);
                    EXPECT_EQ(colours_of(intake::decode_colour(intake::Format::png, file)), theirs)
                        << "type " << t.type << ", depth " << depth << ", tRNS " << trns
                        << ", interlace " << interlace;
                }
            }
        }
    }
}

// ---- BMP, PCX and TGA with known pixels -------------------------------------

std::uint8_t five(std::uint32_t v) {
    v &= 31;
    return static_cast<std::uint8_t>(v << 3 | v >> 2);
}

std::uint8_t six(std::uint32_t v) {
    v &= 63;
    return static_cast<std::uint8_t>(v << 2 | v >> 4);
}

// A true-colour BMP of w x h pixels whose stored values (bpp / 8 bytes,
// little-endian) are `stored`, top row first; bit fields (red, green, blue
// and, in a header of 56 bytes or more, alpha) when `masks` is not empty.
Bytes truecolour_bmp(std::uint32_t info, int bpp, bool top_down,
                     const std::vector<std::uint32_t>& masks, int w, int h,
                     const std::vector<std::uint32_t>& stored) {
    const bool core = info == 12;
    const auto stride = static_cast<std::uint32_t>((w * bpp + 31) / 32 * 4);
    const std::uint32_t extra = !masks.empty() && info == 40 ? 12 : 0;
    const std::uint32_t offset = 14 + info + extra;
    Bytes b{'B', 'M'};
    le(b, offset + stride * static_cast<std::uint32_t>(h), 4);
    le(b, 0, 4);
    le(b, offset, 4);
    le(b, info, 4);
    le(b, static_cast<std::uint32_t>(w), core ? 2 : 4);
    le(b, static_cast<std::uint32_t>(top_down ? -h : h), core ? 2 : 4);
    le(b, 1, 2);
    le(b, static_cast<std::uint32_t>(bpp), 2);
    if (!core) {
        le(b, masks.empty() ? 0 : 3, 4);
        b.resize(14 + std::max(info, 40u), 0);
        // Inside a larger header, or after the plain one, where they end it.
        const std::size_t fields =
            info >= 56 ? masks.size() : std::min<std::size_t>(masks.size(), 3);
        for (std::size_t i = 0; i < fields; ++i) {
            Bytes mask;
            le(mask, masks[i], 4);
            if (info == 40) {
                b.insert(b.end(), mask.begin(), mask.end());
            } else {
                std::copy(mask.begin(), mask.end(),
                          b.begin() + 54 + static_cast<std::ptrdiff_t>(4 * i));
            }
        }
    }
    for (int r = 0; r < h; ++r) {
        const int y = top_down ? r : h - 1 - r;
        Bytes row;
        for (int x = 0; x < w; ++x) {
            le(row, stored[static_cast<std::size_t>(y * w + x)], bpp / 8);
        }
        row.resize(stride, 0);
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

// A 24-bit PCX: each row as its red, green and blue scanlines (of an even
// length), every byte coded as a run of its own.
Bytes truecolour_pcx(int w, int h, const Colours& px) {
    const int line = (w + 1) / 2 * 2;
    Bytes b = pcx_header(w, h, 3, line);
    for (int y = 0; y < h; ++y) {
        for (int plane = 0; plane < 3; ++plane) {
            for (int x = 0; x < line; ++x) {
                const Rgba c = x < w ? px[static_cast<std::size_t>(y * w + x)] : Rgba{};
                b.push_back(0xC1);
                b.push_back(plane == 0 ? c.r : plane == 1 ? c.g : c.b);
            }
        }
    }
    return b;
}

TEST(ColourDecode, TrueColourAtEveryDepthGivesItsPixels) {
    constexpr int w = 13;
    constexpr int h = 5;
    struct Row {
        std::string name;
        intake::Format format;
        Bytes file;
        Colours want;
    };
    std::vector<Row> rows;
    std::mt19937 rng(7);
    // Every stored value is random; `want` makes of it what the format says.
    const auto make = [&](auto&& colour_of) {
        std::vector<std::uint32_t> stored;
        Colours want;
        for (int i = 0; i < w * h; ++i) {
            stored.push_back(static_cast<std::uint32_t>(rng()));
            want.push_back(colour_of(stored.back()));
        }
        return std::pair{stored, want};
    };
    const auto rgb555 = [](bool alpha) {
        return [alpha](std::uint32_t v) {
            return Rgba{five(v >> 10), five(v >> 5), five(v),
                        static_cast<std::uint8_t>(!alpha || (v & 0x8000) != 0 ? 255 : 0)};
        };
    };
    const auto rgb565 = [](std::uint32_t v) {
        return Rgba{five(v >> 11), six(v >> 5), five(v), 255};
    };
    const auto rgb888 = [](bool alpha) {
        return [alpha](std::uint32_t v) {
            return Rgba{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                        static_cast<std::uint8_t>(v),
                        static_cast<std::uint8_t>(alpha ? v >> 24 : 255)};
        };
    };
    const std::vector<std::uint32_t> f555{0x7C00, 0x03E0, 0x001F};
    const std::vector<std::uint32_t> f565{0xF800, 0x07E0, 0x001F};
    const std::vector<std::uint32_t> f888{0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000};
    const std::vector<std::uint32_t> f888_opaque{0xFF0000, 0x00FF00, 0x0000FF, 0};
    const struct {
        const char* name;
        std::uint32_t info;
        int bpp;
        std::vector<std::uint32_t> masks;
        std::function<Rgba(std::uint32_t)> colour;
    } bmps[] = {
        {"16 bits", 40, 16, {}, rgb555(false)},
        {"16 bits, 5-5-5 fields", 40, 16, f555, rgb555(false)},
        {"16 bits, 5-6-5 fields", 108, 16, f565, rgb565},
        {"24 bits", 40, 24, {}, rgb888(false)},
        {"24 bits, 12-byte header", 12, 24, {}, rgb888(false)},
        {"32 bits: the fourth byte is no alpha", 40, 32, {}, rgb888(false)},
        {"32 bits, fields without alpha", 40, 32, f888, rgb888(false)},
        {"32 bits, alpha field of 0", 56, 32, f888_opaque, rgb888(false)},
        {"32 bits, alpha field", 124, 32, f888, rgb888(true)},
    };
    for (const auto& k : bmps) {
        for (const bool top_down : {false, true}) {
            if (k.info == 12 && top_down) {
                continue;
            }
            const auto [stored, want] = make(k.colour);
            rows.push_back({std::string("bmp ") + k.name + (top_down ? ", top-down" : ""),
                            intake::Format::bmp,
                            truecolour_bmp(k.info, k.bpp, top_down, k.masks, w, h, stored), want});
        }
    }
    const auto [pcx_stored, pcx_want] = make(rgb888(false));
    rows.push_back({"pcx 24 bits", intake::Format::pcx, truecolour_pcx(w, h, pcx_want), pcx_want});
    // TGA: 15 bits have no alpha; 16 and 32 have it when the descriptor's
    // low bits declare 1 and 8 bits of it.
    const struct {
        int bpp;
        std::uint8_t alpha_bits;
        std::function<Rgba(std::uint32_t)> colour;
    } tgas[] = {{15, 0, rgb555(false)}, {16, 0, rgb555(false)}, {16, 1, rgb555(true)},
                {24, 0, rgb888(false)}, {32, 0, rgb888(false)}, {32, 8, rgb888(true)}};
    for (const auto& k : tgas) {
        for (const int type : {2, 10}) {
            for (const int layout : {0, 1, 2, 3}) {
                auto [stored, want] = make(k.colour);
                Pixels px;
                for (std::uint32_t& v : stored) {
                    v &= k.bpp == 32 ? 0xFFFFFFFF : (1u << ((k.bpp + 7) / 8 * 8)) - 1;
                    px.push_back(static_cast<int>(v));
                }
                Bytes file = tga_file({.type = type,
                                       .bpp = k.bpp,
                                       .top_down = (layout & 1) != 0,
                                       .right_to_left = (layout & 2) != 0},
                                      w, h, px);
                file[17] |= k.alpha_bits;
                rows.push_back({"tga " + std::to_string(k.bpp) + " bits, alpha bits " +
                                    std::to_string(k.alpha_bits) + ", type " +
                                    std::to_string(type) + ", layout " + std::to_string(layout),
                                intake::Format::tga, file, want});
            }
        }
    }
    for (const Row& row : rows) {
        const auto colour = intake::decode_colour(row.format, row.file);
        ASSERT_TRUE(colour) << row.name << ": " << colour.error.text();
        EXPECT_EQ(colours_of(colour), row.want) << row.name;
        // At its own depth the same file is one index per pixel, as before.
        const auto image = intake::decode(row.format, row.file);
        ASSERT_TRUE(image) << row.name;
        EXPECT_EQ(image->kind(), intake::Kind::truecolor) << row.name;
    }
}

// Indexed pictures through their palette (an index past its end is opaque
// black), gray levels as equal red, green and blue.
TEST(ColourDecode, IndexedAndGrayThroughThePalette) {
    const Pixels px = random_pixels(21, 9, 256, 5);
    Bytes few = bmp_file({40, 8}, 21, 9, px);
    few[46] = 5; // five colours declared: most indices have none
    const Bytes pcx = pcx_file(21, 9, px, 22);
    const struct {
        const char* name;
        intake::Format format;
        Bytes file;
    } files[] = {
        {"bmp 8 bits", intake::Format::bmp, bmp_file({40, 8}, 21, 9, px)},
        {"bmp 4 bits", intake::Format::bmp, bmp_file({40, 4}, 21, 9, random_pixels(21, 9, 16, 6))},
        {"bmp rle8", intake::Format::bmp, bmp_file({40, 8, true}, 21, 9, px)},
        {"bmp of 5 colours", intake::Format::bmp, few},
        {"pcx", intake::Format::pcx, pcx},
        {"pcx of the header's 16 colours", intake::Format::pcx, cut(pcx, pcx.size() - 769)},
        {"tga mapped from 100", intake::Format::tga,
         tga_file({.type = 9, .map_first = 100}, 21, 9, px)},
        {"tga gray", intake::Format::tga, tga_file({.type = 3}, 21, 9, px)},
        {"png gray", intake::Format::png, png_file(21, 9, PNG_COLOR_TYPE_GRAY, 8, px)},
    };
    for (const auto& f : files) {
        const auto image = intake::decode(f.format, f.file);
        ASSERT_TRUE(image) << f.name;
        Colours want;
        for (std::uint32_t y = 0; y < image->height(); ++y) {
            for (std::uint32_t x = 0; x < image->width(); ++x) {
                const std::uint8_t v = image->at(x, y);
                const auto& palette = image->palette();
                intake::Rgb c{v, v, v};
                if (image->kind() == intake::Kind::indexed) {
                    c = v < palette.size() ? palette[v] : intake::Rgb{0, 0, 0};
                }
                want.push_back(Rgba{c.r, c.g, c.b, 255});
            }
        }
        EXPECT_EQ(colours_of(intake::decode_colour(f.format, f.file)), want) << f.name;
    }
}

// ---- why there is no picture ------------------------------------------------

TEST(LoadReasons, OneForEachWayOfFailing) {
    // Running out of memory is tried on the built tools, under an address
    // space limit (tests/chain/safety_test.cpp).
    const e2e::Scratch s;
    const Bytes bmp = bmp_file({}, 11, 10, Pixels(110, 1));
    e2e::write_file(s / "a.gif", bmp);
    fs::create_directory(s / "dir.png");
    e2e::write_file(s / "cut.bmp", cut(bmp, bmp.size() - 20));
    e2e::write_file(s / "rgb.png", png_file(3, 2, PNG_COLOR_TYPE_RGB, 8, Pixels(6, 9)));
    e2e::write_file(s / "wide.bmp", bmp_file({}, 16385, 1, Pixels(16385, 1)));
    e2e::write_file(s / "ten.bmp", bmp);
    const struct {
        const char* file;
        intake::Limits limits;
        intake::Reason reason;
        std::string text;
        bool in_colour_too; // true colour has no reason to be refused in colour
    } cases[] = {
        {"none.png", {}, intake::Reason::cannot_open, std::strerror(ENOENT), true},
        {"dir.png", {}, intake::Reason::not_regular_file, "not a regular file", true},
        {"a.gif",
         {},
         intake::Reason::unknown_extension,
         "not a .bmp, .pcx, .png or .tga file",
         true},
        {"cut.bmp", {}, intake::Reason::malformed, "malformed: the pixel data ends early", true},
        {"rgb.png",
         {},
         intake::Reason::unsupported,
         "not supported: true-colour PNG, which has no palette indices",
         false},
        {"wide.bmp",
         {},
         intake::Reason::too_large,
         "too large: more than 16384 pixels a side",
         true},
        {"ten.bmp",
         {16384, 109},
         intake::Reason::too_large,
         "too large: more than 109 pixels",
         true},
    };
    for (const auto& c : cases) {
        const std::string path = (s / c.file).string();
        const auto image = intake::load(path.c_str(), nullptr, c.limits);
        ASSERT_FALSE(image) << c.file;
        EXPECT_EQ(image.error.reason, c.reason) << c.file;
        EXPECT_EQ(image.error.text(), c.text) << c.file;
        const auto colour = intake::load_colour(path.c_str(), nullptr, c.limits);
        EXPECT_EQ(!colour, c.in_colour_too) << c.file;
        if (!colour) {
            EXPECT_EQ(colour.error.text(), c.text) << c.file;
        }
    }
    EXPECT_TRUE(intake::load((s / "ten.bmp").c_str(), nullptr, {16384, 110}));
}

} // namespace
