// tileshow as a makefile runs it: the built binary, files written by the
// test, every refusal with its exact message and nothing left behind, and
// the pictures read back through libpng. What the core decides on its own
// (plane decoding, attribute quadrants) is render_test's.
#include "e2e.hpp"
#include "png_read.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <regex>

namespace fs = std::filesystem;
using e2e::Bytes;
using Args = std::vector<std::string>;
using png_read::Rgb;

namespace {

const std::string usage =
    "usage: tileshow [-w TILES] [-p FILE.pal] [-a FILE.atr] [--nes-palette FILE]\n"
    "                TILES.chr [NAMES.nam] -o OUT.png\n";

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
    e2e::write_file(s / "one.chr", Bytes(19, 0xFF));
    e2e::write_file(s / "short.chr", Bytes(10, 0));
    e2e::write_file(s / "n40.nam", name_table(40));
    e2e::write_file(s / "n25.nam", name_table(25));
    e2e::write_file(s / "n960.nam", name_table(960));
    Bytes past = name_table(40);
    past[37] = 4;
    past[39] = 9;
    e2e::write_file(s / "past.nam", past);
    e2e::write_file(s / "empty.nam", {});
    e2e::write_file(s / "p.pal", palette);
    e2e::write_file(s / "p15.pal", Bytes(15, 0x0F));
    e2e::write_file(s / "p192.pal", Bytes(192, 0x0F));
    Bytes high = palette;
    high[9] = 0x40;
    e2e::write_file(s / "high.pal", high);
    e2e::write_file(s / "colours.pal", fake_table());
    e2e::write_file(s / "a.atr", attributes);
    e2e::write_file(s / "one.atr", {0});
    e2e::write_file(s / "a63.atr", Bytes(63, 0x1B));
    e2e::write_file(s / "a64.atr", Bytes(64, 0x1B));
    fs::create_directory(s / "d.chr");
    fs::create_symlink("n960.nam", s / "nam-link.png");
    fs::create_symlink("/dev/full", s / "full.png");
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

struct Refused {
    Args args;
    std::string err;
};

void expect_refused(const e2e::Scratch& s, const Refused& c,
                    const std::function<e2e::Result(const Args&)>& run) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const auto before = snapshot(s);
    const e2e::Result r = run(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(snapshot(s), before);
}

} // namespace

TEST(TileshowCli, RefusalsSayWhyAndLeaveEverythingAsItWas) {
    const std::string missing = "No such file or directory";
    const Refused cases[] = {
        {{"none.chr", "-o", "o.png"}, "tileshow: none.chr: could not read it: " + missing + "\n"},
        {{"t.chr", "none.nam", "-o", "o.png"},
         "tileshow: none.nam: could not read it: " + missing + "\n"},
        {{"d.chr", "-o", "o.png"}, "tileshow: d.chr: could not read it: Is a directory\n"},
        {{"t.chr", "past.nam", "-o", "o.png"},
         "tileshow: past.nam byte 37 (column 5, row 1) names tile $04, but t.chr holds only 4 "
         "tiles\n"},
        {{"-w", "7", "t.chr", "past.nam", "-o", "o.png"},
         "tileshow: past.nam byte 37 (column 2, row 5) names tile $04, but t.chr holds only 4 "
         "tiles\n"},
        {{"one.chr", "n960.nam", "-o", "o.png"},
         "tileshow: n960.nam byte 0 (column 0, row 0) names tile $01, but one.chr holds only 1 "
         "tile\n"},
        {{"t.chr", "n960.nam", "-p", "p.pal", "-a", "a63.atr", "-o", "o.png"},
         "tileshow: a63.atr is 63 bytes, but a 256x240 picture needs 64 (one per 32x32 block)\n"},
        {{"t.chr", "-a", "one.atr", "-o", "o.png"},
         "tileshow: one.atr is 1 byte, but a 128x8 picture needs 4 (one per 32x32 block)\n"},
        {{"t.chr", "-p", "p15.pal", "-o", "o.png"},
         "tileshow: p15.pal is 15 bytes, but a palette is 16\n"},
        {{"t.chr", "-p", "p192.pal", "-o", "o.png"},
         "tileshow: p192.pal is 192 bytes, but a palette is 16 (NES colour tables go to "
         "--nes-palette)\n"},
        {{"t.chr", "-p", "high.pal", "-o", "o.png"},
         "tileshow: high.pal byte 9 is $40, but NES colour numbers end at $3F\n"},
        {{"t.chr", "--nes-palette", "p.pal", "-o", "o.png"},
         "tileshow: p.pal: a NES palette file has 192 bytes, or 1536 with emphasis; this one has "
         "16\n"},
        {{"short.chr", "-o", "o.png"},
         "tileshow: short.chr holds no whole tile: it is 10 bytes, and a tile is 16\n"},
        {{"t.chr", "empty.nam", "-o", "o.png"},
         "tileshow: empty.nam is empty: there is nothing to draw\n"},
        {{"-w", "abc", "t.chr", "-o", "o.png"},
         "tileshow: -w takes a number of tiles, not \"abc\"\n"},
        {{"-w", "-3", "t.chr", "-o", "o.png"},
         "tileshow: -w takes a number of tiles, not \"-3\"\n"},
        {{"-w", "0", "t.chr", "-o", "o.png"}, "tileshow: the width (-w) must be at least 1 tile\n"},
        {{"-w", "2049", "t.chr", "-o", "o.png"},
         "tileshow: the width (-w) may be at most 2048 tiles (16384 pixels)\n"},
        {{"t.chr", "-o", "o.png", "-w"}, "tileshow: missing value after -w\n" + usage},
        {{"t.chr", "n40.nam"}, "tileshow: no output named (-o OUT.png)\n" + usage},
        {{"t.chr", "-o"}, "tileshow: missing value after -o\n" + usage},
        {{"-x", "t.chr", "-o", "o.png"}, "tileshow: unknown option -x\n" + usage},
        {{"-o", "o.png"}, "tileshow: no CHR file named\n" + usage},
        {{"t.chr", "n40.nam", "n25.nam", "-o", "o.png"},
         "tileshow: more than a CHR file and a name table named\n" + usage},
        // -o naming an input, under its own name or through a link.
        {{"t.chr", "-o", "t.chr"}, "tileshow: t.chr: will not write over the input t.chr\n"},
        {{"t.chr", "n960.nam", "-o", "nam-link.png"},
         "tileshow: nam-link.png: will not write over the input n960.nam\n"},
        {{"t.chr", "-p", "p.pal", "-o", "./p.pal"},
         "tileshow: ./p.pal: will not write over the input p.pal\n"},
        {{"t.chr", "--nes-palette", "colours.pal", "-o", "colours.pal"},
         "tileshow: colours.pal: will not write over the input colours.pal\n"},
        {{"t.chr", "-o", "nowhere/o.png"},
         "tileshow: nowhere/o.png: could not open it for writing: " + missing + "\n"},
        {{"t.chr", "-o", "d.chr"},
         "tileshow: d.chr: could not open it for writing: Is a directory\n"},
        // A full disk, when libpng flushes the few bytes of a sheet and while
        // it still writes a screen.
        {{"t.chr", "-o", "full.png"},
         "tileshow: full.png: could not write it: No space left on device\n"},
        {{"t.chr", "n960.nam", "-p", "p.pal", "-a", "a64.atr", "-o", "full.png"},
         "tileshow: full.png: could not write it: No space left on device\n"},
    };
    e2e::Scratch s;
    write_fixtures(s);
    for (const Refused& c : cases) {
        expect_refused(s, c, [&](const Args& args) { return tileshow(s, args); });
    }
}

// Root reads and writes anything, so as root these run as nobody, from a copy
// of the tool: the build tree may lie where nobody cannot enter.
TEST(TileshowCli, UnreadableInputAndUnwritableFolder) {
    e2e::Scratch s;
    write_fixtures(s);
    e2e::write_file(s / "u.chr", tiles);
    fs::permissions(s / "u.chr", fs::perms::none);
    fs::create_directory(s / "ro");
    fs::permissions(s / "ro", fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    std::function<e2e::Result(const Args&)> run = [&](const Args& args) {
        return tileshow(s, args);
    };
    if (::geteuid() == 0) {
        const std::string setpriv = "/usr/bin/setpriv";
        if (::access(setpriv.c_str(), X_OK) != 0) {
            GTEST_SKIP() << "running as root without " << setpriv << " to drop it";
        }
        fs::permissions(s.dir(), fs::perms::all);
        const fs::path bin = s / "bin";
        fs::create_directory(bin);
        fs::copy_file(TILESHOW_BIN, bin / "tileshow");
        run = [&s, setpriv, bin](const Args& args) {
            Args all = {"--reuid=65534", "--regid=65534", "--clear-groups",
                        (bin / "tileshow").string()};
            all.insert(all.end(), args.begin(), args.end());
            return e2e::run(setpriv, all, s.dir());
        };
    }
    expect_refused(
        s, {{"u.chr", "-o", "o.png"}, "tileshow: u.chr: could not read it: Permission denied\n"},
        run);
    expect_refused(s,
                   {{"t.chr", "-o", "ro/o.png"},
                    "tileshow: ro/o.png: could not open it for writing: Permission denied\n"},
                   run);
}

TEST(TileshowCli, HelpAndVersionGoToStdout) {
    e2e::Scratch s;
    e2e::write_file(s / "t.chr", tiles);
    // Help wins over anything else on the line, up to a "--".
    for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"t.chr", "-x", "-h"}}) {
        SCOPED_TRACE(args.back());
        const e2e::Result r = tileshow(s, args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out.starts_with(usage + "Draws the tiles of TILES.chr")) << r.out;
        EXPECT_TRUE(r.out.ends_with("\n  --version           show the version and exit\n"))
            << r.out;
    }
    const e2e::Result version = tileshow(s, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.err, "");
    EXPECT_TRUE(std::regex_match(
        version.out, std::regex("tileshow \\(nes-tile-suite\\) [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.out;
    const e2e::Result named = tileshow(s, {"t.chr", "--", "--help"});
    EXPECT_EQ(named.status, 1);
    EXPECT_EQ(named.err, "tileshow: no output named (-o OUT.png)\n" + usage);
    EXPECT_EQ(s.entries(), std::vector<std::string>{"t.chr"});
}

namespace {

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
