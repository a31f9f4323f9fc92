#include "fold.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using tilefold::filler_tile;
using tilefold::Tile;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Distinct tiles that differ in as few bytes as possible, to trip up an index
// that compares less than the whole tile.
Tile numbered(unsigned n) {
    Tile t{};
    t[0] = static_cast<std::uint8_t>(n);
    t[15] = static_cast<std::uint8_t>(n >> 8);
    return t;
}

Bytes tiles_of(const std::vector<Tile>& tiles) {
    Bytes out;
    for (const Tile& t : tiles) {
        out.insert(out.end(), t.begin(), t.end());
    }
    return out;
}

// The stored tiles followed by filler up to 256.
Bytes padded(std::vector<Tile> tiles) {
    tiles.resize(tilefold::slot_count, filler_tile);
    return tiles_of(tiles);
}

} // namespace

TEST(Fold, ShortInputsHaveNoTiles) {
    for (std::size_t size : {0U, 1U, 15U}) {
        const auto r = tilefold::fold(Bytes(size, 0xAB));
        EXPECT_TRUE(r.nam.empty()) << size;
        EXPECT_EQ(r.chr, padded({})) << size;
        EXPECT_EQ(r.unplaced, 0U);
    }
}

TEST(Fold, OneTileIgnoresTrailingByte) {
    for (std::size_t trailing : {0U, 1U, 15U}) {
        Bytes in = tiles_of({numbered(7)});
        in.resize(in.size() + trailing, 0xFF);
        const auto r = tilefold::fold(in);
        EXPECT_EQ(r.nam, Bytes{0}) << trailing;
        EXPECT_EQ(r.chr, padded({numbered(7)})) << trailing;
    }
}

TEST(Fold, EqualTilesShareSlotZero) {
    const auto r = tilefold::fold(tiles_of(std::vector<Tile>(40, numbered(3))));
    EXPECT_EQ(r.nam, Bytes(40, 0));
    EXPECT_EQ(r.chr, padded({numbered(3)}));
}

TEST(Fold, Exactly256DistinctNeedNoFiller) {
    std::vector<Tile> tiles;
    Bytes nam;
    for (unsigned i = 0; i < 256; ++i) {
        tiles.push_back(numbered(i));
        nam.push_back(static_cast<std::uint8_t>(i));
    }
    const auto r = tilefold::fold(tiles_of(tiles));
    EXPECT_EQ(r.nam, nam);
    EXPECT_EQ(r.chr, tiles_of(tiles));
    EXPECT_EQ(r.unplaced, 0U);
}

TEST(Fold, TilesBeyond256GoToSlotZeroAndCountEveryTime) {
    std::vector<Tile> tiles;
    Bytes nam;
    for (unsigned i = 0; i < 300; ++i) {
        tiles.push_back(numbered(i));
        nam.push_back(i < 256 ? static_cast<std::uint8_t>(i) : 0);
    }
    const std::vector<Tile> first256(tiles.begin(), tiles.begin() + 256);
    // Stored tiles keep their slots; unplaced ones are never stored.
    for (unsigned again : {5U, 255U, 256U, 299U, 256U, 0U}) {
        tiles.push_back(numbered(again));
        nam.push_back(again < 256 ? static_cast<std::uint8_t>(again) : 0);
    }
    const auto r = tilefold::fold(tiles_of(tiles));
    EXPECT_EQ(r.nam, nam);
    EXPECT_EQ(r.chr, tiles_of(first256));
    EXPECT_EQ(r.unplaced, 44U + 3U);
}

TEST(Fold, FillerTileIsStoredLikeAnyOther) {
    const auto r = tilefold::fold(tiles_of({numbered(1), filler_tile, filler_tile, numbered(2)}));
    EXPECT_EQ(r.nam, (Bytes{0, 1, 1, 2}));
    EXPECT_EQ(r.chr, padded({numbered(1), filler_tile, numbered(2)}));
}

// Against the plain first-match scan, on many near-identical tiles, with the
// input fed in uneven chunks as the tool streams it.
TEST(Fold, StreamingMatchesLinearScan) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<unsigned> pick(0, 359);
    Bytes in;
    for (int i = 0; i < 5000; ++i) {
        Tile t = numbered(pick(rng) % 40);
        t[static_cast<std::size_t>(pick(rng) % 16)] ^= static_cast<std::uint8_t>(pick(rng) % 9);
        in.insert(in.end(), t.begin(), t.end());
    }
    std::vector<Tile> stored;
    Bytes want_nam;
    std::uint64_t want_unplaced = 0;
    for (std::size_t at = 0; at < in.size(); at += 16) {
        Tile t{};
        std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(at), 16, t.begin());
        std::size_t j = 0;
        while (j < stored.size() && stored[j] != t) {
            ++j;
        }
        if (j == stored.size() && stored.size() < 256) {
            stored.push_back(t);
        } else if (j == stored.size()) {
            ++want_unplaced;
        }
        want_nam.push_back(static_cast<std::uint8_t>(j));
    }
    ASSERT_GT(want_unplaced, 0U);

    tilefold::TileFolder folder;
    Bytes nam;
    Bytes chr;
    for (std::size_t at = 0; at < in.size();) {
        const std::size_t n = std::min<std::size_t>(16 * (pick(rng) % 70), in.size() - at);
        folder.feed(std::span(in).subspan(at, n), nam, chr);
        at += n;
    }
    folder.pad(chr);
    EXPECT_EQ(nam, want_nam);
    EXPECT_EQ(chr, padded(stored));
    EXPECT_EQ(folder.unplaced(), want_unplaced);
    EXPECT_EQ(folder.stored(), 256U);
}
