#include "render.hpp"

#include <gtest/gtest.h>

#include <vector>

using tileshow::Problem;
using tileshow::Rgb;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Each colour number n shows as (n, n + 64, n + 128), so any entry can be
// worked out by hand.
tileshow::NesColours fake_colours() {
    tileshow::NesColours colours{};
    for (unsigned n = 0; n < colours.size(); ++n) {
        colours[n] = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n + 64),
                      static_cast<std::uint8_t>(n + 128)};
    }
    return colours;
}

// Colour 3 everywhere but the top-left pixel, which is colour 0.
const Bytes solid = {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                     0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
// Colour 2 in the left half of row 3, colour 0 elsewhere.
const Bytes bar = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0, 0, 0, 0};

Bytes join(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

tileshow::Picture draw(const tileshow::Request& request) {
    auto result = tileshow::render(request, fake_colours());
    if (const auto* error = std::get_if<tileshow::Error>(&result)) {
        ADD_FAILURE() << error->message;
        return {};
    }
    return std::get<tileshow::Picture>(std::move(result));
}

std::uint8_t at(const tileshow::Picture& p, std::uint32_t x, std::uint32_t y) {
    return p.pixels.at(std::size_t{y} * p.width + x);
}

Bytes row_of(const tileshow::Picture& p, std::uint32_t y, std::uint32_t x, std::uint32_t n) {
    const auto* start = p.pixels.data() + std::size_t{y} * p.width + x;
    return Bytes(start, start + n);
}

} // namespace

TEST(Render, SheetDrawsPlanesAsColoursWithGrays) {
    const Bytes mixed = {0x55, 0x80, 0, 0, 0, 0, 0, 0xFF, 0x33, 0x01, 0, 0, 0, 0, 0, 0xFF};
    const Bytes chr = join({mixed, bar});
    const auto p = draw({.chr = {"t.chr", chr}});
    ASSERT_EQ(p.width, 128U);
    ASSERT_EQ(p.height, 8U);
    EXPECT_EQ(row_of(p, 0, 0, 8), (Bytes{0, 1, 2, 3, 0, 1, 2, 3}));
    EXPECT_EQ(row_of(p, 1, 0, 8), (Bytes{1, 0, 0, 0, 0, 0, 0, 2}));
    EXPECT_EQ(row_of(p, 7, 0, 8), Bytes(8, 3));
    EXPECT_EQ(row_of(p, 3, 8, 8), (Bytes{2, 2, 2, 2, 0, 0, 0, 0}));
    EXPECT_EQ(row_of(p, 7, 16, 112), Bytes(112, 0)); // cells past the last tile
    EXPECT_EQ(p.palette,
              (std::vector<Rgb>{{0, 0, 0}, {85, 85, 85}, {170, 170, 170}, {255, 255, 255}}));
}

TEST(Render, PartialLastRow) {
    const Bytes nam = {1, 0, 1};
    const Bytes chr = join({solid, bar});
    // A name table's missing cells hold tile 0; a sheet's are left blank.
    const auto screen = draw({.chr = {"t.chr", chr}, .nam = {{"n.nam", nam}}, .width = 2});
    ASSERT_EQ(screen.width, 16U);
    ASSERT_EQ(screen.height, 16U);
    EXPECT_EQ(row_of(screen, 3, 0, 16), (Bytes{2, 2, 2, 2, 0, 0, 0, 0, 3, 3, 3, 3, 3, 3, 3, 3}));
    EXPECT_EQ(row_of(screen, 11, 0, 16), (Bytes{2, 2, 2, 2, 0, 0, 0, 0, 3, 3, 3, 3, 3, 3, 3, 3}));
    EXPECT_EQ(row_of(screen, 8, 8, 8), (Bytes{0, 3, 3, 3, 3, 3, 3, 3}));

    const Bytes three = join({solid, solid, solid});
    const auto sheet = draw({.chr = {"t.chr", three}, .width = 2});
    ASSERT_EQ(sheet.height, 16U);
    EXPECT_EQ(row_of(sheet, 9, 0, 16), (Bytes{3, 3, 3, 3, 3, 3, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Render, AttributeQuadrantsAndBlocks) {
    // 5x5 tiles: two 32x32 blocks across and two down, the right and lower
    // ones cut short.
    const Bytes nam(25, 0);
    const Bytes atr = {0xE4, 0x1B, 0x55, 0xAA};
    const auto p = draw(
        {.chr = {"t.chr", solid}, .nam = {{"n.nam", nam}}, .width = 5, .atr = {{"a.atr", atr}}});
    ASSERT_EQ(p.width, 40U);
    ASSERT_EQ(p.height, 40U);
    struct Case {
        std::uint32_t x, y;
        std::uint8_t index;
    };
    const Case cases[] = {
        {1, 0, 3},    {15, 15, 3},  // 0xE4 bits 0-1: palette 0
        {17, 0, 7},   {31, 15, 7},  // bits 2-3: palette 1
        {1, 16, 11},  {15, 31, 11}, // bits 4-5: palette 2
        {17, 16, 15}, {31, 31, 15}, // bits 6-7: palette 3
        {16, 0, 0},   {16, 16, 0},  // colour 0 is the backdrop in every palette
        {33, 0, 15},  {39, 16, 7},  // second byte, 0x1B
        {1, 32, 7},   {33, 39, 11}, // the lower blocks
    };
    for (const Case& c : cases) {
        EXPECT_EQ(at(p, c.x, c.y), c.index) << c.x << "," << c.y;
    }
    // The picture colours from the hues shown when no palette file is given.
    EXPECT_EQ(p.palette.at(0), (Rgb{0x0F, 0x4F, 0x8F}));
    EXPECT_EQ(p.palette.at(6), (Rgb{0x16, 0x56, 0x96}));
}

TEST(Render, PaletteFileWithoutAttributesUsesPaletteZero) {
    const Bytes pal = {0x0F, 0x01, 0x02, 0x03, 0x30, 0x11, 0x12, 0x13,
                       0x3F, 0x21, 0x22, 0x23, 0x00, 0x31, 0x32, 0x33};
    const Bytes nam = {0};
    const auto p =
        draw({.chr = {"t.chr", solid}, .nam = {{"n.nam", nam}}, .pal = {{"p.pal", pal}}});
    EXPECT_EQ(at(p, 1, 0), 3);
    EXPECT_EQ(at(p, 0, 0), 0);
    ASSERT_EQ(p.palette.size(), 16U);
    EXPECT_EQ(p.palette[0], (Rgb{0x0F, 0x4F, 0x8F}));
    EXPECT_EQ(p.palette[3], (Rgb{0x03, 0x43, 0x83}));
    EXPECT_EQ(p.palette[4], (Rgb{0x0F, 0x4F, 0x8F})); // the backdrop, not byte 4
    EXPECT_EQ(p.palette[8], (Rgb{0x0F, 0x4F, 0x8F}));
    EXPECT_EQ(p.palette[9], (Rgb{0x21, 0x61, 0xA1}));
    EXPECT_EQ(p.palette[15], (Rgb{0x33, 0x73, 0xB3}));
}

TEST(Render, Refusals) {
    const Bytes one = solid;
    const Bytes three = join({solid, solid, solid});
    const Bytes screen(960, 0);
    const Bytes past = [] {
        Bytes b(40, 2);
        b[37] = 3;
        b[39] = 200;
        return b;
    }();
    const Bytes good_pal(16, 0x0F);
    const Bytes high_pal = [] {
        Bytes b(16, 0x0F);
        b[9] = 0x40;
        return b;
    }();
    const Bytes short_atr(63, 0), empty, tall(2049, 0), partial(15, 0xFF), colour_table(192, 0);
    struct Case {
        tileshow::Request request;
        Problem problem;
        const char* message;
    };
    const Case cases[] = {
        {{.chr = {"t.chr", one}, .width = 0},
         Problem::zero_width,
         "tileshow: the width (-w) must be at least 1 tile\n"},
        {{.chr = {"t.chr", one}, .width = 2049},
         Problem::too_wide,
         "tileshow: the width (-w) may be at most 2048 tiles (16384 pixels)\n"},
        {{.chr = {"t.chr", partial}},
         Problem::no_whole_tile,
         "tileshow: t.chr holds no whole tile: it is 15 bytes, and a tile is 16\n"},
        {{.chr = {"t.chr", one}, .pal = {{"p.pal", partial}}},
         Problem::palette_size,
         "tileshow: p.pal is 15 bytes, but a palette is 16\n"},
        {{.chr = {"t.chr", one}, .pal = {{"p.pal", colour_table}}},
         Problem::palette_size,
         "tileshow: p.pal is 192 bytes, but a palette is 16 (NES colour tables go to "
         "--nes-palette)\n"},
        {{.chr = {"t.chr", one}, .pal = {{"p.pal", high_pal}}},
         Problem::palette_byte,
         "tileshow: p.pal byte 9 is $40, but NES colour numbers end at $3F\n"},
        {{.chr = {"t.chr", one}, .nam = {{"n.nam", empty}}},
         Problem::empty_name_table,
         "tileshow: n.nam is empty: there is nothing to draw\n"},
        {{.chr = {"t.chr", three}, .nam = {{"n.nam", past}}},
         Problem::tile_past_end,
         "tileshow: n.nam byte 37 (column 5, row 1) names tile $03, but t.chr holds only 3 "
         "tiles\n"},
        {{.chr = {"t.chr", one}, .nam = {{"n.nam", tall}}, .width = 1},
         Problem::too_high,
         "tileshow: the picture would be 16392 pixels high, but at most 16384 are drawn; a "
         "larger -w makes it lower\n"},
        {{.chr = {"t.chr", one},
          .nam = {{"n.nam", screen}},
          .pal = {{"p.pal", good_pal}},
          .atr = {{"a.atr", short_atr}}},
         Problem::attributes_short,
         "tileshow: a.atr is 63 bytes, but a 256x240 picture needs 64 (one per 32x32 block)\n"},
    };
    for (const Case& c : cases) {
        const auto result = tileshow::render(c.request, fake_colours());
        const auto* error = std::get_if<tileshow::Error>(&result);
        ASSERT_NE(error, nullptr) << c.message;
        EXPECT_EQ(error->problem, c.problem) << c.message;
        EXPECT_EQ(error->message, c.message);
    }
}

TEST(Render, WidthArgument) {
    struct Case {
        const char* text;
        std::uint32_t width; // 0: refused with `message`
        const char* message;
    };
    const Case cases[] = {
        {"7", 7, ""},
        {"2048", 2048, ""},
        {"12x", 0, "tileshow: -w takes a number of tiles, not \"12x\"\n"},
        {"", 0, "tileshow: -w takes a number of tiles, not \"\"\n"},
        {"-3", 0, "tileshow: -w takes a number of tiles, not \"-3\"\n"},
        {"00", 0, "tileshow: the width (-w) must be at least 1 tile\n"},
        {"99999999999999999999", 0,
         "tileshow: the width (-w) may be at most 2048 tiles (16384 pixels)\n"},
    };
    for (const Case& c : cases) {
        const auto result = tileshow::parse_width(c.text);
        if (c.width != 0) {
            EXPECT_EQ(std::get<std::uint32_t>(result), c.width) << c.text;
        } else {
            EXPECT_EQ(std::get<tileshow::Error>(result).message, c.message) << c.text;
        }
    }
}
