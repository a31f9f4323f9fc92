#include "pictures.hpp"
#include "tiles.hpp"

#include <gtest/gtest.h>

namespace {

TEST(Tiles, PlanesRowsAndBitOrderFollowTheTileLayout) {
    // Row y holds colour (x + y) mod 4 with a palette index >= 4, which must
    // wrap: only bits 0 and 1 of the value reach the tile.
    const auto image = make_image(8, 8, [](int x, int y) { return 4 + (x + y) % 4; });
    const Tiles chr = tilecut::encode_tiles(image);
    ASSERT_EQ(chr.size(), 16u);
    // Colours 0 1 2 3 0 1 2 3: plane 0 is 01010101, plane 1 is 00110011.
    EXPECT_EQ(chr[0], 0x55);
    EXPECT_EQ(chr[8], 0x33);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(tile_pixel(chr, 0, x, y), (x + y) % 4) << x << "," << y;
        }
    }
}

TEST(Tiles, TilesRunLeftToRightThenTopToBottom) {
    // A 24x16 picture: each 8x8 cell filled with its own cell number mod 4,
    // with cell 5 as colour 1 so that every cell differs from its neighbour.
    const auto image = make_image(24, 16, [](int x, int y) { return (y / 8 * 3 + x / 8) % 4; });
    const Tiles chr = tilecut::encode_tiles(image);
    ASSERT_EQ(chr.size(), 6u * 16);
    for (std::size_t cell = 0; cell < 6; ++cell) {
        EXPECT_EQ(tile_pixel(chr, cell, 3, 3), static_cast<int>(cell % 4)) << cell;
    }
}

TEST(Tiles, PaddingBeyondTheRightAndBottomEdgeIsColourThree) {
    const auto image = make_image(13, 11, [](int, int) { return 1; });
    const Tiles chr = tilecut::encode_tiles(image);
    ASSERT_EQ(chr.size(), 4u * 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const std::size_t tile = static_cast<std::size_t>(y / 8 * 2 + x / 8);
            const int expected = (x < 13 && y < 11) ? 1 : 3;
            EXPECT_EQ(tile_pixel(chr, tile, x % 8, y % 8), expected) << x << "," << y;
        }
    }

    const auto dot = make_image(1, 1, [](int, int) { return 6; });
    const Tiles one = tilecut::encode_tiles(dot);
    ASSERT_EQ(one.size(), 16u);
    EXPECT_EQ(tile_pixel(one, 0, 0, 0), 2);
    EXPECT_EQ(one[0], 0x7F); // bit 0 of 6 is clear, the padding's is set
    for (std::size_t i = 1; i < 16; ++i) {
        EXPECT_EQ(one[i], 0xFF) << i;
    }
}

TEST(Tiles, RowsOfTilesAppendToWhatIsThere) {
    // The command line writes one row of tiles at a time into a reused
    // buffer; a row must append, never overwrite what is already there.
    const auto image = make_image(16, 9, [](int x, int y) { return x + y; });
    Tiles out{0xAB};
    tilecut::encode_tile_row(image, 8, out);
    ASSERT_EQ(out.size(), 1u + 2 * 16);
    EXPECT_EQ(out[0], 0xAB);
    const Tiles expected = tiles_of(16, 9, [](int x, int y) { return x + y; });
    EXPECT_EQ(Tiles(out.begin() + 1, out.end()), Tiles(expected.begin() + 32, expected.end()));
}

} // namespace
