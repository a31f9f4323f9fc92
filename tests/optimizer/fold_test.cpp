#include "fold.hpp"
#include "reference_fold.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using tilefold::Tile;
using Bytes = std::vector<std::uint8_t>;

namespace {

const Tile filler_tile = [] {
    Tile t{};
    std::copy(std::begin(tilefold_test::kFiller), std::end(tilefold_test::kFiller), t.begin());
    return t;
}();

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
// input fed in uneven chunks as the tool streams it. The same with every tile
// hashed to one index entry, and with tiles that differ only in their last
// byte sent to neighbouring entries: collisions must never merge two tiles.
TEST(Fold, StreamingMatchesLinearScanWhateverCollides) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<unsigned> pick(0, 359);
    Bytes in;
    for (int i = 0; i < 5000; ++i) {
        Tile t = numbered(pick(rng) % 40);
        t[static_cast<std::size_t>(pick(rng) % 16)] ^= static_cast<std::uint8_t>(pick(rng) % 9);
        in.insert(in.end(), t.begin(), t.end());
    }
    const auto want = tilefold_test::reference_fold(in);
    ASSERT_GT(want.unplaced, 0U);

    const tilefold::TileHash hashes[] = {
        nullptr,
        [](std::span<const std::uint8_t, 16>) -> std::size_t { return 7; },
        [](std::span<const std::uint8_t, 16> t) -> std::size_t { return t[15]; },
    };
    for (const tilefold::TileHash hash : hashes) {
        tilefold::TileFolder folder(hash);
        Bytes nam;
        Bytes chr;
        for (std::size_t at = 0; at < in.size();) {
            const std::size_t n = std::min<std::size_t>(16 * (pick(rng) % 70), in.size() - at);
            folder.feed(std::span(in).subspan(at, n), nam, chr);
            at += n;
        }
        folder.pad(chr);
        EXPECT_EQ(nam, want.nam);
        EXPECT_EQ(chr, want.chr);
        EXPECT_EQ(folder.unplaced(), want.unplaced);
        EXPECT_EQ(folder.stored(), 256U);
    }
}
