#include "dither.hpp"
#include "pictures.hpp"

#include <gtest/gtest.h>

namespace {

// The level every pixel of a w x h picture of one gray value gets.
std::vector<int> dither_flat(int value, int w, int h) {
    auto image = make_image(
        w, h, [&](int, int) { return value; }, intake::Kind::gray);
    tilecut::dither(image);
    return pixels_of(std::optional<intake::Image>(std::move(image)));
}

TEST(Dither, GrayValuesMapToTheirSixteenthsOfAStep) {
    // Each value's sixteenths c, read back as the number of raised pixels in
    // a 4x4 block plus 16 per whole level.
    const std::vector<std::pair<int, int>> cases = {
        {0, 0},    {2, 0},    {3, 1},    {7, 1},    {77, 15},  {81, 15},  {82, 16},  {87, 16},
        {125, 24}, {129, 24}, {167, 32}, {172, 32}, {247, 47}, {251, 47}, {252, 48}, {255, 48}};
    for (const auto& [value, c] : cases) {
        int sum = 0;
        for (int level : dither_flat(value, 4, 4)) {
            sum += level;
        }
        EXPECT_EQ(sum, c) << "gray " << value;
    }
}

TEST(Dither, PatternsOfTheOwnMatrix) {
    // Gray 3: only the matrix's 0 cell, x and y both multiples of 4, is raised.
    const auto low = dither_flat(3, 8, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(low[static_cast<std::size_t>(y * 8 + x)], (x % 4 == 0 && y % 4 == 0) ? 1 : 0);
        }
    }
    // Gray 128: a checkerboard of 2 (x + y even) and 1.
    const auto mid = dither_flat(128, 8, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(mid[static_cast<std::size_t>(y * 8 + x)], (x + y) % 2 == 0 ? 2 : 1);
        }
    }
    // Gray 251: 3 everywhere but the matrix's 15 cell at x = 2, y = 1 (mod 4),
    // which a textbook Bayer matrix would put elsewhere.
    const auto high = dither_flat(251, 8, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(high[static_cast<std::size_t>(y * 8 + x)],
                      (x % 4 == 2 && y % 4 == 1) ? 2 : 3);
        }
    }
}

TEST(Dither, ExtremesAndOddSizes) {
    for (int level : dither_flat(0, 5, 3)) {
        EXPECT_EQ(level, 0);
    }
    for (int value = 252; value <= 255; ++value) {
        for (int level : dither_flat(value, 5, 3)) {
            EXPECT_EQ(level, 3);
        }
    }
    // A 6x5 picture ends partway through a block; the pattern is still anchored
    // at its top-left pixel.
    const auto odd = dither_flat(3, 6, 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(odd[static_cast<std::size_t>(y * 6 + x)], (x % 4 == 0 && y % 4 == 0) ? 1 : 0);
        }
    }
}

TEST(Dither, LevelsStayInRangeForAnyValue) {
    // The level is defined past the byte range too: no overflow, colours 0-3.
    EXPECT_EQ(tilecut::dither_level(0x7FFFFFFF, 0, 0), 3);
    EXPECT_EQ(tilecut::dither_level(-1, 0, 0), 0);
}

} // namespace
