// Several screens and a font folded into one tile set, as the NES guide's recipe
// does it: cut each picture, join the tile files font first, fold them once,
// and split out.nam at the font's tile count and then every 960 bytes.
#include "e2e.hpp"
#include "image_files.hpp"
#include "reference_fold.hpp"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

constexpr int font_tiles = 16; // a 64x16 picture: 8 glyphs by 2 rows

// An 8x8 tile of four colours.
using Tile = std::vector<int>;

Tile random_tile(std::mt19937& rng) {
    Tile t(64);
    for (int& v : t) {
        v = static_cast<int>(rng() % 4);
    }
    return t;
}

// A picture `columns` tiles wide, tile i of `tiles` at column i % columns.
Pixels draw(const std::vector<Tile>& tiles, int columns) {
    const int rows = static_cast<int>(tiles.size()) / columns;
    const int w = columns * 8;
    Pixels px(static_cast<std::size_t>(w * rows * 8));
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const int x0 = static_cast<int>(i) % columns * 8;
        const int y0 = static_cast<int>(i) / columns * 8;
        for (int k = 0; k < 64; ++k) {
            px[static_cast<std::size_t>((y0 + k / 8) * w + x0 + k % 8)] =
                tiles[i][static_cast<std::size_t>(k)];
        }
    }
    return px;
}

Bytes slice(const Bytes& b, std::size_t from, std::size_t size) {
    const auto at = b.begin() + static_cast<std::ptrdiff_t>(from);
    return Bytes(at, at + static_cast<std::ptrdiff_t>(size));
}

TEST(SharedTiles, ScreensAndAFontFoldIntoOneSet) {
    std::mt19937 rng(4242);
    std::vector<Tile> font;
    for (int i = 0; i < font_tiles; ++i) {
        font.push_back(random_tile(rng));
    }
    ASSERT_EQ(std::set<Tile>(font.begin(), font.end()).size(), font.size());

    // Each 256x240 screen mixes glyphs, a blank tile and 40 tiles of its own,
    // so the two screens share some tiles with the font and none with each
    // other: 16 + 1 + 80 distinct tiles in all.
    e2e::Scratch dir;
    const std::vector<std::string> screens = {"title", "menu"};
    for (const std::string& name : screens) {
        std::vector<Tile> own(40);
        for (Tile& t : own) {
            t = random_tile(rng);
        }
        std::vector<Tile> map;
        for (int i = 0; i < 32 * 30; ++i) {
            const unsigned pick = rng() % 4;
            map.push_back(pick == 0   ? font[rng() % font_tiles]
                          : pick == 1 ? Tile(64, 0)
                                      : own[rng() % own.size()]);
        }
        e2e::write_file(dir / (name + ".bmp"), bmp_file({}, 256, 240, draw(map, 32)));
    }
    e2e::write_file(dir / "font.bmp", bmp_file({}, 64, 16, draw(font, 8)));

    const e2e::Result cut = e2e::run(TILECUT_BIN, {"font.bmp", "title.bmp", "menu.bmp"}, dir.dir());
    ASSERT_EQ(cut.status, 0) << cut.err;
    const Bytes font_chr = e2e::read_file(dir / "font.chr");
    ASSERT_EQ(font_chr.size(), font_tiles * 16u);
    Bytes all = font_chr; // cat font.chr title.chr menu.chr > all.chr
    for (const std::string& name : screens) {
        const Bytes chr = e2e::read_file(dir / (name + ".chr"));
        all.insert(all.end(), chr.begin(), chr.end());
    }
    e2e::write_file(dir / "all.chr", all);
    const e2e::Result fold = e2e::run(TILEFOLD_BIN, {"all.chr"}, dir.dir());
    ASSERT_EQ(fold.status, 0) << fold.err;
    EXPECT_EQ(fold.err, "");

    const Bytes set = e2e::read_file(dir / "out.chr");
    const Bytes nam = e2e::read_file(dir / "out.nam");
    ASSERT_EQ(nam.size(), font_tiles + 2 * 960u);
    // The glyphs hold the first slots in order, so glyph n is tile n.
    for (int i = 0; i < font_tiles; ++i) {
        EXPECT_EQ(nam[static_cast<std::size_t>(i)], i);
    }
    EXPECT_EQ(slice(set, 0, font_chr.size()), font_chr);
    // Each screen's part of out.nam draws exactly that screen.
    for (std::size_t s = 0; s < screens.size(); ++s) {
        SCOPED_TRACE(screens[s]);
        const Bytes part = slice(nam, font_tiles + s * 960, 960);
        EXPECT_EQ(tilefold_test::unfold(set, part), e2e::read_file(dir / (screens[s] + ".chr")));
    }
}

} // namespace
