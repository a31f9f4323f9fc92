// The whole chain on an emulated NES: a picture drawn here goes through the
// built tilecut, tilepal, tilefold and runsquash, the template ROM in
// examples/rom is assembled around the results with the decoder as its own
// module, jsnes runs it, and every pixel of the frame it shows must be the
// picture's colour.
#include <e2e.hpp>
#include <gtest/gtest.h>
#include <image_files.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
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

// ROM_NODE_MODULES stands in for the npm packages' folder, so that a test can
// take them away and see what a checkout without them does.
fs::path node_modules() {
    const char* instead = std::getenv("ROM_NODE_MODULES");
    return instead != nullptr ? fs::path(instead) : frame_script.parent_path() / "node_modules";
}

std::string missing_tool() {
    for (const auto& [name, path] : {std::pair{"ca65", ca65}, {"ld65", ld65}, {"node", node}}) {
        if (path.empty() || !fs::exists(path)) {
            return std::string(name) + " is not installed: run scripts/setup.sh";
        }
    }
    if (!fs::exists(node_modules() / "jsnes/package.json")) {
        return "jsnes is not installed: run scripts/setup.sh (npm ci in tests/rom)";
    }
    return "";
}

// A checkout where scripts/setup.sh has not run skips the emulator; under CI
// that would stop the proof without anyone noticing, so there it fails.
bool under_ci() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

#define REQUIRE_EMULATOR()                                                                         \
    if (const std::string why = missing_tool(); !why.empty()) {                                    \
        if (under_ci()) {                                                                          \
            FAIL() << why << " (CI=true: the emulator must run)";                                  \
        }                                                                                          \
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
// and only the numbers tilepal chooses (none of columns E and F but $0F, and
// not $0D, $1D or $20).
std::vector<int> usable(const Colours& table) {
    std::vector<int> numbers;
    std::set<std::uint32_t> seen;
    for (int n = 0; n < 64; ++n) {
        const bool chosen = n == 0x0F || (n % 16 < 14 && n != 0x0D && n != 0x1D && n != 0x20);
        if (chosen && seen.insert(table[static_cast<std::size_t>(n)]).second) {
            numbers.push_back(n);
        }
    }
    return numbers;
}

// The emulator's colours as a palette file, 64 times R, G, B.
Bytes palette_file(const Colours& table) {
    Bytes file;
    for (const std::uint32_t c : table) {
        file.insert(file.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                                 static_cast<std::uint8_t>(c >> 16)});
    }
    return file;
}

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

// Indices 4p + c; colours[i] is what index i looks like, 0xBBGGRR, and
// pal[i] the NES number entry i was drawn as: what tilepal must write.
struct Picture {
    int w = screen_w;
    int h = screen_h;
    Pixels px;
    std::array<std::uint32_t, 256> colours{};
    Bytes pal;
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
    pic.pal.clear();
    for (std::size_t i = 0; i < 16; ++i) {
        const int number = numbers[i % 4 == 0 ? 0 : i - i / 4];
        pic.colours[i] = table[static_cast<std::size_t>(number)];
        pic.pal.push_back(static_cast<std::uint8_t>(number));
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

// The screen as the picture defines it, in NES colour numbers: index 4p + c
// shows pal[4p + c], colour 0 the backdrop pal[0]. A picture smaller than
// the screen sits at the top-left; tilecut's padding to whole tiles is
// colour 3, and the rest of the screen repeats the picture's top-left tile,
// each in the palette of its 16x16 area: that of the area's pixels inside
// the picture with c != 0, and 0 where there are none.
std::vector<int> expected_screen(const Picture& pic, const Bytes& pal) {
    std::vector<int> area_palette(16 * 15, 0);
    for (int y = pic.h - 1; y >= 0; --y) { // the first pixel of each area wins
        for (int x = pic.w - 1; x >= 0; --x) {
            if (pic.at(x, y) % 4 != 0) {
                area_palette[static_cast<std::size_t>(y / 16 * 16 + x / 16)] = pic.at(x, y) / 4;
            }
        }
    }
    std::vector<int> screen;
    for (int y = 0; y < screen_h; ++y) {
        for (int x = 0; x < screen_w; ++x) {
            const int p = area_palette[static_cast<std::size_t>(y / 16 * 16 + x / 16)];
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

// The chain as a makefile runs it, in a scratch directory, on the picture
// file `bmp`, its colours matched with the emulator's own (`console`) or
// with tilepal's built-in ones; the frame that jsnes shows after `frames`
// frames, or an empty one if a step failed.
Shown build_and_run(e2e::Scratch& dir, const Picture& pic, const Bytes& bmp,
                    const Colours* console) {
    e2e::write_file(dir / "title.bmp", bmp);
    std::vector<std::string> tilepal_args{"title.bmp"};
    if (console != nullptr) {
        e2e::write_file(dir / "console.pal", palette_file(*console));
        tilepal_args = {"--nes-palette", "console.pal", "title.bmp"};
    }
    const std::string fit = "sh '" + (rom_dir / "fit.sh").string() + "' ";
    const std::string layout = pic.w == screen_w && pic.h == screen_h
                                   ? "cat out.nam title.atr > title.scr"
                                   : fit + "out.nam " + std::to_string((pic.w + 7) / 8) +
                                         " 32 30 > title.scr && " + fit + "title.atr " +
                                         std::to_string((pic.w + 31) / 32) + " 8 8 >> title.scr";
    const std::vector<std::pair<std::string, std::vector<std::string>>> steps = {
        {TILECUT_BIN, {"title.bmp"}},
        {TILEPAL_BIN, tilepal_args},
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
        // Colours drawn as the console shows them leave tilepal nothing to say.
        if (r.status != 0 || (exe == TILEPAL_BIN && !r.err.empty())) {
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
void expect_shown(const Picture& pic, const Bytes& bmp, const Colours* console) {
    e2e::Scratch dir;
    const Shown shown = build_and_run(dir, pic, bmp, console);
    ASSERT_EQ(shown.frame.size(), std::size_t{screen_w * screen_h});
    EXPECT_EQ(e2e::read_file(dir / "title.nes").size(), 16u + 16384 + 8192);
    EXPECT_EQ(shown.log.find("settled after frame " + std::to_string(frames) + " "),
              std::string::npos)
        << "the picture still changed in the last frame: " << shown.log;
    std::cout << "jsnes: " << shown.log;

    const Bytes pal = e2e::read_file(dir / "title.pal");
    ASSERT_EQ(e2e::to_hex(pal), e2e::to_hex(pic.pal)) << "not the numbers the picture was drawn in";
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
        expect_shown(pic, bmp_of(pic), &table);
    }
}

TEST(Rom, ShowsAScreenOfExactly256DistinctTiles) {
    REQUIRE_EMULATOR();
    const Colours table = emulator_colours();
    const Picture pic = tiled(screen_w, screen_h, tile_pool(256, 7), 256, 7, table);
    expect_shown(pic, bmp_of(pic), &table);
}

// 100x75: tilecut pads it to 13x10 tiles with colour 3; the 16x16 areas
// along its right edge hold picture, padding and the repeated top-left tile
// at once.
TEST(Rom, PlacesASmallerPictureAtTheTopLeft) {
    REQUIRE_EMULATOR();
    const Colours table = emulator_colours();
    const Picture pic = tiled(100, 75, tile_pool(20, 11), 0, 11, table);
    expect_shown(pic, bmp_of(pic), &table);
}

// The bundled colour screen, with tilepal's built-in colours as a user runs
// it: all four palettes, drawn in the colours of the numbers below.
TEST(Rom, ShowsTheBundledExample) {
    REQUIRE_EMULATOR();
    const Bytes bmp = e2e::read_file(fs::path(EXAMPLES_DIR) / "colour.bmp");
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
    std::set<int> palettes;
    for (const int i : pic.px) {
        if (i % 4 != 0) {
            palettes.insert(i / 4);
        }
    }
    ASSERT_EQ(palettes.size(), 4u);
    pic.pal = e2e::hex("21 30 31 11 21 17 07 26 21 01 27 37 21 19 0A 29");
    expect_shown(pic, bmp, nullptr);
}

} // namespace
