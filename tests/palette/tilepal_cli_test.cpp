// Runs the built tilepal in a scratch directory: the bytes of both files, the
// messages, the exit status, and what is left on disk when a picture fails.
// The core's own tests cover the rules in depth; these cover the command
// line, the file formats and the writing.
#include "e2e.hpp"
#include "image_files.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <regex>

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

const std::string usage = "usage: tilepal [--nes-palette FILE] picture...\n";

struct Colour {
    std::uint8_t r, g, b;
};

// A loaded table whose 64 colours all differ, so that a picture drawn in
// exactly its colours has one answer per entry: the number, at distance 0.
Colour table_colour(int n) {
    return {static_cast<std::uint8_t>(4 * n), static_cast<std::uint8_t>(255 - 4 * n), 128};
}

Bytes table_file(std::size_t size, const std::vector<std::pair<int, Colour>>& changes = {}) {
    Bytes bytes;
    for (std::size_t i = 0; bytes.size() < size; ++i) {
        // The emphasis variants that follow the plain 64 are another table.
        const Colour c = table_colour(static_cast<int>(i < 64 ? i : 63 - i % 64));
        bytes.insert(bytes.end(), {c.r, c.g, c.b});
    }
    bytes.resize(size);
    for (const auto& [n, c] : changes) {
        const auto at = static_cast<std::size_t>(3 * n);
        bytes[at] = c.r;
        bytes[at + 1] = c.g;
        bytes[at + 2] = c.b;
    }
    return bytes;
}

Names names_in(const fs::path& dir) {
    Names names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// An 8-bit BMP whose first colours are `colours`; the rest stay gray.
Bytes bmp_in(int w, int h, const Pixels& px, const std::vector<Colour>& colours) {
    Bytes file = bmp_file(BmpKind{}, w, h, px);
    for (std::size_t i = 0; i < colours.size(); ++i) { // B, G, R after the 54 header bytes
        file[54 + 4 * i] = colours[i].b;
        file[55 + 4 * i] = colours[i].g;
        file[56 + 4 * i] = colours[i].r;
    }
    return file;
}

Pixels draw(int w, int h, const std::vector<std::array<int, 3>>& dots) {
    Pixels px(static_cast<std::size_t>(w * h), 0);
    for (const auto& [x, y, index] : dots) {
        px[static_cast<std::size_t>(y * w + x)] = index;
    }
    return px;
}

// 40x20: areas 3 across (the last 8 wide) and 2 down (the lower 4 high), in
// two 32x32 blocks. Indices 4, 8 and 12 (c = 0) sit in areas of other
// palettes; the lower middle area has only palette 0 and the backdrop.
//   area (0,0) palette 1   (1,0) 2   (2,0) 3
//   area (0,1) palette 3   (1,1) 0   (2,1) 2
// Block 0: 1 | 2 << 2 | 3 << 4 | 0 << 6 = 0x39; block 1: 3 | 2 << 4 = 0x23.
const Pixels four_palettes = draw(40, 20,
                                  {{3, 3, 5},
                                   {4, 4, 8},
                                   {5, 5, 12},
                                   {20, 2, 10},
                                   {21, 2, 4},
                                   {39, 15, 15},
                                   {0, 19, 13},
                                   {35, 17, 11},
                                   {17, 18, 12},
                                   {30, 19, 2}});
const Bytes four_palettes_atr = e2e::hex("39 23");

// The numbers a picture is drawn in, entry by entry; 4, 8 and 12 are drawn
// in other colours than entry 0.
const int drawn[16] = {0x21, 0x30, 0x16, 0x27, 0x05, 0x1A, 0x2A, 0x0B,
                       0x3C, 0x01, 0x11, 0x31, 0x00, 0x06, 0x17, 0x38};

std::vector<Colour> drawn_colours() {
    std::vector<Colour> colours;
    for (const int n : drawn) {
        colours.push_back(table_colour(n));
    }
    return colours;
}

class Tilepal : public testing::Test {
  protected:
    e2e::Scratch s;

    e2e::Result tilepal(const std::vector<std::string>& args) {
        return e2e::run(TILEPAL_BIN, args, s.dir());
    }
    void write(const std::string& name, const Bytes& bytes) { e2e::write_file(s / name, bytes); }
    void expect_refused(const std::vector<std::string>& args, const std::string& err,
                        const Names& left) {
        const auto r = tilepal(args);
        EXPECT_EQ(r.status, 1) << args.back();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, err);
        EXPECT_EQ(s.entries(), left) << err;
    }
};

} // namespace

TEST_F(Tilepal, CommandLine) {
    const std::string help_start =
        usage + "Writes beside each paletted picture (BMP, PCX, PNG or TGA) its NES palette,\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out_start;
        std::string err;
    } cases[] = {
        {{}, 1, "", usage},
        {{"-x", "a.bmp"}, 1, "", "tilepal: unknown option -x\n" + usage},
        {{"a.bmp", "--nes-palette"}, 1, "", "tilepal: missing file after --nes-palette\n" + usage},
        {{"--nes-palette", "a.bmp"}, 1, "", usage},
        {{"-h"}, 0, help_start, ""},
        {{"-x", "a.bmp", "--help"}, 0, help_start, ""},
        {{"--version"}, 0, "tilepal (nes-tile-suite) ", ""},
        {{"--", "--help"},
         1,
         "",
         "tilepal: --help: could not load the picture: not a .bmp, .pcx, .png or .tga file\n"},
        {{"-", "none.bmp"},
         1,
         "",
         "tilepal: -: could not load the picture: not a .bmp, .pcx, .png or .tga file\n"
         "tilepal: none.bmp: could not load the picture: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        const auto r = tilepal(c.args);
        EXPECT_EQ(r.status, c.status) << c.err;
        EXPECT_EQ(r.out.substr(0, c.out_start.size()), c.out_start);
        EXPECT_EQ(r.out.empty(), c.out_start.empty());
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_NE(tilepal({"--help"}).out.find("\n  --nes-palette FILE  "), std::string::npos);
    EXPECT_TRUE(
        std::regex_match(tilepal({"--version"}).out,
                         std::regex("tilepal \\(nes-tile-suite\\) [0-9]+\\.[0-9]+\\.[0-9]+\n")));
    EXPECT_TRUE(s.entries().empty());
}

// The same picture through the built-in colours (black is $0F, white $30),
// and through palette files of both sizes, whose colours it uses exactly.
// A picture of four colours leaves the entries it lacks black.
TEST_F(Tilepal, WritesBothFilesBesideEachPicture) {
    std::vector<Colour> black_white;
    for (int i = 0; i < 16; ++i) {
        black_white.push_back(i % 2 != 0 ? Colour{255, 255, 255} : Colour{0, 0, 0});
    }
    const std::string warning = "tilepal: art/p.bmp: warning: ";
    const std::string backdrop_warnings =
        warning +
        "1 pixel of index 4 (#14EB80) shows the backdrop, entry 0 (#847B80), on the "
        "NES; it is at (21, 2)\n" +
        warning +
        "1 pixel of index 8 (#F00F80) shows the backdrop, entry 0 (#847B80), on the "
        "NES; it is at (4, 4)\n" +
        warning +
        "2 pixels of index 12 (#00FF80) show the backdrop, entry 0 (#847B80), on the "
        "NES; the first is at (5, 5)\n";
    const std::string drawn_pal = "21 30 16 27 21 1A 2A 0B 21 01 11 31 21 06 17 38";
    // The PNG's four colours are (i, 0, 0).
    const std::vector<std::pair<int, Colour>> png_numbers = {
        {0x2C, {0, 0, 0}}, {0x12, {1, 0, 0}}, {0x23, {2, 0, 0}}, {0x34, {3, 0, 0}}};
    const struct {
        Bytes picture;
        std::string name;
        std::size_t table_size; // 0: the built-in colours
        std::vector<std::pair<int, Colour>> table_changes;
        std::string pal;
        Bytes atr;
        std::string err;
    } cases[] = {
        {bmp_in(40, 20, four_palettes, black_white),
         "p.bmp",
         0,
         {},
         "0F 30 0F 30 0F 30 0F 30 0F 30 0F 30 0F 30 0F 30",
         four_palettes_atr,
         ""},
        {bmp_in(40, 20, four_palettes, drawn_colours()),
         "p.bmp",
         192,
         {},
         drawn_pal,
         four_palettes_atr,
         backdrop_warnings},
        {bmp_in(40, 20, four_palettes, drawn_colours()),
         "p.bmp",
         1536,
         {},
         drawn_pal,
         four_palettes_atr,
         backdrop_warnings},
        {png_file(7, 5, PNG_COLOR_TYPE_PALETTE, 2, random_pixels(7, 5, 4, 1)), "p.png", 192,
         png_numbers, "2C 12 23 34 2C 0F 0F 0F 2C 0F 0F 0F 2C 0F 0F 0F", e2e::hex("00"), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " " + std::to_string(c.table_size));
        e2e::Scratch dir;
        fs::create_directory(dir / "art");
        e2e::write_file(dir / "art" / c.name, c.picture);
        e2e::write_file(dir / "art/p.pal", e2e::hex("01 02 03")); // replaced
        std::vector<std::string> args{"art/" + c.name};
        if (c.table_size != 0) {
            e2e::write_file(dir / "colours.pal", table_file(c.table_size, c.table_changes));
            args.insert(args.begin(), {"--nes-palette", "colours.pal"});
        }
        const auto r = e2e::run(TILEPAL_BIN, args, dir.dir());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(e2e::to_hex(e2e::read_file(dir / "art/p.pal")), c.pal);
        EXPECT_EQ(e2e::read_file(dir / "art/p.atr"), c.atr);
        Names want{"p.atr", "p.pal", c.name};
        std::sort(want.begin(), want.end());
        EXPECT_EQ(names_in(dir / "art"), want) << "a temporary file left behind";
    }
}

// Nothing is written for a refused picture.
TEST_F(Tilepal, RefusedPictures) {
    write("gray.png", png_file(4, 4, PNG_COLOR_TYPE_GRAY, 8, random_pixels(4, 4, 16, 2)));
    write("rgb.tga", tga_file(TgaKind{2, 24}, 4, 4, random_pixels(4, 4, 1 << 24, 3)));
    write("big.bmp", bmp_in(20, 20, draw(20, 20, {{0, 0, 1}, {7, 3, 16}, {2, 9, 200}}), {}));
    // Area (16, 0) takes palette 2 from (20, 1), then meets 3; index 4 before
    // them shows the backdrop. Area (32, 16) has 0 then 1, with index 8 between.
    write("mixed.bmp", bmp_in(48, 32,
                              draw(48, 32,
                                   {{18, 0, 4},
                                    {20, 1, 9},
                                    {30, 2, 10},
                                    {17, 5, 14},
                                    {19, 6, 5},
                                    {0, 20, 7},
                                    {40, 16, 3},
                                    {33, 20, 8},
                                    {47, 31, 6}}),
                              {}));
    const Names pictures{"big.bmp", "gray.png", "mixed.bmp", "rgb.tga"};
    const std::pair<std::string, std::string> cases[] = {
        {"gray.png", "tilepal: gray.png: not a paletted picture (it is grayscale)\n"},
        {"rgb.tga", "tilepal: rgb.tga: not a paletted picture (it is true colour)\n"},
        {"big.bmp",
         "tilepal: big.bmp: pixel (7, 3) has index 16; only indices 0-15 fit the four palettes\n"},
        {"mixed.bmp",
         "tilepal: mixed.bmp: 16x16 area at (16, 0) uses palettes 2 and 3: index 9 at (20, 1), "
         "index 14 at (17, 5)\n"
         "tilepal: mixed.bmp: 16x16 area at (32, 16) uses palettes 0 and 1: index 3 at (40, 16), "
         "index 6 at (47, 31)\n"},
        {"none.bmp", "tilepal: none.bmp: could not load the picture: No such file or directory\n"},
    };
    for (const auto& [picture, err] : cases) {
        expect_refused({picture}, err, pictures);
    }
}

TEST_F(Tilepal, PaletteFilesOfOtherSizesAreRefused) {
    write("a.bmp", bmp_in(8, 8, draw(8, 8, {}), {}));
    write("short.pal", table_file(191));
    write("long.pal", table_file(193));
    fs::create_directory(s / "dir.pal");
    const Names left{"a.bmp", "dir.pal", "long.pal", "short.pal"};
    const std::pair<std::string, std::string> cases[] = {
        {"short.pal", "tilepal: short.pal: a NES palette file has 192 bytes, or 1536 with "
                      "emphasis; this one has 191\n"},
        {"long.pal", "tilepal: long.pal: a NES palette file has 192 bytes, or 1536 with "
                     "emphasis; this one has 193\n"},
        {"none.pal", "tilepal: none.pal: could not read it: No such file or directory\n"},
        {"dir.pal", "tilepal: dir.pal: could not read it: Is a directory\n"},
    };
    for (const auto& [file, err] : cases) {
        expect_refused({"--nes-palette", file, "a.bmp"}, err, left);
    }
}

// Both files are replaced together or not at all: an old a.pal stays as it
// was when a.atr cannot be written, and the picture itself, linked under an
// output's name, is never written over.
TEST_F(Tilepal, OutputsThatCannotBeWritten) {
    const Bytes picture = bmp_in(8, 8, draw(8, 8, {{1, 1, 6}}), {});
    const Bytes old = e2e::hex("0F 0F");
    const struct {
        std::function<void(const fs::path&)> block;
        std::string err;
        Names left;
    } cases[] = {
        {[](const fs::path& d) { fs::create_directory(d / "a.pal"); },
         "tilepal: a.pal: could not open it for writing: Is a directory\n",
         {"a.bmp", "a.pal"}},
        {[](const fs::path& d) { fs::create_directory(d / "a.atr"); },
         "tilepal: a.atr: could not open it for writing: Is a directory\n",
         {"a.atr", "a.bmp", "a.pal"}},
        {[](const fs::path& d) { fs::create_symlink("a.bmp", d / "a.pal"); },
         "tilepal: a.pal: will not write over the input picture a.bmp\n",
         {"a.bmp", "a.pal"}},
        {[](const fs::path& d) { fs::create_hard_link(d / "a.bmp", d / "a.atr"); },
         "tilepal: a.atr: will not write over the input picture a.bmp\n",
         {"a.atr", "a.bmp", "a.pal"}},
        {[](const fs::path& d) { fs::create_symlink("/dev/full", d / "a.pal"); },
         "tilepal: a.pal: could not write it: No space left on device\n",
         {"a.bmp", "a.pal"}},
        {[](const fs::path& d) { fs::create_symlink("/dev/full", d / "a.atr"); },
         "tilepal: a.atr: could not write it: No space left on device\n",
         {"a.atr", "a.bmp", "a.pal"}},
    };
    const bool have_full = fs::exists("/dev/full");
    for (const auto& c : cases) {
        if (!have_full && c.err.ends_with("No space left on device\n")) {
            continue;
        }
        e2e::Scratch dir;
        e2e::write_file(dir / "a.bmp", picture);
        c.block(dir.dir());
        if (!fs::exists(dir / "a.pal")) {
            e2e::write_file(dir / "a.pal", old);
        }
        const auto r = e2e::run(TILEPAL_BIN, {"a.bmp"}, dir.dir());
        EXPECT_EQ(r.status, 1) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(dir.entries(), c.left) << c.err;
        EXPECT_EQ(e2e::read_file(dir / "a.bmp"), picture) << c.err;
        if (fs::is_regular_file(fs::symlink_status(dir / "a.pal"))) {
            EXPECT_EQ(e2e::read_file(dir / "a.pal"), old) << c.err;
        }
    }
}

// One run reports every picture that needs fixing and writes all the others.
TEST_F(Tilepal, EveryPictureIsTried) {
    write("a.bmp", bmp_in(8, 8, draw(8, 8, {{0, 0, 13}}), {}));
    write("b.bmp", bmp_in(8, 8, draw(8, 8, {{0, 0, 17}}), {}));
    write("c.bmp", bmp_in(40, 8, draw(40, 8, {{39, 7, 7}}), {}));
    const auto r = tilepal({"a.bmp", "b.bmp", "none.bmp", "c.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tilepal: b.bmp: pixel (0, 0) has index 17; only indices 0-15 fit the four "
                     "palettes\ntilepal: none.bmp: could not load the picture: No such file or "
                     "directory\n");
    EXPECT_EQ(e2e::read_file(s / "a.atr"), e2e::hex("03"));
    EXPECT_EQ(e2e::read_file(s / "c.atr"), e2e::hex("00 01"));
    EXPECT_EQ(s.entries(), (Names{"a.atr", "a.bmp", "a.pal", "b.bmp", "c.atr", "c.bmp", "c.pal"}));
}
