// Every kind of file the intake accepts gives its pixel values intact; files
// the library's own readers already handled give exactly what they gave.
#include "bmp_rle.hpp"
#include "e2e.hpp"
#include "image_files.hpp"
#include "intake.hpp"
#include "pictures.hpp"

#include <gtest/gtest.h>

#include <random>

namespace {

class Intake : public testing::Test {
  protected:
    e2e::Scratch scratch;

    std::optional<intake::Image> load(const std::string& name, const Bytes& bytes) {
        e2e::write_file(scratch / name, bytes);
        return intake::load((scratch / name).c_str()).picture;
    }
};

TEST(RleExpander, RunsLiteralsMovesAndTheirLimits) {
    // A 5x2 picture; a stored RLE8 row is padded to 8 pixels, RLE4 to 8.
    struct Case {
        const char* name;
        int bits;
        std::string stream;
        std::string rows; // empty: refused
    };
    const Case cases[] = {
        {"run, end of row, literal", 8, "03 07 00 00 00 03 01 02 03 00 00 01",
         "07 07 07 00 00 01 02 03 00 00"},
        {"move right and up", 8, "00 02 02 01 02 09 00 01", "00 00 00 00 00 00 00 09 09 00"},
        {"run into padding is cut", 8, "08 05 00 01", "05 05 05 05 05 00 00 00 00 00"},
        {"RLE4 nibbles alternate", 4, "05 12 00 00 00 03 34 50 00 01",
         "01 02 01 02 01 03 04 05 00 00"},
        {"RLE4 pads to 8 pixels", 4, "08 11 00 01", "01 01 01 01 01 00 00 00 00 00"},
        {"run past padding", 8, "09 05 00 01", ""},
        {"RLE4 run past padding", 4, "09 11 00 01", ""},
        {"literal past padding", 8, "00 09 01 01 01 01 01 01 01 01 01 00 00 01", ""},
        {"run past last row", 8, "00 00 00 00 01 01 00 01", ""},
        {"end of row past last row", 8, "00 00 00 00 00 00 00 01", ""},
        {"move past last row", 8, "00 02 00 03 00 01", ""},
        {"move onto the end row", 8, "03 07 00 02 00 02 00 01", "07 07 07 00 00 00 00 00 00 00"},
        {"move past padding", 8, "00 02 09 00 00 01", ""},
        {"move into padding", 8, "00 02 07 00 01 09 00 01", "00 00 00 00 00 00 00 00 00 00"},
        {"no end of bitmap", 8, "03 07 00 00", ""},
        {"literal cut short", 8, "00 05 01 02 03", ""},
        {"literal missing its pad byte", 8, "00 03 01 02 03", ""},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> rows(10, 0);
        const Bytes stream = e2e::hex(c.stream);
        intake::MemorySource src(stream);
        intake::Reader in(src, 0);
        const bool ok =
            intake::expand_bmp_rle(in, stream.size(), c.bits, 5, 2, intake::RowMap{rows.data(), 5});
        EXPECT_EQ(ok, !std::string(c.rows).empty()) << c.name;
        if (ok) {
            EXPECT_EQ(e2e::to_hex(rows), e2e::to_hex(e2e::hex(c.rows))) << c.name;
        }
    }
    // A stream that would only end past its length limit is refused.
    const Bytes stream = e2e::hex("03 07 00 00 00 03 01 02 03 00 00 01");
    std::vector<std::uint8_t> rows(10, 0);
    intake::MemorySource src(stream);
    intake::Reader in(src, 0);
    EXPECT_FALSE(
        intake::expand_bmp_rle(in, stream.size() - 1, 8, 5, 2, intake::RowMap{rows.data(), 5}));
}

TEST_F(Intake, EveryBmpHeaderDepthCodingAndOrientation) {
    unsigned seed = 1;
    for (const std::uint32_t info : {12u, 40u, 52u, 56u, 108u, 124u}) {
        for (const int bpp : {1, 4, 8}) {
            for (const bool rle : {false, true}) {
                for (const bool top_down : {false, true}) {
                    if ((rle && bpp == 1) || (info == 12 && (rle || top_down))) {
                        continue;
                    }
                    for (const auto& [w, h] : {std::pair{13, 5}, {37, 19}, {1, 1}}) {
                        const Pixels px = random_pixels(w, h, 1u << bpp, seed++);
                        const auto image =
                            load("m.bmp", bmp_file({info, bpp, rle, top_down}, w, h, px));
                        EXPECT_EQ(pixels_of(image), px)
                            << info << "-byte header, " << bpp << " bits, rle " << rle
                            << ", top-down " << top_down << ", " << w << "x" << h;
                    }
                }
            }
        }
    }
}

TEST_F(Intake, OnlyTheLastStoredRowMayLackItsPadding) {
    // 13 pixels at 8 bits take 16 bytes a row, in either orientation.
    for (const bool top_down : {false, true}) {
        const Pixels px = random_pixels(13, 5, 256, top_down ? 7 : 8);
        Bytes file = bmp_file({40, 8, false, top_down}, 13, 5, px);
        file.resize(file.size() - 3);
        const auto image = load("short.bmp", file);
        ASSERT_TRUE(image) << "top-down " << top_down;
        EXPECT_EQ(pixels_of(image), px) << "top-down " << top_down;
        file.pop_back(); // now a pixel is missing too
        EXPECT_FALSE(load("shorter.bmp", file)) << "top-down " << top_down;
    }
}

TEST_F(Intake, FilesTheLibraryReadItselfGiveTheSameBitmap) {
    // The plain forms it read before: 12- and 40-byte headers, any depth it
    // knows, and PCX files as it writes them, in 8 and 24 bits.
    // The library gives 8 bits a pixel for every file here (true colour
    // included, by its colour conversion), and the intake the same values.
    const auto compare = [&](const std::string& name, const Bytes& bytes,
                             BITMAP* (*library)(const char*, RGB*)) {
        const auto ours = load(name, bytes);
        const BitmapPtr theirs(library((scratch / name).c_str(), nullptr));
        ASSERT_TRUE(ours && theirs) << name;
        EXPECT_EQ(bitmap_color_depth(theirs.get()), 8) << name;
        EXPECT_EQ(pixels_of(ours), pixels_of(theirs.get())) << name;
    };
    for (const std::uint32_t info : {12u, 40u}) {
        for (const int bpp : {1, 4, 8}) {
            const Pixels px = random_pixels(29, 7, 1u << bpp, 7);
            compare("p.bmp", bmp_file({info, bpp, false, false}, 29, 7, px), load_bmp);
        }
    }
    for (const int depth : {8, 15, 16, 24, 32}) {
        for (const auto& [w, h] : {std::pair{13, 11}, {64, 3}}) {
            const auto pic = make_bitmap(
                w, h,
                [&](int x, int y) { return depth == 8 ? (x * 7 + y * 31) % 256 : x * 4099 + y; },
                depth);
            for (const std::string ext : {"bmp", "pcx"}) {
                // PCX holds 8 bits in one plane or 24 in three.
                if (ext == "pcx" && depth != 8 && depth != 24) {
                    continue;
                }
                const std::string path = (scratch / ("s." + ext)).string();
                ASSERT_TRUE(save_picture(path, pic.get()));
                compare("s." + ext, e2e::read_file(path), ext == "bmp" ? load_bmp : load_pcx);
            }
        }
    }
}

// Each format's colour table, in its own byte order and precision, at the
// indices it stands for. The fixtures' tables are grays (entry i is i, i, i),
// so entry 1, or the first of the map, is made 0x30, 0x20, 0x10 (red, green,
// blue) in the file's own order.
TEST_F(Intake, PalettesGiveEachIndexItsColour) {
    const auto poke = [](Bytes b, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    const std::initializer_list<std::uint8_t> bgr = {0x10, 0x20, 0x30};
    const std::initializer_list<std::uint8_t> rgb = {0x30, 0x20, 0x10};
    const intake::Rgb colour{0x30, 0x20, 0x10};
    const intake::Rgb black{0, 0, 0};
    const intake::Rgb two{2, 2, 2};
    const Pixels px = random_pixels(64, 32, 16, 11);
    // PCX: the 256-colour table follows its marker byte 12 at the end; without
    // it, the header's 16 colours from byte 16 on are the palette.
    const Bytes pcx = pcx_file(64, 32, px, 64);
    const Bytes pcx16 = cut(pcx, pcx.size() - 769);
    // TGA: an ID field of 5 bytes between the header and the colour map, and
    // a map from index 100 on; 16-bit entries hold 5 bits each of red, green
    // and blue, blue lowest, and 5 bits v make (v << 3) | (v >> 2): 0x4101 is
    // red 16, green 8 and blue 1, so 132, 66 and 8.
    Bytes tga = poke(tga_file({.type = 1, .map_first = 100}, 64, 32, px), 18 + 3, bgr);
    tga.insert(tga.begin() + 18, 5, 'I');
    tga[0] = 5;
    const Bytes tga16 =
        poke(tga_file({.type = 1, .map_entry = 16}, 64, 32, px), 18 + 2, {0x01, 0x41, 0xFF, 0x7F});
    struct Row {
        const char* name;
        std::string file;
        Bytes bytes;
        std::size_t size;
        std::vector<std::pair<std::size_t, intake::Rgb>> entries;
    };
    // BMP: blue, green, red and a zero from byte 54 on, or without the zero
    // after the 12-byte header.
    const Bytes bmp = poke(bmp_file({40, 8}, 64, 32, px), 58, bgr);
    const Bytes rle = poke(bmp_file({40, 8, true}, 64, 32, px), 58, bgr);
    const Bytes core = poke(bmp_file({12, 8}, 64, 32, px), 29, bgr);
    const Row rows[] = {
        {"bmp", "p.bmp", bmp, 256, {{1, colour}, {2, two}}},
        {"bmp rle", "p.bmp", rle, 256, {{1, colour}}},
        {"bmp core", "p.bmp", core, 256, {{1, colour}, {2, two}}},
        {"pcx", "p.pcx", poke(pcx, pcx.size() - 765, rgb), 256, {{0, {85, 85, 85}}, {1, colour}}},
        {"pcx 16", "p.pcx", poke(pcx16, 19, rgb), 16, {{0, black}, {1, colour}, {15, black}}},
        {"tga", "p.tga", tga, 256, {{99, black}, {100, black}, {101, colour}, {102, two}}},
        {"tga 16", "p.tga", tga16, 256, {{1, {132, 66, 8}}, {2, {255, 255, 255}}}},
        // The fixture's PNG palette is entry i = (i, 0, 0).
        {"png", "p.png", png_file(64, 32, PNG_COLOR_TYPE_PALETTE, 8, px), 256, {{7, {7, 0, 0}}}},
    };
    for (const Row& row : rows) {
        const auto image = load(row.file, row.bytes);
        ASSERT_TRUE(image) << row.name;
        EXPECT_EQ(pixels_of(image), px) << row.name;
        ASSERT_EQ(image->palette().size(), row.size) << row.name;
        for (const auto& [index, want] : row.entries) {
            const intake::Rgb got = image->palette()[index];
            EXPECT_EQ(got, want) << row.name << ", entry " << index << ": " << int{got.r} << " "
                                 << int{got.g} << " " << int{got.b};
        }
    }
}

TEST_F(Intake, PcxPaddingAndRunsAcrossScanlines) {
    // Up to 64 bytes of padding; runs cross scanlines, and a flat scanline
    // of 200 takes runs of the longest kind, 63 pixels.
    const Pixels px = random_pixels(13, 9, 256, 3);
    for (const int line_bytes : {13, 14, 16, 13 + 64}) {
        EXPECT_EQ(pixels_of(load("c.pcx", pcx_file(13, 9, px, line_bytes))), px) << line_bytes;
    }
    Pixels flat(200 * 3);
    for (std::size_t i = 0; i < flat.size(); ++i) {
        flat[i] = i < 200 ? 7 : i < 400 ? 0xC5 : 0xFF;
    }
    EXPECT_EQ(pixels_of(load("f.pcx", pcx_file(200, 3, flat, 200))), flat);
    // The corners need not be at the origin: 13x9 from (100, 50) to (112, 58).
    // A picture of one pixel takes one byte of data: a value below 0xC0 is a
    // pixel of its own.
    Bytes moved = pcx_file(13, 9, px, 14);
    for (const auto& [at, v] : {std::pair{4, 100}, {6, 50}, {8, 112}, {10, 58}}) {
        moved[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(v);
    }
    EXPECT_EQ(pixels_of(load("m.pcx", moved)), px);
    const Bytes dot = cat(cat(cut(pcx_file(1, 1, {0}, 1), 128), {7}), cat({12}, Bytes(768)));
    EXPECT_EQ(pixels_of(load("dot.pcx", dot)), Pixels{7});
}

TEST_F(Intake, SixteenBitGrayRoundsToTheNearestLevel) {
    // v / 257 rounded, worked by hand: 0x00FF is 0.99 (not 0), 0x0080 is
    // 0.498, 0x0081 is 0.502, 0x01FF is 1.99 and 0x7FFF is 127.498.
    const Pixels samples = {0x0000, 0x00FF, 0x0080, 0x0081, 0x01FF, 0x7FFF, 0xFFFF};
    const Pixels levels = {0, 1, 0, 1, 2, 127, 255};
    EXPECT_EQ(pixels_of(load("g.png", png_file(7, 1, PNG_COLOR_TYPE_GRAY, 16, samples))), levels);
}

TEST_F(Intake, PngIndicesAndGrayLevels) {
    struct Case {
        int color_type;
        int depth;
        int scale; // gray level = sample * scale, or / for 16 bits
    };
    const Case cases[] = {
        {PNG_COLOR_TYPE_PALETTE, 1, 1},        {PNG_COLOR_TYPE_PALETTE, 2, 1},
        {PNG_COLOR_TYPE_PALETTE, 4, 1},        {PNG_COLOR_TYPE_PALETTE, 8, 1},
        {PNG_COLOR_TYPE_GRAY, 1, 255},         {PNG_COLOR_TYPE_GRAY, 2, 85},
        {PNG_COLOR_TYPE_GRAY, 4, 17},          {PNG_COLOR_TYPE_GRAY, 8, 1},
        {PNG_COLOR_TYPE_GRAY, 16, -257},       {PNG_COLOR_TYPE_GRAY_ALPHA, 8, 1},
        {PNG_COLOR_TYPE_GRAY_ALPHA, 16, -257},
    };
    for (const Case& c : cases) {
        for (const bool interlace : {false, true}) {
            Pixels px = random_pixels(21, 10, c.depth == 16 ? 256u : 1u << c.depth, 9);
            Pixels expected = px;
            for (std::size_t i = 0; i < px.size(); ++i) {
                if (c.scale < 0) {
                    px[i] *= -c.scale; // 16 bits: v * 257 reduces to v
                } else {
                    expected[i] *= c.scale;
                }
            }
            const auto image =
                load("g.png", png_file(21, 10, c.color_type, c.depth, px, interlace));
            EXPECT_EQ(pixels_of(image), expected)
                << "type " << c.color_type << ", depth " << c.depth << ", interlace " << interlace;
        }
    }
}

} // namespace
