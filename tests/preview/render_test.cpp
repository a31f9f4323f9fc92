#include "render.hpp"

#include <gtest/gtest.h>

#include <vector>

using tileshow::Rgb;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Colour number n shows as (n, n + 64, n + 128), so entries can be worked out by hand.
tileshow::NesColours fake_colours() {
    tileshow::NesColours colours{};
    for (unsigned n = 0; n < colours.size(); ++n) {
        colours[n] = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n + 64),
                      static_cast<std::uint8_t>(n + 128)};
    }
    return colours;
}

// Colour 3 everywhere but the top-left pixel (colour 0).
const Bytes solid = {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                     0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
// Colour 2 in the left half of row 3.
const Bytes bar = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0, 0, 0, 0};

std::variant<tileshow::Picture, tileshow::Error> render(const tileshow::Request& request) {
    return tileshow::render(request, fake_colours());
}

// n pixels of row y from column x.
Bytes row_of(const tileshow::Picture& p, std::uint32_t y, std::uint32_t x, std::uint32_t n) {
    const auto* start = p.pixels.data() + std::size_t{y} * p.width + x;
    return Bytes(start, start + n);
}

} // namespace

TEST(Render, PlanesBecomeColoursAndLastRowsArePadded) {
    const Bytes mixed = {0x55, 0x80, 0, 0, 0, 0, 0, 0xFF, 0x33, 0x01, 0, 0, 0, 0, 0, 0xFF};
    Bytes chr = mixed;
    chr.insert(chr.end(), bar.begin(), bar.end());
    const auto sheet = std::get<tileshow::Picture>(render({.chr = {"t.chr", chr}}));
    ASSERT_EQ(sheet.width, 128U);
    ASSERT_EQ(sheet.height, 8U);
    EXPECT_EQ(row_of(sheet, 0, 0, 8), (Bytes{0, 1, 2, 3, 0, 1, 2, 3}));
    EXPECT_EQ(row_of(sheet, 1, 0, 8), (Bytes{1, 0, 0, 0, 0, 0, 0, 2}));
    EXPECT_EQ(row_of(sheet, 3, 8, 8), (Bytes{2, 2, 2, 2, 0, 0, 0, 0}));
    EXPECT_EQ(row_of(sheet, 7, 16, 112), Bytes(112, 0)); // a sheet's missing cells are blank
    EXPECT_EQ(sheet.palette,
              (std::vector<Rgb>{{0, 0, 0}, {85, 85, 85}, {170, 170, 170}, {255, 255, 255}}));

    // A name table's missing cells hold tile 0.
    chr = solid;
    chr.insert(chr.end(), bar.begin(), bar.end());
    const Bytes nam = {1, 0, 1};
    const auto screen = std::get<tileshow::Picture>(
        render({.chr = {"t.chr", chr}, .nam = {{"n.nam", nam}}, .width = 2}));
    ASSERT_EQ(screen.width, 16U);
    ASSERT_EQ(screen.height, 16U);
    for (const std::uint32_t y : {3U, 11U}) {
        EXPECT_EQ(row_of(screen, y, 0, 16),
                  (Bytes{2, 2, 2, 2, 0, 0, 0, 0, 3, 3, 3, 3, 3, 3, 3, 3}));
    }
    EXPECT_EQ(row_of(screen, 8, 8, 8), (Bytes{0, 3, 3, 3, 3, 3, 3, 3}));
}

TEST(Render, AttributeQuadrantsBlocksAndPalettes) {
    // 5x5 tiles: two 32x32 blocks across and two down, the last ones cut short.
    const Bytes nam(25, 0);
    const Bytes atr = {0xE4, 0x1B, 0x55, 0xAA};
    const auto p = std::get<tileshow::Picture>(render(
        {.chr = {"t.chr", solid}, .nam = {{"n.nam", nam}}, .width = 5, .atr = {{"a.atr", atr}}}));
    ASSERT_EQ(p.width, 40U);
    ASSERT_EQ(p.height, 40U);
    struct Case {
        std::uint32_t x, y;
        std::uint8_t index;
    };
    const Case cases[] = {
        {1, 0, 3},    {17, 0, 7},  {1, 16, 11}, {17, 16, 15}, // 0xE4: palettes 0, 1, 2, 3
        {31, 31, 15}, {16, 0, 0},  {16, 16, 0}, // an area's far corner; colour 0 stays 0
        {33, 0, 15},  {39, 16, 7}, {1, 32, 7},  {33, 39, 11}, // 0x1B, 0x55, 0xAA
    };
    for (const Case& c : cases) {
        EXPECT_EQ(p.pixels[c.y * 40 + c.x], c.index) << c.x << "," << c.y;
    }
    // Without a palette file, the hues made to tell the palettes apart.
    EXPECT_EQ(p.palette.at(0), (Rgb{0x0F, 0x4F, 0x8F}));
    EXPECT_EQ(p.palette.at(6), (Rgb{0x16, 0x56, 0x96}));

    // A palette file without attributes: palette 0 throughout. Bytes 4, 8
    // and 12 are never drawn, so they may hold anything, numbers past $3F too.
    const Bytes pal = {0x0F, 0x01, 0x02, 0x03, 0x40, 0x11, 0x12, 0x13,
                       0xFF, 0x21, 0x22, 0x23, 0x00, 0x31, 0x32, 0x33};
    const auto q = std::get<tileshow::Picture>(
        render({.chr = {"t.chr", solid}, .nam = {{"n.nam", nam}}, .pal = {{"p.pal", pal}}}));
    EXPECT_EQ(row_of(q, 0, 0, 4), (Bytes{0, 3, 3, 3}));
    ASSERT_EQ(q.palette.size(), 16U);
    // Colour 0 of every palette is the backdrop, byte 0, whatever bytes 4, 8 and 12 say.
    for (const std::size_t i : {0U, 4U, 8U, 12U}) {
        EXPECT_EQ(q.palette[i], (Rgb{0x0F, 0x4F, 0x8F})) << i;
    }
    EXPECT_EQ(q.palette[9], (Rgb{0x21, 0x61, 0xA1}));
}

TEST(Render, Refusals) {
    const Bytes one = solid, screen(960, 0), pal(16, 0x0F), tall(2049, 0);
    Bytes past(40, 2), high_pal(16, 0x0F);
    past[37] = 3;
    past[39] = 200;
    high_pal[9] = 0x40;
    const auto refusal = [](const tileshow::Request& request) {
        const auto result = render(request);
        const auto* error = std::get_if<tileshow::Error>(&result);
        return error ? error->message : "drawn";
    };
    EXPECT_EQ(refusal({.chr = {"t.chr", one}, .width = 0}),
              "tileshow: the width (-w) must be at least 1 tile\n");
    EXPECT_EQ(refusal({.chr = {"t.chr", one}, .width = 2049}),
              "tileshow: the width (-w) may be at most 2048 tiles (16384 pixels)\n");
    EXPECT_EQ(refusal({.chr = {"t.chr", Bytes(15)}}),
              "tileshow: t.chr holds no whole tile: it is 15 bytes, and a tile is 16\n");
    EXPECT_EQ(refusal({.chr = {"t.chr", one}, .pal = {{"p.pal", Bytes(192)}}}),
              "tileshow: p.pal is 192 bytes, but a palette is 16 (NES colour tables go to "
              "--nes-palette)\n");
    EXPECT_EQ(refusal({.chr = {"t.chr", one}, .pal = {{"p.pal", high_pal}}}),
              "tileshow: p.pal byte 9 is $40, but NES colour numbers end at $3F\n");
    EXPECT_EQ(refusal({.chr = {"t.chr", one}, .nam = {{"n.nam", {}}}}),
              "tileshow: n.nam is empty: there is nothing to draw\n");
    EXPECT_EQ(refusal({.chr = {"t.chr", Bytes(48)}, .nam = {{"n.nam", past}}}),
              "tileshow: n.nam byte 37 (column 5, row 1) names tile $03, but t.chr holds only 3 "
              "tiles\n");
    EXPECT_EQ(refusal({.chr = {"t.chr", one}, .nam = {{"n.nam", tall}}, .width = 1}),
              "tileshow: the picture would be 16392 pixels high, but at most 16384 are drawn; a "
              "larger -w makes it lower\n");
    EXPECT_EQ(
        refusal({.chr = {"t.chr", one},
                 .nam = {{"n.nam", screen}},
                 .pal = {{"p.pal", pal}},
                 .atr = {{"a.atr", Bytes(63)}}}),
        "tileshow: a.atr is 63 bytes, but a 256x240 picture needs 64 (one per 32x32 block)\n");

    EXPECT_EQ(std::get<std::uint32_t>(tileshow::parse_width("2048")), 2048U);
    EXPECT_EQ(std::get<tileshow::Error>(tileshow::parse_width("-3")).message,
              "tileshow: -w takes a number of tiles, not \"-3\"\n");
    EXPECT_EQ(std::get<tileshow::Error>(tileshow::parse_width("")).problem,
              tileshow::Problem::width_not_a_number);
    EXPECT_EQ(std::get<tileshow::Error>(tileshow::parse_width("00")).problem,
              tileshow::Problem::zero_width);
    EXPECT_EQ(std::get<tileshow::Error>(tileshow::parse_width("99999999999999999999")).problem,
              tileshow::Problem::too_wide);
}
