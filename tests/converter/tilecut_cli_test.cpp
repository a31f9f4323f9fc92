// Runs the built tilecut in a scratch directory and checks the tiles it
// writes; its messages and exit statuses are the cases of tests/cli/tilecut.
#include "e2e.hpp"
#include "pictures.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using e2e::Bytes;

namespace {

// One tile of a flat picture of colour c, and the gray-128 checkerboard.
Bytes flat_tile(int c) {
    Bytes tile(16, 0);
    for (int i = 0; i < 8; ++i) {
        tile[static_cast<std::size_t>(i)] = (c & 1) ? 0xFF : 0x00;
        tile[static_cast<std::size_t>(8 + i)] = (c & 2) ? 0xFF : 0x00;
    }
    return tile;
}
const Bytes kChecker = e2e::hex("55 AA 55 AA 55 AA 55 AA AA 55 AA 55 AA 55 AA 55");

Bytes repeat(const Bytes& tile, int times) {
    Bytes out;
    for (int i = 0; i < times; ++i) {
        out.insert(out.end(), tile.begin(), tile.end());
    }
    return out;
}

class Tilecut : public testing::Test {
  protected:
    e2e::Scratch scratch;

    void save_flat(const std::string& name, int w, int h, int value) {
        auto bmp = make_bitmap(w, h, [&](int, int) { return value; });
        ASSERT_TRUE(save_picture((scratch / name).string(), bmp.get())) << name;
    }
    e2e::Result tilecut(const std::vector<std::string>& args) {
        return e2e::run(TILECUT_BIN, args, scratch.dir());
    }
};

TEST_F(Tilecut, DitherTakesEffectFromItsArgumentOn) {
    // Gray 128 undithered is palette index 128, colour 0; dithered it is the
    // checkerboard. "-x" and "-" are ignored, and "-dark" also means -d.
    save_flat("a.bmp", 16, 8, 128);
    save_flat("b.pcx", 16, 8, 128);
    save_flat("c.bmp", 8, 8, 128);
    const auto r = tilecut({"-x", "a.bmp", "-", "-dark", "b.pcx", "c.bmp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(e2e::read_file(scratch / "a.chr"), repeat(flat_tile(0), 2));
    EXPECT_EQ(e2e::read_file(scratch / "b.chr"), repeat(kChecker, 2));
    EXPECT_EQ(e2e::read_file(scratch / "c.chr"), kChecker);
}

TEST_F(Tilecut, PaddingAndPaletteIndicesThroughBothFormats) {
    // 13x11 of index 6 (colour 2): 4 tiles, padding colour 3.
    for (const std::string ext : {"bmp", "pcx"}) {
        save_flat("pad." + ext, 13, 11, 6);
        const auto r = tilecut({"pad." + ext});
        ASSERT_EQ(r.status, 0) << r.err;
        const Bytes chr = e2e::read_file(scratch / "pad.chr");
        ASSERT_EQ(chr.size(), 64u) << ext;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const std::size_t tile = static_cast<std::size_t>(y / 8 * 2 + x / 8);
                EXPECT_EQ(tile_pixel(chr, tile, x % 8, y % 8), (x < 13 && y < 11) ? 2 : 3);
            }
        }
    }
}

TEST_F(Tilecut, BundledExamplesMatchTheirGoldenTiles) {
    fs::copy_file(fs::path(EXAMPLES_DIR) / "title.bmp", scratch / "title.bmp");
    fs::copy_file(fs::path(EXAMPLES_DIR) / "gradient.bmp", scratch / "gradient.bmp");
    const auto r = tilecut({"title.bmp", "-d", "gradient.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(e2e::read_file(scratch / "title.chr"),
              e2e::read_file(fs::path(GOLDEN_DIR) / "title.chr"));
    EXPECT_EQ(e2e::read_file(scratch / "gradient.chr"),
              e2e::read_file(fs::path(GOLDEN_DIR) / "gradient.chr"));
}

} // namespace
