#include "quality.hpp"

#include "inputs.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

const nes::Table& table() {
    return nes::builtin_table();
}

std::vector<std::uint8_t> candidates() {
    std::vector<std::uint8_t> out;
    for (std::uint8_t n = 0; n < nes::colour_count; ++n) {
        if (nes::is_candidate(n)) {
            out.push_back(n);
        }
    }
    return out;
}

std::vector<nes::Rgb> photo(std::uint32_t w, std::uint32_t h, std::uint64_t seed) {
    const bench::ColourPicture pic = bench::photo(static_cast<int>(w), static_cast<int>(h), seed);
    std::vector<nes::Rgb> out;
    for (std::size_t i = 0; i < pic.rgb.size(); i += 3) {
        out.push_back({pic.rgb[i], pic.rgb[i + 1], pic.rgb[i + 2]});
    }
    return out;
}

// A legal screen: four sub-palettes of distinct candidates, each 16x16 area
// under one of them, every pixel the backdrop (the most common) or one of
// its area's three.
std::vector<nes::Rgb> legal(std::uint32_t w, std::uint32_t h, std::uint64_t seed) {
    bench::Rng rng(seed);
    std::vector<std::uint8_t> pool = candidates();
    for (std::size_t i = pool.size(); i > 1; --i) {
        std::swap(pool[i - 1], pool[rng.below(static_cast<std::uint32_t>(i))]);
    }
    const std::uint32_t across = (w + 15) / 16;
    std::vector<std::uint32_t> area_palette(across * ((h + 15) / 16));
    for (auto& p : area_palette) {
        p = rng.below(4);
    }
    std::vector<nes::Rgb> out(std::size_t{w} * h);
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint32_t c = rng.below(6) < 3 ? 0 : 1 + rng.below(3);
            const std::uint32_t p = area_palette[(y / 16) * across + x / 16];
            out[std::size_t{y} * w + x] = table()[pool[c == 0 ? 0 : 1 + p * 3 + c - 1]];
        }
    }
    return out;
}

TEST(Quality, BoundIsEachPixelsNearestCandidate) {
    const auto pool = candidates();
    ASSERT_EQ(pool.size(), 54U);
    for (const std::uint64_t seed : {1U, 2U, 3U}) {
        const auto pixels = photo(37, 21, seed);
        const quality::Picture picture{37, 21, pixels};
        double sum = 0;
        for (const nes::Rgb& p : pixels) {
            sum += nes::nearest(table(), p).distance;
        }
        EXPECT_NEAR(quality::bound(quality::Distances(picture, table())),
                    sum / static_cast<double>(pixels.size()), 1e-4);
    }
    const auto exact = legal(48, 32, 4);
    EXPECT_EQ(quality::bound(quality::Distances({48, 32, exact}, table())), 0.0);
}

TEST(Quality, GreedyIsLegalAndNeverBeatsTheBound) {
    for (const std::uint64_t seed : {5U, 6U, 7U, 8U}) {
        // Sizes off the area grid too: the last areas are partial.
        const std::uint32_t w = 20 + static_cast<std::uint32_t>(seed) * 7;
        const std::uint32_t h = 18 + static_cast<std::uint32_t>(seed) * 3;
        SCOPED_TRACE(w);
        const auto pixels = photo(w, h, seed);
        const quality::Picture picture{w, h, pixels};
        const quality::Distances d(picture, table());
        const quality::Greedy g = quality::greedy(picture, d, table());
        ASSERT_TRUE(nes::is_candidate(g.backdrop));
        for (const auto& sub : g.sub) {
            for (const std::uint8_t n : sub) {
                ASSERT_TRUE(nes::is_candidate(n));
            }
        }
        const std::uint32_t across = (w + 15) / 16;
        ASSERT_EQ(g.areas.size(), across * ((h + 15) / 16));
        for (std::uint32_t y = 0; y < h; ++y) {
            for (std::uint32_t x = 0; x < w; ++x) {
                const std::size_t i = std::size_t{y} * w + x;
                const std::uint8_t c = g.screen.c[i];
                ASSERT_LT(c, 4);
                const std::uint8_t p = g.areas[(y / 16) * across + x / 16];
                ASSERT_LT(p, 4);
                EXPECT_EQ(g.screen.colours[i], table()[c == 0 ? g.backdrop : g.sub[p][c - 1U]]);
            }
        }
        // The same screen as the suite writes it passes the legality check,
        // and fails it once one pixel strays into another sub-palette.
        std::vector<nes::Rgb> palette(16, table()[g.backdrop]);
        for (std::size_t p = 0; p < 4; ++p) {
            for (std::size_t c = 1; c < 4; ++c) {
                palette[4 * p + c] = table()[g.sub[p][c - 1]];
            }
        }
        std::vector<std::uint8_t> indices(pixels.size(), 0);
        for (std::size_t i = 0; i < indices.size(); ++i) {
            const std::uint8_t p = g.areas[(i / w / 16) * across + i % w / 16];
            indices[i] = g.screen.c[i] == 0 ? 0 : static_cast<std::uint8_t>(4 * p + g.screen.c[i]);
        }
        EXPECT_TRUE(quality::is_legal(w, h, indices, palette, table()));
        indices[0] = 1; // sub-palette 0 and 1 in the same area
        indices[1] = 5;
        EXPECT_FALSE(quality::is_legal(w, h, indices, palette, table()));
        const quality::Scores s = quality::score(picture, g.screen);
        EXPECT_GE(s.mean + 1e-9, quality::bound(d));
        EXPECT_LE(s.p95, s.max);
    }
}

TEST(Quality, GreedyReturnsALegalScreenUnchanged) {
    for (const std::uint64_t seed : {9U, 10U, 11U}) {
        const auto pixels = legal(64, 48, seed);
        const quality::Picture picture{64, 48, pixels};
        const quality::Greedy g =
            quality::greedy(picture, quality::Distances(picture, table()), table());
        EXPECT_EQ(g.screen.colours, pixels);
    }
}

TEST(Quality, TilesAreDistinctPatternsOfC) {
    std::vector<std::uint8_t> c(24 * 16);
    for (std::size_t i = 0; i < c.size(); ++i) {
        c[i] = static_cast<std::uint8_t>((i % 24 % 8 + i / 24 % 8) % 4); // one pattern, repeated
    }
    EXPECT_EQ(quality::tile_count(24, 16, c), 1U);
    c[24 * 9 + 17] ^= 1; // a change in the last cell
    EXPECT_EQ(quality::tile_count(24, 16, c), 2U);
    std::vector<std::uint8_t> narrow(20 * 16);
    for (std::size_t i = 0; i < narrow.size(); ++i) {
        narrow[i] = static_cast<std::uint8_t>((i % 20 % 8 + i / 20 % 8) % 4);
    }
    EXPECT_EQ(quality::tile_count(20, 16, narrow), 2U); // the part-cells, padded with 0
}

TEST(Quality, BlurForgivesADitherThatKeepsTheAverage) {
    // A black and white checkerboard stands for the gray of half the light.
    const std::uint32_t w = 32;
    std::vector<nes::Rgb> flat(w * w, {188, 188, 188});
    std::vector<nes::Rgb> checker(w * w);
    for (std::size_t i = 0; i < checker.size(); ++i) {
        const bool white = (i % w + i / w) % 2 == 1;
        checker[i] = white ? nes::Rgb{255, 255, 255} : nes::Rgb{0, 0, 0};
    }
    const quality::Picture picture{w, w, flat};
    const double per_pixel =
        quality::score(picture, {checker, std::vector<std::uint8_t>(w * w)}).mean;
    const double blurred = quality::blurred_mean(picture, checker);
    EXPECT_GT(per_pixel, 20);
    EXPECT_LT(blurred, 2);
    EXPECT_EQ(quality::blurred_mean(picture, flat), 0);
}

} // namespace
