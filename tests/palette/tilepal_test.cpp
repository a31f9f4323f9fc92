#include "tilepal.hpp"

#include <gtest/gtest.h>

#include <random>

using intake::Image;
using tilepal::Pixel;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

namespace {

Image picture(std::uint32_t w, std::uint32_t h, const std::vector<Pixel>& pixels = {},
              intake::Kind kind = intake::Kind::indexed) {
    Image image = *Image::allocate(w, h, kind);
    image.set_palette(std::vector<nes::Rgb>(16));
    for (const Pixel& p : pixels) {
        image.row(p.y)[p.x] = p.index;
    }
    return image;
}

Lines messages_for(const Image& image, const nes::Table& table = nes::builtin_table()) {
    return tilepal::messages(tilepal::analyse(image, table), "art/title.bmp");
}

const std::string head = "tilepal: art/title.bmp: ";

} // namespace

// Seeded noise over a whole screen, so that nearly all its 960 tiles differ:
// only the areas' palettes count, and pixels with c = 0, of any palette, sit
// in every area without mixing it. One area holds nothing but c = 0.
TEST(Attributes, WholeScreenInRasterOrder) {
    const auto palette_of = [](std::uint32_t ax, std::uint32_t ay) {
        return ay >= 15 || (ax == 3 && ay == 1) ? 0U : (ax * 3 + ay) % 4;
    };
    Image image = picture(256, 240);
    std::mt19937 rng(2024);
    for (std::uint32_t y = 0; y < 240; ++y) {
        for (std::uint32_t x = 0; x < 256; ++x) {
            const unsigned c = x / 16 == 3 && y / 16 == 1 ? 0 : rng() % 4;
            const unsigned p = c == 0 ? rng() % 4 : palette_of(x / 16, y / 16);
            image.row(y)[x] = static_cast<std::uint8_t>(4 * p + c);
        }
    }
    Bytes expected;
    for (std::uint32_t by = 0; by < 16; by += 2) {
        for (std::uint32_t bx = 0; bx < 16; bx += 2) {
            expected.push_back(static_cast<std::uint8_t>(
                palette_of(bx, by) | palette_of(bx + 1, by) << 2 | palette_of(bx, by + 1) << 4 |
                palette_of(bx + 1, by + 1) << 6));
        }
    }
    EXPECT_EQ(tilepal::analyse(image, nes::builtin_table()).attributes, expected);
}

// Areas cut by the edge count the pixels inside; areas wholly outside are 0.
TEST(Attributes, SidesThatAreNotMultiples) {
    const std::tuple<std::uint32_t, std::uint32_t, std::vector<Pixel>, Bytes> cases[] = {
        {1, 1, {{0, 0, 7}}, {0x01}},
        {40, 20, {{20, 0, 9}, {0, 17, 5}, {39, 19, 14}}, {0x18, 0x30}},
        {33, 33, {{32, 32, 6}, {17, 31, 15}, {15, 16, 13}}, {0xF0, 0x00, 0x00, 0x01}},
        {16, 48, {{0, 47, 10}}, {0x00, 0x02}},
        {0, 0, {}, {}},
    };
    for (const auto& [w, h, pixels, expected] : cases) {
        EXPECT_EQ(tilepal::analyse(picture(w, h, pixels), {}).attributes, expected) << w;
    }
}

// An index past 15 is named first in reading order, even after a mixed area.
// A mixed area names its first pixel in reading order and the first after it
// with another palette, whatever their columns.
TEST(Refusals, Messages) {
    EXPECT_EQ(messages_for(picture(8, 8, {}, intake::Kind::gray)),
              Lines{head + "not a paletted picture (it is grayscale)\n"});
    EXPECT_EQ(messages_for(picture(8, 8, {}, intake::Kind::truecolor)),
              Lines{head + "not a paletted picture (it is true colour)\n"});
    EXPECT_EQ(
        messages_for(picture(20, 20, {{0, 0, 1}, {1, 0, 5}, {5, 7, 16}, {19, 3, 255}})),
        Lines{head + "pixel (19, 3) has index 255; only indices 0-15 fit the four palettes\n"});
    EXPECT_EQ(messages_for(picture(4, 2, {{3, 0, 15}, {2, 1, 16}})),
              Lines{head + "pixel (2, 1) has index 16; only indices 0-15 fit the four palettes\n"});
    EXPECT_EQ(
        messages_for(picture(
            64, 40, {{10, 0, 9}, {3, 2, 5}, {0, 3, 13}, {50, 33, 3}, {49, 39, 4}, {48, 39, 7}})),
        (Lines{head + "16x16 area at (0, 0) uses palettes 2 and 1: index 9 at (10, 0), index 5 at "
                      "(3, 2)\n",
               head + "16x16 area at (48, 32) uses palettes 0 and 1: index 3 at (50, 33), index 7 "
                      "at (48, 39)\n"}));
}

TEST(Refusals, MixedAreasUpToTheCap) {
    for (std::uint32_t areas : {20U, 21U, 33U}) {
        std::vector<Pixel> pixels;
        for (std::uint32_t a = 0; a < areas; ++a) {
            pixels.insert(pixels.end(), {{16 * a + 1, 15, 15}, {16 * a + 15, 15, 2}});
        }
        const tilepal::Result r = tilepal::analyse(picture(16 * areas, 16, pixels), {});
        EXPECT_EQ(r.conflict_count, areas);
        ASSERT_EQ(r.conflicts.size(), 20U);
        EXPECT_EQ(r.conflicts[19], (tilepal::Conflict{304, 0, {305, 15, 15}, {319, 15, 2}}));
        const Lines lines = tilepal::messages(r, "art/title.bmp");
        EXPECT_EQ(lines.size(), std::min(areas, 21U));
        EXPECT_EQ(lines.back(),
                  areas == 21   ? head + "1 more 16x16 area uses more than one palette\n"
                  : areas == 33 ? head + "13 more 16x16 areas use more than one palette\n"
                                : lines[19]);
    }
}

// Entries equal to a loaded table's colours give those numbers; the
// backdrop's copies and missing entries follow the fixed rules.
TEST(Palette, Bytes) {
    nes::Table t{};
    for (std::size_t n = 0; n < 64; ++n) {
        t[n] = {static_cast<std::uint8_t>(n * 4), static_cast<std::uint8_t>(n % 3 * 99), 50};
    }
    Image image = picture(4, 4);
    image.set_palette({t[0x21], t[0x01], t[0x3C], t[0x2A], t[0x10], t[0x05]});
    using Pal = std::array<std::uint8_t, 16>;
    EXPECT_EQ(tilepal::analyse(image, t).palette,
              (Pal{0x21, 1, 0x3C, 0x2A, 0x21, 5, 15, 15, 0x21, 15, 15, 15, 0x21, 15, 15, 15}));
}

// Against a table of nothing but black, white is 100 away (a pure lightness
// difference at mean lightness 50 counts in full). Only entries in use are
// warned about (index 8 has another colour than the backdrop, but no pixel);
// entry 0 is in use through the pixels that show it.
TEST(Palette, Warnings) {
    const nes::Table black{};
    Image image =
        picture(3, 2, {{0, 0, 4}, {1, 0, 1}, {2, 0, 2}, {0, 1, 4}, {1, 1, 12}, {2, 1, 1}});
    image.set_palette({{255, 255, 255},
                       {},
                       {255, 255, 255},
                       {},
                       {1, 2, 3},
                       {},
                       {255, 255, 255},
                       {},
                       {7, 7, 7},
                       {},
                       {},
                       {},
                       {9, 9, 9}});
    EXPECT_EQ(messages_for(image, black),
              (Lines{head + "warning: entry 0 (#FFFFFF) has no close NES colour: nearest is $00 "
                            "at distance 100.0\n",
                     head + "warning: entry 2 (#FFFFFF) has no close NES colour: nearest is $00 "
                            "at distance 100.0\n",
                     head + "warning: 2 pixels of index 4 (#010203) show the backdrop, entry 0 "
                            "(#FFFFFF), on the NES; the first is at (0, 0)\n",
                     head + "warning: 1 pixel of index 12 (#090909) shows the backdrop, entry 0 "
                            "(#FFFFFF), on the NES; it is at (1, 1)\n"}));
    image.set_palette(std::vector<nes::Rgb>(13));
    EXPECT_TRUE(messages_for(image, black).empty());

    // At the threshold the distance as printed decides. Against a table of
    // one gray, worked out from the grays' CIELAB lightness alone: gray 113
    // is 10.04 from gray 86, printed 10.0, and passes; gray 206 is 10.06
    // from gray 168, printed 10.1, and is warned about.
    const std::tuple<std::uint8_t, std::uint8_t, Lines> near[] = {
        {86, 113, {}},
        {168,
         206,
         {head + "warning: entry 1 (#CECECE) has no close NES colour: nearest is $00 at distance "
                 "10.1\n"}},
    };
    for (const auto& [table_gray, gray, lines] : near) {
        nes::Table table;
        table.fill({table_gray, table_gray, table_gray});
        Image one = picture(1, 1, {{0, 0, 1}});
        one.set_palette({{}, {gray, gray, gray}});
        EXPECT_EQ(messages_for(one, table), lines) << int{gray};
    }
}
