// A picture through every tool and back: tilecut, tilefold and tilepal make
// the background, and tileshow draws out.chr and out.nam in the picture's
// palette and attributes. What comes back is the picture as the NES shows it.
#include "e2e.hpp"
#include "image_files.hpp"
#include "png_read.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <sstream>

using png_read::Rgb;

namespace {

constexpr int width = 256;
constexpr int height = 240;
constexpr int across = 32; // cells
constexpr int down = 30;
constexpr int areas_across = 16; // 16x16 areas
constexpr std::size_t most_tiles = 256;

using Pattern = std::array<std::uint8_t, 64>; // the colour c of each pixel of a tile

struct Screen {
    std::vector<Pattern> pool;   // distinct tiles
    std::vector<int> cell_tiles; // a tile of the pool in each cell, raster order
    std::vector<int> areas;      // each 16x16 area's palette
    Pixels indices;              // 4p + c; 4q, with q any palette, where c is 0
};

// `pool` distinct tiles, each with some backdrop pixels, in random cells; with
// `every_tile`, each of them somewhere.
Screen random_screen(unsigned seed, std::size_t pool, bool every_tile) {
    std::mt19937 rng(seed);
    Screen s;
    std::set<Pattern> seen;
    while (s.pool.size() < pool) {
        Pattern t{};
        for (auto& c : t) {
            c = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0 : 1 + rng() % 3);
        }
        t[rng() % 64] = 0;
        if (seen.insert(t).second) {
            s.pool.push_back(t);
        }
    }
    for (int i = 0; i < across * down; ++i) {
        const auto n = static_cast<std::size_t>(i);
        s.cell_tiles.push_back(static_cast<int>(every_tile && n < pool ? n : rng() % pool));
    }
    std::shuffle(s.cell_tiles.begin(), s.cell_tiles.end(), rng);
    for (int i = 0; i < areas_across * down / 2; ++i) {
        s.areas.push_back(static_cast<int>(rng() % 4));
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto cell = static_cast<std::size_t>(y / 8 * across + x / 8);
            const int c = s.pool[static_cast<std::size_t>(s.cell_tiles[cell])]
                                [static_cast<std::size_t>((y % 8) * 8 + x % 8)];
            const int p = s.areas[static_cast<std::size_t>(y / 16 * areas_across + x / 16)];
            s.indices.push_back(c != 0 ? 4 * p + c : 4 * static_cast<int>(rng() % 4));
        }
    }
    return s;
}

// An emulator's colour table of the test's own: 64 distinct colours, of which
// the picture uses 16, so that the palette tool finds each one exactly.
Rgb table_colour(int number) {
    return {static_cast<std::uint8_t>(4 * number), static_cast<std::uint8_t>(255 - 4 * number),
            static_cast<std::uint8_t>(number * 37)};
}

Rgb picture_colour(std::size_t entry) {
    const int number =
        entry < 12 ? 0x01 + static_cast<int>(entry) : 0x11 + static_cast<int>(entry) - 12;
    return table_colour(number);
}

void put32(Bytes& b, std::size_t at, std::size_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// An 8-bit BMP whose palette has 16 colours (bmp_file writes 256 grays).
Bytes bmp_of(const Pixels& indices) {
    const Bytes gray = bmp_file({}, width, height, indices);
    constexpr std::size_t table = 14 + 40;
    Bytes b(gray.begin(), gray.begin() + table);
    for (std::size_t i = 0; i < 16; ++i) {
        const Rgb c = picture_colour(i);
        b.insert(b.end(), {c[2], c[1], c[0], 0});
    }
    b.insert(b.end(), gray.begin() + table + 256 * 4, gray.end());
    put32(b, 2, b.size());    // file size
    put32(b, 10, table + 64); // where the pixels start
    put32(b, 46, 16);         // colours used
    return b;
}

struct Chain {
    std::string fold_warning;
    std::optional<png_read::Indexed> png;
};

// Every step as a makefile would run it, in a folder of its own.
Chain run_chain(const Screen& screen) {
    e2e::Scratch dir;
    e2e::write_file(dir / "x.bmp", bmp_of(screen.indices));
    Bytes table;
    for (int n = 0; n < 64; ++n) {
        const Rgb c = table_colour(n);
        table.insert(table.end(), c.begin(), c.end());
    }
    e2e::write_file(dir / "nes.pal", table);
    const auto step = [&](const char* tool, const std::vector<std::string>& args) {
        const e2e::Result r = e2e::run(tool, args, dir.dir());
        EXPECT_EQ(r.status, 0) << tool << ": " << r.err;
        EXPECT_EQ(r.out, "") << tool;
        return r.err;
    };
    Chain chain;
    EXPECT_EQ(step(TILECUT_BIN, {"x.bmp"}), "");
    chain.fold_warning = step(TILEFOLD_BIN, {"x.chr"});
    // Entries 4, 8 and 12 have colours of their own, which the NES shows as
    // the backdrop; the palette tool says so, and that is all it says.
    std::istringstream lines(step(TILEPAL_BIN, {"--nes-palette", "nes.pal", "x.bmp"}));
    int warnings = 0;
    for (std::string line; std::getline(lines, line); ++warnings) {
        EXPECT_NE(line.find("show the backdrop"), std::string::npos) << line;
    }
    EXPECT_EQ(warnings, 3);
    EXPECT_EQ(step(TILESHOW_BIN, {"out.chr", "out.nam", "-p", "x.pal", "-a", "x.atr",
                                  "--nes-palette", "nes.pal", "-o", "x.png"}),
              "");
    if (!::testing::Test::HasFailure()) {
        chain.png = png_read::read(e2e::read_file(dir / "x.png"));
    }
    return chain;
}

// The index the NES shows for a picture's index: colour 0 of every palette
// is the backdrop, entry 0.
int shown(int index) {
    return index % 4 == 0 ? 0 : index;
}

// Cells, in raster order, whose tile is not among the first 256 distinct ones.
std::vector<bool> unplaced_cells(const Screen& s) {
    std::set<int> placed;
    std::vector<bool> unplaced;
    for (const int tile : s.cell_tiles) {
        if (placed.size() < most_tiles) {
            placed.insert(tile);
        }
        unplaced.push_back(!placed.contains(tile));
    }
    return unplaced;
}

} // namespace

TEST(RoundTrip, TheScreenComesBackAsTheNesShowsIt) {
    struct Case {
        unsigned seed;
        std::size_t pool;
        bool every_tile;
    };
    for (const Case c : {Case{1, most_tiles, true}, Case{2, 40, false}, Case{3, 200, false}}) {
        SCOPED_TRACE(c.seed);
        const Screen s = random_screen(c.seed, c.pool, c.every_tile);
        ASSERT_EQ(std::set<int>(s.areas.begin(), s.areas.end()).size(), 4U);
        const Chain chain = run_chain(s);
        EXPECT_EQ(chain.fold_warning, "");
        ASSERT_TRUE(chain.png);
        ASSERT_EQ(chain.png->width, 256U);
        ASSERT_EQ(chain.png->height, 240U);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < s.indices.size(); ++i) {
            wrong += chain.png->pixels[i] != shown(s.indices[i]) ? 1U : 0U;
        }
        EXPECT_EQ(wrong, 0U);
        ASSERT_EQ(chain.png->palette.size(), 16U);
        for (std::size_t i = 0; i < 16; ++i) {
            EXPECT_EQ(chain.png->palette[i], picture_colour(i % 4 == 0 ? 0 : i)) << i;
        }
    }
}

TEST(RoundTrip, TilesPastTheFirst256ShowExactlyWhereTheyAre) {
    const Screen s = random_screen(4, 400, false);
    const std::vector<bool> unplaced = unplaced_cells(s);
    const auto count = std::count(unplaced.begin(), unplaced.end(), true);
    ASSERT_GT(count, 0);
    const Chain chain = run_chain(s);
    EXPECT_EQ(chain.fold_warning, "warning: " + std::to_string(count) +
                                      " tiles in x.chr\ndo not match the first 256 unique tiles");
    ASSERT_TRUE(chain.png);
    ASSERT_EQ(chain.png->pixels.size(), s.indices.size());
    // Such a cell shows slot 0, the tile of the top-left cell, in its own
    // area's palette.
    const Pattern& first = s.pool[static_cast<std::size_t>(s.cell_tiles[0])];
    for (std::size_t cell = 0; cell < unplaced.size(); ++cell) {
        bool differs = false;
        bool shows_first = true;
        for (std::size_t k = 0; k < 64; ++k) {
            const std::size_t x = cell % across * 8 + k % 8;
            const std::size_t y = cell / across * 8 + k / 8;
            const std::size_t at = y * width + x;
            const int got = chain.png->pixels[at];
            differs = differs || got != shown(s.indices[at]);
            const int p = s.areas[y / 16 * areas_across + x / 16];
            shows_first = shows_first && got == (first[k] == 0 ? 0 : 4 * p + first[k]);
        }
        EXPECT_EQ(differs, unplaced[cell]) << "cell " << cell;
        if (unplaced[cell]) {
            EXPECT_TRUE(shows_first) << "cell " << cell;
        }
    }
}
