// TGA files give what the library's own reader gives where it reads them
// right, their indices where it does not (runs across rows, right-to-left
// rows, 15-bit colour maps); damaged ones and every LBM are refused by the
// built tool with the load failure.
#include "e2e.hpp"
#include "image_files.hpp"
#include "intake.hpp"
#include "pictures.hpp"
#include "refusals.hpp"

#include <gtest/gtest.h>

#include <random>

namespace {

std::uint32_t limit_for(int bpp) {
    return bpp == 8 ? 256 : bpp <= 16 ? 0x10000 : bpp == 24 ? 0x1000000 : 0x7FFFFFFF;
}

class TgaIntake : public testing::Test {
  protected:
    e2e::Scratch scratch;

    std::optional<intake::Image> load(const Bytes& bytes) {
        e2e::write_file(scratch / "t.tga", bytes);
        return intake::load((scratch / "t.tga").c_str()).picture;
    }
    BitmapPtr library(const Bytes& bytes) {
        e2e::write_file(scratch / "lib.tga", bytes);
        return BitmapPtr(load_tga((scratch / "lib.tga").c_str(), nullptr));
    }
};

TEST_F(TgaIntake, FilesTheLibraryReadItselfGiveTheSameBitmap) {
    // Every type and depth, both row orders, packets kept within rows. The
    // true-colour ones also stand for their right-to-left, row-crossing
    // forms, which the library does not read right.
    const struct {
        int type;
        int bpp;
        int map_entry;
    } kinds[] = {{1, 8, 16}, {1, 8, 24}, {1, 8, 32}, {2, 15, 0},
                 {2, 16, 0}, {2, 24, 0}, {2, 32, 0}, {3, 8, 0}};
    unsigned seed = 1;
    for (const auto& k : kinds) {
        for (const bool rle : {false, true}) {
            for (const bool top_down : {false, true}) {
                for (const auto& [w, h] : {std::pair{13, 5}, {37, 19}, {1, 1}}) {
                    const Pixels px = random_pixels(w, h, limit_for(k.bpp), seed++);
                    SCOPED_TRACE(testing::Message()
                                 << "type " << k.type << ", " << k.bpp << " bits, rle " << rle
                                 << ", top-down " << top_down << ", " << w << "x" << h);
                    const TgaKind plain{.type = k.type | (rle ? 8 : 0),
                                        .bpp = k.bpp,
                                        .top_down = top_down,
                                        .rows_apart = true,
                                        .map_entry = k.map_entry};
                    const auto theirs = library(tga_file(plain, w, h, px));
                    ASSERT_TRUE(theirs);
                    for (const bool turned : {false, true}) {
                        TgaKind kind = plain;
                        kind.type = k.type | (rle ? 8 : 0);
                        kind.right_to_left = turned;
                        kind.rows_apart = !turned;
                        const auto ours = load(tga_file(kind, w, h, px));
                        ASSERT_TRUE(ours) << "turned " << turned;
                        EXPECT_EQ(bitmap_color_depth(theirs.get()), 8);
                        EXPECT_EQ(pixels_of(ours), pixels_of(theirs.get())) << "turned " << turned;
                    }
                }
            }
        }
    }
}

TEST_F(TgaIntake, IndicesAndGrayLevelsInEveryLayout) {
    unsigned seed = 100;
    for (const int type : {1, 3, 9, 11}) {
        for (const int map_entry : {15, 16, 24, 32}) {
            for (const int map_first : {0, 100}) {
                if (type % 8 == 3 && (map_entry != 24 || map_first != 0)) {
                    continue; // no colour map to vary
                }
                for (const int layout : {0, 1, 2, 3}) {
                    const Pixels px = random_pixels(21, 9, 256, seed++);
                    const TgaKind kind{.type = type,
                                       .top_down = (layout & 1) != 0,
                                       .right_to_left = (layout & 2) != 0,
                                       .map_first = map_first,
                                       .map_entry = map_entry};
                    EXPECT_EQ(pixels_of(load(tga_file(kind, 21, 9, px))), px)
                        << "type " << type << ", map entry " << map_entry << ", first " << map_first
                        << ", layout " << layout;
                }
            }
        }
    }
}

Bytes with(Bytes b, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
}

// An IFF chunk: tag, big-endian length, data (of even length here).
Bytes chunk(const std::string& tag, const Bytes& data) {
    Bytes b(tag.begin(), tag.end());
    for (int i = 3; i >= 0; --i) {
        b.push_back(static_cast<std::uint8_t>(data.size() >> (8 * i)));
    }
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// An 8x2 ILBM of 8 planes, ByteRun coded, with `colours` in its map.
Bytes lbm_file(std::size_t colours, const std::string& body) {
    Bytes form{'I', 'L', 'B', 'M'};
    for (const Bytes& c :
         {chunk("BMHD", e2e::hex("00 08 00 02 00 00 00 00 08 00 01 00 00 00 01 01 00 08 00 02")),
          chunk("CMAP", Bytes(colours * 3 + colours % 2, 0x40)), chunk("BODY", e2e::hex(body))}) {
        form.insert(form.end(), c.begin(), c.end());
    }
    return chunk("FORM", form);
}

TEST(MalformedTga, AndEveryLbmAreRefusedWithTheLoadFailureAndNoOutput) {
    const Bytes gray = tga_file({}, 13, 5, random_pixels(13, 5, 256, 5));
    const Bytes mapped =
        tga_file({.type = 1}, 13, 5, random_pixels(13, 5, 256, 6));       // map of 768 bytes
    const Bytes coded = tga_file({.type = 11}, 3, 2, {1, 2, 3, 4, 5, 6}); // a literal of 6
    const Bytes big = with(cut(tga_file({.type = 2, .bpp = 32}, 5, 5, Pixels(25)), 118), 12,
                           {0x00, 0x40, 0x00, 0x40}); // 16384x16384
    std::string rows;
    for (int i = 0; i < 16; ++i) {
        rows += "00 00 "; // each plane of each row, a literal of one byte
    }
    const std::vector<BadFile> cases = {
        {"colour map of 65535 entries", "tga", with(mapped, 5, {0xFF, 0xFF})},
        {"colour map past index 255", "tga", with(mapped, 3, {1})},
        {"colour map entries of 8 bits", "tga", with(mapped, 7, {8})},
        {"colour map cut short", "tga", cut(mapped, 500)},
        {"colour-mapped without a map", "tga", with(mapped, 1, {0})},
        {"gray with a map", "tga", with(gray, 1, {1})},
        {"16-bit gray", "tga", with(gray, 16, {16})},
        {"true colour of 8 bits", "tga", with(gray, 2, {2})},
        {"16-bit indices", "tga", with(mapped, 16, {16})},
        {"no image data (type 0)", "tga", with(gray, 2, {0})},
        {"Huffman coded (type 32)", "tga", with(mapped, 2, {32})},
        {"header cut short", "tga", cut(gray, 17)},
        {"ID field past the end", "tga", with(cut(gray, 30), 0, {40})},
        {"pixels cut short", "tga", cut(gray, gray.size() - 1)},
        {"width 16385", "tga", with(gray, 12, {0x01, 0x40})},
        {"width 0", "tga", with(gray, 12, {0x00, 0x00})},
        {"height 0", "tga", with(gray, 14, {0x00, 0x00})},
        {"16384x16384 at 32 bits in 118 bytes", "tga", big},
        {"16384x16384 coded in 118 bytes", "tga", with(big, 2, {10})},
        {"run past the last pixel", "tga", with(coded, 18, {0x86})},
        {"literal past the last pixel", "tga", with(cat(coded, {7}), 18, {0x06})},
        {"coded data cut short", "tga", cut(coded, coded.size() - 1)},
        {"valid-looking lbm", "lbm", lbm_file(256, rows)},
        {"lbm run past a row", "lbm", lbm_file(256, "81 05 " + rows)},
        {"lbm colour map of 5000 entries", "lbm", lbm_file(5000, rows)},
    };
    expect_refused(cases);
}

} // namespace
