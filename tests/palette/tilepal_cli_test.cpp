// Runs the built tilepal in a scratch directory and checks the bytes of both
// files it writes. The core's own tests cover the rules in depth; the
// messages, exit statuses and what a refusal leaves on disk are the cases
// of tests/cli/tilepal.
#include "e2e.hpp"
#include "image_files.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>

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

} // namespace

// The same picture through the built-in colours (black is $0F, white $30),
// and through palette files of both sizes, whose colours it uses exactly.
// A picture of four colours leaves the entries it lacks black.
TEST(Tilepal, WritesBothFilesBesideEachPicture) {
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
