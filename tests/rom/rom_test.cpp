// The whole chain on an emulated NES: a picture drawn here goes through the
// built tilecut, tilefold and runsquash, the template ROM in examples/rom is
// assembled around the results with the decoder as its own module, jsnes runs
// it, and every pixel of the frame it shows must be the picture's colour.
#include <e2e.hpp>
#include <gtest/gtest.h>
#include <image_files.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int screen_w = 256;
constexpr int screen_h = 240;
// Enough for two vertical-blank waits, the expansion and one whole frame
// drawn, with room for a slower decoder; the emulator must also have shown
// the same picture for the last two frames.
constexpr int frames = 12;

// Paths that CMake found; empty when the program is missing.
const std::string ca65 = CA65_BIN;
const std::string ld65 = LD65_BIN;
const std::string node = NODE_BIN;
const fs::path rom_dir = ROM_DIR;
const fs::path frame_script = FRAME_SCRIPT;

std::string missing_tool() {
    for (const auto& [name, path] : {std::pair{"ca65", ca65}, {"ld65", ld65}, {"node", node}}) {
        if (path.empty() || !fs::exists(path)) {
            return std::string(name) + " is not installed: run scripts/setup.sh";
        }
    }
    if (!fs::exists(frame_script.parent_path() / "node_modules/jsnes/package.json")) {
        return "jsnes is not installed: run scripts/setup.sh (npm ci in tests/rom)";
    }
    return "";
}

#define REQUIRE_EMULATOR()                                                                         \
    if (const std::string why = missing_tool(); !why.empty()) {                                    \
        GTEST_SKIP() << why;                                                                       \
    }

// The emulator's colours, 0xBBGGRR, indexed by NES colour number.
using Colours = std::array<std::uint32_t, 64>;

Colours emulator_colours() {
    e2e::Scratch dir;
    const e2e::Result r = e2e::run(node, {frame_script.string(), "table"}, dir.dir());
    EXPECT_EQ(r.status, 0) << r.err;
    Colours table{};
    std::istringstream lines(r.out);
    for (auto& c : table) {
        std::string word;
        lines >> word;
        c = static_cast<std::uint32_t>(std::stoul(word, nullptr, 16));
    }
    return table;
}

// NES numbers a picture may use: one of each colour the emulator can show,
// black as $0F (not $0D, which upsets some televisions).
std::vector<int> usable(const Colours& table) {
    std::vector<int> numbers;
    std::set<std::uint32_t> seen;
    for (int n = -1; n < 64; ++n) {
        const int number = n < 0 ? 0x0F : n;
        if (number != 0x0D && seen.insert(table[static_cast<std::size_t>(number)]).second) {
            numbers.push_back(number);
        }
    }
    return numbers;
}

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

// Indices 4p + c; colours[i] is what index i looks like, 0xBBGGRR.
struct Picture {
    int w = screen_w;
    int h = screen_h;
    Pixels px;
    std::array<std::uint32_t, 256> colours{};
    int at(int x, int y) const { return px[static_cast<std::size_t>(y * w + x)]; }
};

Bytes bmp_of(const Picture& pic) {
    Bytes file = bmp_file(BmpKind{}, pic.w, pic.h, pic.px);
    for (std::size_t i = 0; i < 256; ++i) { // B, G, R, 0 after the 54-byte headers
        file[54 + 4 * i] = static_cast<std::uint8_t>(pic.colours[i] >> 16);
        file[55 + 4 * i] = static_cast<std::uint8_t>(pic.colours[i] >> 8);
        file[56 + 4 * i] = static_cast<std::uint8_t>(pic.colours[i]);
    }
    return file;
}

// Colour 0 of every palette is the backdrop: one colour, then 12 more.
void colour_with(Picture& pic, const Colours& table, std::mt19937& rng) {
    std::vector<int> numbers = usable(table);
    std::shuffle(numbers.begin(), numbers.end(), rng);
    for (std::size_t i = 0; i < 16; ++i) {
        const std::size_t pick = i % 4 == 0 ? 0 : i - i / 4;
        pic.colours[i] = table[static_cast<std::size_t>(numbers[pick])];
    }
}

// A screen of tiles from `pool` (each 64 colours 0-3), tile after tile in
// runs as on a real screen, with a random palette for each 16x16 area.
// `first` tiles are laid in order before the random ones.
Picture tiled(int w, int h, const std::vector<Pixels>& pool, std::size_t first, unsigned seed,
              const Colours& table) {
    std::mt19937 rng(seed);
    Picture pic;
    pic.w = w;
    pic.h = h;
    pic.px.resize(static_cast<std::size_t>(w * h));
    const int cols = (w + 7) / 8;
    std::vector<int> area_palette(static_cast<std::size_t>(((w + 15) / 16) * ((h + 15) / 16)));
    for (auto& p : area_palette) {
        p = static_cast<int>(rng() % 4);
    }
    std::size_t tile = 0;
    for (int t = 0; t < cols * ((h + 7) / 8); ++t) {
        const auto k = static_cast<std::size_t>(t);
        tile = k < first ? k : (rng() % 3 == 0 ? rng() % pool.size() : tile);
        for (int i = 0; i < 64; ++i) {
            const int x = t % cols * 8 + i % 8;
            const int y = t / cols * 8 + i / 8;
            if (x < w && y < h) {
                const int p =
                    area_palette[static_cast<std::size_t>(y / 16 * ((w + 15) / 16) + x / 16)];
                pic.px[static_cast<std::size_t>(y * w + x)] =
                    4 * p + pool[tile][static_cast<std::size_t>(i)];
            }
        }
    }
    colour_with(pic, table, rng);
    return pic;
}

std::vector<Pixels> tile_pool(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::set<Pixels> pool;
    while (pool.size() < n) {
        Pixels tile(64);
        for (auto& c : tile) {
            c = static_cast<int>(rng() % 4);
        }
        pool.insert(tile);
    }
    std::vector<Pixels> tiles(pool.begin(), pool.end());
    std::shuffle(tiles.begin(), tiles.end(), rng);
    return tiles;
}

// Stands in for tilepal until it exists: title.pal from the picture's
// colours (the nearest NES colour to each) and title.atr from the palette
// that each 16x16 area's pixels use. Areas outside the picture use palette 0.
void stand_in_tilepal(const fs::path& dir, const Picture& pic, const Colours& table) {
    const std::vector<int> numbers = usable(table);
    auto distance = [](std::uint32_t a, std::uint32_t b) {
        int d = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const int diff =
                static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255);
            d += diff * diff;
        }
        return d;
    };
    Bytes pal(16);
    for (std::size_t i = 0; i < 16; ++i) {
        const std::uint32_t want = pic.colours[i % 4 == 0 ? 0 : i];
        int best = numbers[0];
        for (const int n : numbers) {
            if (distance(table[static_cast<std::size_t>(n)], want) <
                distance(table[static_cast<std::size_t>(best)], want)) {
                best = n;
            }
        }
        pal[i] = static_cast<std::uint8_t>(best);
    }
    e2e::write_file(dir / "title.pal", pal);

    Bytes atr;
    for (int by = 0; by < pic.h; by += 32) {
        for (int bx = 0; bx < pic.w; bx += 32) {
            int byte = 0;
            for (int q = 0; q < 4; ++q) {
                const int x = bx + q % 2 * 16;
                const int y = by + q / 2 * 16;
                if (x < pic.w && y < pic.h) {
                    byte |= pic.at(x, y) / 4 << 2 * q;
                }
            }
            atr.push_back(static_cast<std::uint8_t>(byte));
        }
    }
    e2e::write_file(dir / "title.atr", atr);
}

// The screen as the picture defines it, in NES colour numbers: index 4p + c
// shows pal[4p + c], colour 0 the backdrop pal[0]. A picture smaller than
// the screen sits at the top-left; tilecut's padding to whole tiles is
// colour 3, and the rest of the screen repeats the picture's top-left tile,
// each in the palette of its 16x16 area (palette 0 where the picture has no
// pixel in the area).
std::vector<int> expected_screen(const Picture& pic, const Bytes& pal) {
    std::vector<int> screen;
    for (int y = 0; y < screen_h; ++y) {
        for (int x = 0; x < screen_w; ++x) {
            const int ax = x / 16 * 16;
            const int ay = y / 16 * 16;
            const int p = ax < pic.w && ay < pic.h ? pic.at(ax, ay) / 4 : 0;
            int c = 3;
            if (x < pic.w && y < pic.h) {
                c = pic.at(x, y) % 4;
            } else if (x >= (pic.w + 7) / 8 * 8 || y >= (pic.h + 7) / 8 * 8) {
                c = pic.at(x % 8, y % 8) % 4;
            }
            screen.push_back(pal[static_cast<std::size_t>(c == 0 ? 0 : 4 * p + c)]);
        }
    }
    return screen;
}

struct Shown {
    Colours table{};
    std::vector<std::uint32_t> frame;
    std::string log;
};

Shown read_frame(const fs::path& path) {
    const Bytes bytes = e2e::read_file(path);
    Shown shown;
    EXPECT_EQ(bytes.size(), 4u * (64 + screen_w * screen_h));
    for (std::size_t i = 0; i + 3 < bytes.size(); i += 4) {
        const std::uint32_t word = le32(bytes, i);
        if (i / 4 < 64) {
            shown.table[i / 4] = word;
        } else {
            shown.frame.push_back(word);
        }
    }
    return shown;
}

// The chain as a makefile runs it, in a scratch directory; the frame that
// jsnes shows after `frames` frames, or an empty one if a step failed.
Shown build_and_run(e2e::Scratch& dir, const Picture& pic, const Colours& table) {
    e2e::write_file(dir / "title.bmp", bmp_of(pic));
    stand_in_tilepal(dir.dir(), pic, table); // later: {TILEPAL_BIN, {"title.bmp"}} below
    const std::string fit = "sh '" + (rom_dir / "fit.sh").string() + "' ";
    const std::string layout = pic.w == screen_w && pic.h == screen_h
                                   ? "cat out.nam title.atr > title.scr"
                                   : fit + "out.nam " + std::to_string((pic.w + 7) / 8) +
                                         " 32 30 > title.scr && " + fit + "title.atr " +
                                         std::to_string((pic.w + 31) / 32) + " 8 8 >> title.scr";
    const std::vector<std::pair<std::string, std::vector<std::string>>> steps = {
        {TILECUT_BIN, {"title.bmp"}},
        {TILEFOLD_BIN, {"title.chr"}},
        {"/bin/sh", {"-c", layout}},
        {RUNSQUASH_BIN, {"title.scr", "screen.rlz"}},
        {"/bin/cp", {"title.pal", "screen.pal"}},
        {ca65, {"--bin-include-dir", ".", "-o", "template.o", (rom_dir / "template.s").string()}},
        {ca65, {"-o", "unrle.o", UNRLE_SOURCE}},
        {ld65,
         {"-C", (rom_dir / "nrom128.cfg").string(), "-o", "title.nes", "template.o", "unrle.o"}},
        {node, {frame_script.string(), "title.nes", std::to_string(frames), "frame.bin"}},
    };
    Shown shown;
    for (const auto& [exe, args] : steps) {
        const e2e::Result r = e2e::run(exe, args, dir.dir());
        if (r.status != 0) {
            ADD_FAILURE() << exe << " failed:\n" << r.out << r.err;
            return shown;
        }
        shown.log = r.out;
    }
    const std::string log = shown.log;
    shown = read_frame(dir / "frame.bin");
    shown.log = log;
    return shown;
}

// Builds and runs the ROM, then compares every pixel of the frame with the
// picture's colours through the emulator's own colour table.
void expect_shown(const Picture& pic, const Colours& table) {
    e2e::Scratch dir;
    const Shown shown = build_and_run(dir, pic, table);
    ASSERT_EQ(shown.frame.size(), std::size_t{screen_w * screen_h});
    EXPECT_EQ(e2e::read_file(dir / "title.nes").size(), 16u + 16384 + 8192);
    EXPECT_EQ(shown.log.find("settled after frame " + std::to_string(frames) + " "),
              std::string::npos)
        << "the picture still changed in the last frame: " << shown.log;
    std::cout << "jsnes: " << shown.log;

    const Bytes pal = e2e::read_file(dir / "title.pal");
    ASSERT_EQ(pal.size(), 16u);
    // Distinct colours for distinct entries in use, or a wrong entry could
    // pass unseen.
    std::set<int> entries{0};
    for (const int i : pic.px) {
        entries.insert(i % 4 == 0 ? 0 : i);
    }
    std::set<std::uint32_t> colours;
    for (const int i : entries) {
        colours.insert(shown.table[pal[static_cast<std::size_t>(i)] & 63u]);
    }
    ASSERT_EQ(colours.size(), entries.size()) << "the palette shows two entries alike";

    const std::vector<int> want = expected_screen(pic, pal);
    int wrong = 0;
    std::ostringstream report;
    for (std::size_t i = 0; i < want.size(); ++i) {
        const std::uint32_t colour = shown.table[static_cast<std::size_t>(want[i] & 63)];
        if (shown.frame[i] != colour && ++wrong <= 8) {
            report << " (" << i % screen_w << "," << i / screen_w << "): NES $" << std::hex
                   << want[i] << " is " << colour << ", shown " << shown.frame[i] << std::dec;
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels differ, first ones:" << report.str();
}

TEST(Rom, ShowsRandomScreensInAllFourPalettes) {
    REQUIRE_EMULATOR();
    const Colours table = emulator_colours();
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const Picture pic = tiled(screen_w, screen_h, tile_pool(40, seed), 0, seed, table);
        std::set<int> palettes;
        for (const int i : pic.px) {
            palettes.insert(i / 4);
        }
        ASSERT_EQ(palettes.size(), 4u);
        expect_shown(pic, table);
    }
}

TEST(Rom, ShowsAScreenOfExactly256DistinctTiles) {
    REQUIRE_EMULATOR();
    const Colours table = emulator_colours();
    expect_shown(tiled(screen_w, screen_h, tile_pool(256, 7), 256, 7, table), table);
}

// 100x75: tilecut pads it to 13x10 tiles with colour 3; the 16x16 areas
// along its right edge hold picture, padding and the repeated top-left tile
// at once.
TEST(Rom, PlacesASmallerPictureAtTheTopLeft) {
    REQUIRE_EMULATOR();
    const Colours table = emulator_colours();
    expect_shown(tiled(100, 75, tile_pool(20, 11), 0, 11, table), table);
}

// The bundled title screen: four grays, palette 0 only.
TEST(Rom, ShowsTheBundledExample) {
    REQUIRE_EMULATOR();
    const Bytes bmp = e2e::read_file(fs::path(EXAMPLES_DIR) / "title.bmp");
    // 8-bit, uncompressed, bottom-up, 40-byte header: what make_examples writes.
    ASSERT_EQ(le32(bmp, 14), 40u);
    ASSERT_EQ(le32(bmp, 18), 256u);
    ASSERT_EQ(le32(bmp, 22), 240u);
    ASSERT_EQ(bmp[28], 8);
    ASSERT_EQ(le32(bmp, 30), 0u);
    Picture pic;
    const std::size_t data = le32(bmp, 10);
    for (int y = 0; y < screen_h; ++y) {
        for (int x = 0; x < screen_w; ++x) {
            pic.px.push_back(bmp[data + static_cast<std::size_t>((screen_h - 1 - y) * 256 + x)]);
        }
    }
    for (std::size_t i = 0; i < 256; ++i) {
        pic.colours[i] = le32(bmp, 54 + 4 * i) & 0xFFFFFF; // grays read the same either way round
    }
    expect_shown(pic, emulator_colours());
}

} // namespace
