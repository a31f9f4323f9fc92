// Damaged and hostile files are refused by the built tool with the load
// failure, quickly and without leaving an output file; the new kinds of file
// it accepts come out as the tiles of their pixels.
#include "e2e.hpp"
#include "image_files.hpp"
#include "intake.hpp"
#include "pictures.hpp"
#include "refusals.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

Pixels pattern(int w, int h, int limit) {
    Pixels px(static_cast<std::size_t>(w * h));
    for (std::size_t i = 0; i < px.size(); ++i) {
        px[i] = static_cast<int>(i / 3 % static_cast<std::size_t>(limit));
    }
    return px;
}

Bytes set32(Bytes b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
    }
    return b;
}

// A 13x5 RLE8 (or RLE4) file whose pixel data is `stream`.
Bytes rle_with(int bpp, const std::string& stream) {
    const Bytes b = bmp_file({40, bpp, true, false}, 13, 5, pattern(13, 5, 1 << bpp));
    return cat(cut(b, 14 + 40 + (4u << bpp)), e2e::hex(stream));
}

// A PCX header for a w x h picture of one plane, then `data` and a palette.
Bytes pcx_with(int w, int h, int line_bytes, const std::string& data) {
    const Bytes b = pcx_file(w, h, Pixels(static_cast<std::size_t>(w * h)), line_bytes);
    return cat(cat(cut(b, 128), e2e::hex(data)), cat({12}, Bytes(768)));
}

// The PNG checksum of a chunk's type and data.
std::uint32_t crc32(const Bytes& bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
        }
    }
    return ~crc;
}

// A PNG chunk, its checksum right unless `damaged`.
Bytes png_chunk(const std::string& type, const Bytes& data, bool damaged = false) {
    Bytes body(type.begin(), type.end());
    body.insert(body.end(), data.begin(), data.end());
    Bytes out;
    const auto be32 = [&out](std::uint32_t v) {
        for (int i = 3; i >= 0; --i) {
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    };
    be32(static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), body.begin(), body.end());
    be32(crc32(body) ^ (damaged ? 1u : 0u));
    return out;
}

// A PNG with its end chunk replaced by `tail`.
Bytes png_ending(const Bytes& png, const Bytes& tail) {
    return cat(cut(png, png.size() - 12), tail);
}

// A 2x2 BMP of `bpp` bits with bit fields for red, green and blue: after a
// 40-byte info header, or inside a larger one.
Bytes bitfield_bmp(int bpp, std::uint32_t r, std::uint32_t g, std::uint32_t b,
                   std::uint32_t info = 40) {
    const std::uint32_t stride = bpp == 16 ? 4 : 8;
    const std::uint32_t offset = 14 + std::max(info, 40u + 12);
    Bytes out{'B', 'M'};
    le(out, offset + 2 * stride, 4);
    le(out, 0, 4);
    le(out, offset, 4);
    for (const std::uint32_t v : {info, 2u, 2u}) {
        le(out, v, 4);
    }
    le(out, 1, 2);
    le(out, static_cast<std::uint32_t>(bpp), 2);
    le(out, 3, 4); // bit fields
    le(out, 2 * stride, 4);
    out.resize(14 + 40, 0);
    for (const std::uint32_t mask : {r, g, b}) {
        le(out, mask, 4);
    }
    out.resize(offset, 0);
    out.resize(out.size() + 2 * stride, 0x5A);
    return out;
}

TEST(MalformedImages, AreRefusedWithTheLoadFailureAndNoOutput) {
    const Bytes bmp = bmp_file({}, 37, 19, pattern(37, 19, 256)); // 1078 + 19 * 40 bytes
    const Bytes mono = bmp_file({40, 1}, 37, 19, pattern(37, 19, 2));
    const Bytes pcx = pcx_file(13, 9, pattern(13, 9, 256), 14);
    const Bytes png = png_file(21, 10, PNG_COLOR_TYPE_GRAY, 8, pattern(21, 10, 256));
    Bytes bad_crc = png;
    bad_crc.at(50) ^= 0x40; // inside the pixel data's chunk
    const std::vector<BadFile> cases = {
        {"bmp cut in file header", "bmp", cut(bmp, 10)},
        {"bmp signed BA", "bmp",
         [&] {
             Bytes b = bmp;
             b[1] = 'A';
             return b;
         }()},
        {"bmp cut in info header", "bmp", cut(bmp, 30)},
        {"bmp cut in palette", "bmp", cut(bmp, 600)},
        {"bmp cut in pixels", "bmp", cut(bmp, bmp.size() - 41)},
        {"bmp height 65536", "bmp", set32(bmp, 22, 65536)},
        {"bmp height 503316735", "bmp", set32(bmp, 22, 503316735)},
        {"bmp height 2130706451", "bmp", set32(bmp, 22, 2130706451)},
        {"bmp height -2^31", "bmp", set32(bmp, 22, 0x80000000)},
        {"bmp width 16385", "bmp", set32(bmp, 18, 16385)},
        {"bmp width 16385, complete", "bmp", bmp_file({}, 16385, 1, Pixels(16385, 1))},
        {"bmp width 0", "bmp", set32(bmp, 18, 0)},
        {"bmp height 0", "bmp", set32(bmp, 22, 0)},
        {"bmp of no rows, pixels past the end", "bmp", set32(set32(bmp, 22, 0), 10, 99999)},
        {"bmp bit fields 4-4-4", "bmp", bitfield_bmp(16, 0x0F00, 0x00F0, 0x000F)},
        {"bmp bit fields blue-green-red at 32 bits", "bmp",
         bitfield_bmp(32, 0x0000FF, 0x00FF00, 0xFF0000)},
        {"bmp negative width", "bmp", set32(bmp, 18, 0xFFFFFFDB)},
        {"bmp 2 bits", "bmp", set32(bmp, 28, 2)},
        {"bmp JPEG data", "bmp", set32(bmp, 30, 4)},
        {"bmp header of 64 bytes", "bmp", set32(bmp, 14, 64)},
        {"bmp 257 colours", "bmp", set32(bmp, 46, 257)},
        {"bmp colour table past the end", "bmp", set32(mono, 46, 256)},
        {"bmp pixels offset past the end", "bmp", set32(bmp, 10, 5000)},
        // The implied 256 colours, and the pixels right after the header:
        // there is no colour table to read the pixels through.
        {"bmp with no room for its colour table", "bmp",
         set32(cat(cut(bmp, 54), Bytes(bmp.begin() + 1078, bmp.end())), 10, 54)},
        {"rle8 run past the padding", "bmp", rle_with(8, "11 01 00 01")},
        {"rle8 run past the last row", "bmp", rle_with(8, "00 02 00 05 01 01 00 01")},
        {"rle8 literal past the padding", "bmp",
         rle_with(8, "00 02 0C 00 00 05 01 02 03 04 05 00")},
        {"rle8 without end of bitmap", "bmp", rle_with(8, "0D 01 00 00")},
        {"rle4 run past the padding", "bmp", rle_with(4, "11 12 00 01")},
        {"pcx cut in header", "pcx", cut(pcx, 100)},
        {"pcx cut in pixels", "pcx", cut(pcx, 150)},
        {"pcx run past the last scanline", "pcx", pcx_with(2, 1, 2, "C3 05")},
        {"pcx right edge before left", "pcx", set32(pcx, 4, 20)},
        {"pcx width 16385", "pcx", set32(pcx, 8, 16384 | (8u << 16))},
        {"pcx scanline shorter than the width", "pcx", pcx_with(4, 1, 2, "C4 01")},
        {"pcx run cut before its value", "pcx", pcx_with(4, 1, 4, "C4")},
        {"pcx pixels that end before the colour table", "pcx", pcx_with(4, 2, 4, "C4 01")},
        {"pcx scanline 65 bytes longer than the width", "pcx",
         pcx_with(4, 1, 69, "C4 01 FF 00 C2 00")},
        {"pcx 1 bit", "pcx",
         [&] {
             Bytes b = pcx;
             b[3] = 1;
             return b;
         }()},
        {"png cut in header", "png", cut(png, 20)},
        {"png cut in pixels", "png", cut(png, png.size() - 30)},
        {"png bad checksum", "png", bad_crc},
        {"png bad checksum on a text chunk", "png",
         png_ending(png, cat(png_chunk("tEXt", {'a', 0, 'b'}, true), png_chunk("IEND", {})))},
        {"png data in the end chunk", "png", png_ending(png, png_chunk("IEND", {0}))},
        {"png bad signature", "png", set32(png, 0, 0x474E5088)},
        {"png true colour", "png", png_file(3, 2, PNG_COLOR_TYPE_RGB, 8, Pixels(6, 9))},
        {"png true colour with alpha", "png", png_file(3, 2, PNG_COLOR_TYPE_RGBA, 8, Pixels(6, 9))},
        {"png width 16385", "png", png_file(16385, 1, PNG_COLOR_TYPE_GRAY, 1, Pixels(16385))},
    };
    expect_refused(cases);
}

// What lies right at a limit is read, not refused.
TEST(EdgesOfWhatIsRead, AreConverted) {
    const e2e::Scratch scratch;
    // A data byte of exactly $C0 is a run of length 0: it and the byte
    // after it give no pixel, least of all one of value 192.
    e2e::write_file(scratch / "zero.pcx", pcx_with(4, 1, 4, "C0 05 C4 02"));
    // A move that lands exactly on the end row, and then the end of bitmap.
    e2e::write_file(scratch / "move.bmp", rle_with(8, "0D 01 00 00 00 02 00 04 00 01"));
    // 16384 pixels high, and 16384 wide.
    e2e::write_file(scratch / "high.bmp", bmp_file({}, 8, 16384, pattern(8, 16384, 4)));
    e2e::write_file(scratch / "wide.bmp", bmp_file({}, 16384, 8, pattern(16384, 8, 4)));
    const auto r =
        e2e::run(TILECUT_BIN, {"zero.pcx", "move.bmp", "high.bmp", "wide.bmp"}, scratch.dir());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(e2e::read_file(scratch / "zero.chr"), tiles_of(4, 1, [](int, int) { return 2; }));
    EXPECT_EQ(e2e::read_file(scratch / "move.chr"),
              tiles_of(13, 5, [](int, int y) { return y == 4 ? 1 : 0; }));
    const Pixels high = pattern(8, 16384, 4);
    EXPECT_EQ(e2e::read_file(scratch / "high.chr"), tiles_of(8, 16384, [&](int x, int y) {
                  return high[static_cast<std::size_t>(y * 8 + x)];
              }));
    const Pixels wide = pattern(16384, 8, 4);
    EXPECT_EQ(e2e::read_file(scratch / "wide.chr"), tiles_of(16384, 8, [&](int x, int y) {
                  return wide[static_cast<std::size_t>(y * 16384 + x)];
              }));
}

TEST(MalformedImages, FoundByFuzzingStayFixed) {
    // Files named refused-* must be refused, accepted-* must load.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(REGRESSIONS_DIR)) {
        const std::string name = entry.path().filename().string();
        const bool accepted = name.starts_with("accepted-");
        ASSERT_TRUE(accepted || name.starts_with("refused-")) << name;
        EXPECT_EQ(static_cast<bool>(intake::load(entry.path().c_str())), accepted) << name;
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST(NewImageKinds, GiveTheTilesOfTheirPixels) {
    // A 13-pixel-wide RLE8 picture whose runs reach into the row padding, a
    // top-down 4-bit one with a 108-byte header, an indexed 2-bit PNG, and
    // a 4-bit gray PNG dithered with -d.
    const Pixels px = pattern(13, 11, 4);
    Pixels gray = pattern(13, 11, 16);
    Bytes rle = bmp_file({124, 8, true, false}, 13, 11, px);
    rle.resize(14 + 124 + 1024);
    for (int r = 0; r < 11; ++r) {
        // Each row: its pixels as literals, then a run of 3 into the padding.
        // The last row moves past its first two pixels, which stay index 0.
        const int skip = r == 10 ? 2 : 0;
        if (skip != 0) {
            rle.insert(rle.end(), {0, 2, 2, 0});
        }
        rle.insert(rle.end(), {0, static_cast<std::uint8_t>(13 - skip)});
        for (int x = skip; x < 13; ++x) {
            rle.push_back(
                static_cast<std::uint8_t>(px[static_cast<std::size_t>((10 - r) * 13 + x)]));
        }
        rle.insert(rle.end(), {0, 3, 9, 0, 0});
    }
    rle.insert(rle.end(), {0, 1});

    const e2e::Scratch scratch;
    e2e::write_file(scratch / "a.bmp", rle);
    e2e::write_file(scratch / "b.bmp", bmp_file({108, 4, false, true}, 13, 11, px));
    e2e::write_file(scratch / "c.png", png_file(13, 11, PNG_COLOR_TYPE_PALETTE, 2, px));
    e2e::write_file(scratch / "d.png", png_file(13, 11, PNG_COLOR_TYPE_GRAY, 4, gray));
    // Bit fields of 5-5-5 and 5-6-5 at 16 bits, and 8-8-8 at 32 inside a
    // 108-byte header: true colour, which reads as index 1 throughout.
    e2e::write_file(scratch / "e.bmp", bitfield_bmp(16, 0x7C00, 0x03E0, 0x001F));
    e2e::write_file(scratch / "f.bmp", bitfield_bmp(16, 0xF800, 0x07E0, 0x001F));
    e2e::write_file(scratch / "g.bmp", bitfield_bmp(32, 0xFF0000, 0x00FF00, 0x0000FF, 108));
    const auto r =
        e2e::run(TILECUT_BIN, {"a.bmp", "b.bmp", "c.png", "e.bmp", "f.bmp", "g.bmp", "-d", "d.png"},
                 scratch.dir());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    const auto index = [&](int x, int y) { return px[static_cast<std::size_t>(y * 13 + x)]; };
    for (const char* name : {"b.chr", "c.chr"}) {
        EXPECT_EQ(e2e::read_file(scratch / name), tiles_of(13, 11, index)) << name;
    }
    EXPECT_EQ(e2e::read_file(scratch / "a.chr"),
              tiles_of(13, 11, [&](int x, int y) { return y == 0 && x < 2 ? 0 : index(x, y); }));
    // The 4-bit grays 0-15 are the levels 0, 17, ..., 255, which are 0, 3, 6,
    // ... 48 sixteenths of a colour step (c = (v * 48 + 144) / 255, worked by
    // hand); level = c / 16, plus one where the matrix cell is below c mod 16.
    static const int kMatrix[4][4] = {{0, 8, 3, 11}, {12, 4, 15, 7}, {2, 10, 1, 9}, {14, 6, 13, 5}};
    static const int kSixteenths[16] = {0,  3,  6,  10, 13, 16, 19, 22,
                                        26, 29, 32, 35, 38, 42, 45, 48};
    const auto dithered = [&](int x, int y) {
        const int c = kSixteenths[gray[static_cast<std::size_t>(y * 13 + x)]];
        return c / 16 + (kMatrix[y % 4][x % 4] < c % 16 ? 1 : 0);
    };
    EXPECT_EQ(e2e::read_file(scratch / "d.chr"), tiles_of(13, 11, dithered));
    for (const char* name : {"e.chr", "f.chr", "g.chr"}) {
        EXPECT_EQ(e2e::read_file(scratch / name), tiles_of(2, 2, [](int, int) { return 1; }))
            << name;
    }
}

} // namespace
