// tileshow as a makefile runs it: the built binary, files written by the
// test, and the pictures read back through libpng; its refusals are the
// cases of tests/cli/tileshow. What the core decides on its own
// (plane decoding, attribute quadrants) is render_test's.
#include "e2e.hpp"
#include "png_read.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using e2e::Bytes;
using Args = std::vector<std::string>;
using png_read::Rgb;

namespace {

// Four tiles worked out by hand, then five bytes that make no whole tile.
const Bytes tiles = e2e::hex("7F FF FF FF FF FF FF FF 00 00 00 00 00 00 00 00 " // colour 1, but 0
                             "55 55 55 55 55 55 55 55 33 33 33 33 33 33 33 33 " // 0 1 2 3 0 1 2 3
                             "00 00 00 00 00 00 00 00 FF FF FF FF FF FF FF FF " // colour 2
                             "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 " // colour 0
                             "AB AB AB AB AB");

// The colour of pixel (x, y) in each of those tiles.
int colour(int tile, int x, int y) {
    switch (tile) {
    case 0:
        return x == 0 && y == 0 ? 0 : 1; // the top-left pixel shows the backdrop
    case 1:
        return x % 4;
    case 2:
        return 2;
    default:
        return 0;
    }
}

const Bytes palette = e2e::hex("0F 01 02 03 30 11 12 13 3F 21 22 23 00 31 32 33");
// The colours of -a without -p: grays, reds, greens, blues on black.
const Bytes hues = e2e::hex("0F 00 10 30 0F 06 16 26 0F 0A 1A 2A 0F 02 12 22");
const Bytes attributes = e2e::hex("E4 1B 55 AA");

// An emulator's colour table of the test's own, so that the PNG's palette
// can be checked entry by entry.
Rgb fake(int number) {
    return {static_cast<std::uint8_t>(4 * number), static_cast<std::uint8_t>(255 - 4 * number),
            static_cast<std::uint8_t>(number ^ 0x5A)};
}

Bytes fake_table() {
    Bytes table;
    for (int n = 0; n < 64; ++n) {
        const Rgb c = fake(n);
        table.insert(table.end(), c.begin(), c.end());
    }
    return table;
}

// The 16 entries shown for a palette file: colour 0 of every palette is byte 0.
std::vector<Rgb> shown(const Bytes& pal) {
    std::vector<Rgb> entries;
    for (std::size_t i = 0; i < 16; ++i) {
        entries.push_back(fake(pal[i % 4 == 0 ? 0 : i]));
    }
    return entries;
}

Bytes name_table(std::size_t size) {
    Bytes nam(size);
    for (std::size_t i = 0; i < size; ++i) {
        nam[i] = static_cast<std::uint8_t>((i * 5 + 1) % 4);
    }
    return nam;
}

// Every fixture a case may name.
void write_fixtures(const e2e::Scratch& s) {
    e2e::write_file(s / "t.chr", tiles);
    e2e::write_file(s / "n40.nam", name_table(40));
    e2e::write_file(s / "n25.nam", name_table(25));
    e2e::write_file(s / "n960.nam", name_table(960));
    e2e::write_file(s / "p.pal", palette);
    e2e::write_file(s / "colours.pal", fake_table());
    e2e::write_file(s / "a.atr", attributes);
}

// Each entry below the folder with its bytes (a link: its target), so that a
// file left behind, or an input touched, shows.
std::map<std::string, std::string> snapshot(const e2e::Scratch& s) {
    std::map<std::string, std::string> all;
    for (const auto& entry : fs::recursive_directory_iterator(s.dir())) {
        const std::string name = fs::relative(entry.path(), s.dir()).string();
        if (entry.is_symlink()) {
            all[name] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file() &&
                   (entry.status().permissions() & fs::perms::owner_read) != fs::perms::none) {
            const Bytes b = e2e::read_file(entry.path());
            all[name] = std::string(b.begin(), b.end());
        } else {
            all[name] = "";
        }
    }
    return all;
}

e2e::Result tileshow(const e2e::Scratch& s, const Args& args) {
    return e2e::run(TILESHOW_BIN, args, s.dir());
}

struct Drawn {
    const char* what;
    Args args;
    int across;                // cells to a row
    std::vector<int> cells;    // the tile in each cell, -1 for a blank one
    std::vector<int> palettes; // of each cell; empty: palette 0 throughout
    int depth;                 // bits per pixel
    std::vector<Rgb> colours;  // the PNG's palette; empty: the built-in colours, not checked
};

std::vector<int> ints(const Bytes& b) {
    return {b.begin(), b.end()};
}

std::vector<int> cat(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The indices the picture must hold: 4p + c, and 0 wherever c is 0.
Bytes expected_pixels(const Drawn& d) {
    const int rows = static_cast<int>(d.cells.size()) / d.across;
    const int width = d.across * 8;
    Bytes px(static_cast<std::size_t>(width * rows * 8), 0);
    for (std::size_t i = 0; i < d.cells.size(); ++i) {
        const int tile = d.cells[i];
        const int p = d.palettes.empty() ? 0 : d.palettes[i];
        const int x0 = static_cast<int>(i) % d.across * 8;
        const int y0 = static_cast<int>(i) / d.across * 8;
        for (int y = 0; tile >= 0 && y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                const int c = colour(tile, x, y);
                px[static_cast<std::size_t>((y0 + y) * width + x0 + x)] =
                    static_cast<std::uint8_t>(c == 0 ? 0 : 4 * p + c);
            }
        }
    }
    return px;
}

} // namespace

TEST(TileshowCli, PicturesReadBackExactly) {
    const std::vector<Rgb> grays = {{0, 0, 0}, {85, 85, 85}, {170, 170, 170}, {255, 255, 255}};
    // a.atr on a 5x5 screen: E4 (palettes 0 1 / 2 3) and 1B (3 / 1) across the
    // top block row, 55 (all 1) and AA (all 2) below, worked out by hand.
    const std::vector<int> areas = {0, 0, 1, 1, 3, //
                                    0, 0, 1, 1, 3, //
                                    2, 2, 3, 3, 1, //
                                    2, 2, 3, 3, 1, //
                                    1, 1, 1, 1, 2};
    const std::vector<int> blank(12, -1);
    const Drawn cases[] = {
        {"a sheet in four grays, 16 across; the trailing bytes make no tile",
         {"t.chr", "-o", "o.png"},
         16,
         cat({0, 1, 2, 3}, blank),
         {},
         2,
         grays},
        {"a narrower sheet: its missing cells are blank",
         {"-w", "3", "t.chr", "-o", "sub/o.png"},
         3,
         {0, 1, 2, 3, -1, -1},
         {},
         2,
         grays},
        {"a name table, 32 across; its last row is made up with tile 0",
         {"t.chr", "n40.nam", "-p", "p.pal", "--nes-palette", "colours.pal", "-o", "o.png"},
         32,
         cat(ints(name_table(40)), std::vector<int>(24, 0)),
         {},
         4,
         shown(palette)},
        {"each 16x16 area in its palette; a long option's value after '='",
         {"-w", "5", "-p", "p.pal", "-a", "a.atr", "--nes-palette=colours.pal", "t.chr", "n25.nam",
          "-o", "o.png"},
         5,
         ints(name_table(25)),
         areas,
         4,
         shown(palette)},
        {"attributes without a palette: a hue for each palette",
         {"-w", "5", "-a", "a.atr", "--nes-palette", "colours.pal", "t.chr", "n25.nam", "-o",
          "o.png"},
         5,
         ints(name_table(25)),
         areas,
         4,
         shown(hues)},
        {"the built-in colours",
         {"t.chr", "n960.nam", "-p", "p.pal", "-o", "o.png"},
         32,
         ints(name_table(960)),
         {},
         4,
         {}},
    };
    for (const Drawn& d : cases) {
        SCOPED_TRACE(d.what);
        e2e::Scratch s;
        write_fixtures(s);
        fs::create_directory(s / "sub");
        e2e::write_file(s / "sub/o.png", Bytes(100, 1)); // replaced whole
        auto entries = snapshot(s);
        const e2e::Result r = tileshow(s, d.args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, "");
        const auto png = png_read::read(e2e::read_file(s / d.args.back()));
        ASSERT_TRUE(png);
        EXPECT_EQ(png->colour_type, PNG_COLOR_TYPE_PALETTE);
        EXPECT_EQ(png->bit_depth, d.depth);
        EXPECT_EQ(png->width, static_cast<std::uint32_t>(d.across * 8));
        EXPECT_EQ(png->height, static_cast<std::uint32_t>(d.cells.size()) /
                                   static_cast<std::uint32_t>(d.across) * 8);
        EXPECT_EQ(png->pixels, expected_pixels(d));
        if (!d.colours.empty()) {
            EXPECT_EQ(png->palette, d.colours);
        } else {
            EXPECT_EQ(png->palette.size(), 16U);
        }
        // The output is all that is new: no temporary file stays.
        entries.emplace(d.args.back(), "");
        const auto after = snapshot(s);
        EXPECT_TRUE(std::equal(after.begin(), after.end(), entries.begin(), entries.end(),
                               [](const auto& a, const auto& b) { return a.first == b.first; }));
    }
}
