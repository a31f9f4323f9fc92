#include "inputs.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <set>
#include <utility>

namespace {

std::uint32_t le32(const bench::Bytes& b, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;) {
        v = v << 8 | b[at + i];
    }
    return v;
}

// The header fields a reader relies on, and the rows stored bottom-up with
// their padding, so the tools are timed on the picture that was drawn.
TEST(BenchInputs, BmpHoldsThePictureBottomUp) {
    for (const int w : {13, 256}) {
        SCOPED_TRACE(w);
        const bench::Picture pic = bench::scene(w, 24, 9);
        const bench::Bytes bmp = bench::to_bmp(pic);
        const std::size_t stride = static_cast<std::size_t>(w + 3) / 4 * 4;
        ASSERT_EQ(bmp.size(), 14 + 40 + 1024 + stride * 24);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(le32(bmp, 2), bmp.size());
        EXPECT_EQ(le32(bmp, 10), 14U + 40 + 1024);
        EXPECT_EQ(le32(bmp, 18), static_cast<std::uint32_t>(w));
        EXPECT_EQ(le32(bmp, 22), 24U);
        EXPECT_EQ(bmp[28], 8);
        for (std::size_t y = 0; y < 24; ++y) {
            const std::uint8_t* stored = bmp.data() + 1078 + (23 - y) * stride;
            EXPECT_EQ(std::memcmp(stored, pic.pixels.data() + y * static_cast<std::size_t>(w),
                                  static_cast<std::size_t>(w)),
                      0);
        }
    }
}

TEST(BenchInputs, TileFilesHaveTheShapeTheirTargetsNeed) {
    const bench::Bytes prefix = bench::shared_prefix_tiles(16 * 1000, 300, 5);
    ASSERT_EQ(prefix.size(), 16000U);
    std::set<std::pair<std::uint64_t, std::uint64_t>> distinct;
    for (std::size_t at = 0; at < prefix.size(); at += 16) {
        EXPECT_EQ(std::memcmp(prefix.data() + at, prefix.data(), 14), 0);
        std::pair<std::uint64_t, std::uint64_t> tile;
        std::memcpy(&tile.first, prefix.data() + at, 8);
        std::memcpy(&tile.second, prefix.data() + at + 8, 8);
        distinct.insert(tile);
    }
    EXPECT_EQ(distinct.size(), 300U);

    const bench::Bytes runs = bench::long_runs(100000, 7);
    ASSERT_EQ(runs.size(), 100000U);
    std::size_t start = 0;
    for (std::size_t i = 1; i <= runs.size(); ++i) {
        if (i == runs.size() || runs[i] != runs[start]) {
            if (i < runs.size()) {
                EXPECT_GE(i - start, 64U);
            }
            start = i;
        }
    }
    EXPECT_EQ(bench::random_bytes(64, 4), bench::random_bytes(64, 4));
    EXPECT_NE(bench::random_bytes(64, 4), bench::random_bytes(64, 5));
}

// The PNG a reader sees: an RGB header of the picture's size, and rows that
// inflate to the picture's bytes, each behind a filter byte of 0. The photo
// is no flat picture: a fit that it measures has colours to choose.
TEST(BenchInputs, PngHoldsThePhotoAsDrawn) {
    const bench::ColourPicture pic = bench::photo(40, 24, 3);
    const bench::Bytes png = bench::to_png(pic);
    ASSERT_GT(png.size(), 41U);
    EXPECT_EQ(std::memcmp(png.data() + 12, "IHDR", 4), 0);
    const auto be32 = [&](std::size_t at) {
        return std::uint32_t{png[at]} << 24 | std::uint32_t{png[at + 1]} << 16 |
               std::uint32_t{png[at + 2]} << 8 | png[at + 3];
    };
    EXPECT_EQ(be32(16), 40U);
    EXPECT_EQ(be32(20), 24U);
    EXPECT_EQ(png[24], 8);
    EXPECT_EQ(png[25], 2);
    ASSERT_EQ(std::memcmp(png.data() + 37, "IDAT", 4), 0);
    bench::Bytes rows(24 * (1 + 40 * 3));
    uLongf size = static_cast<uLongf>(rows.size());
    ASSERT_EQ(uncompress(rows.data(), &size, png.data() + 41, be32(33)), Z_OK);
    ASSERT_EQ(size, rows.size());
    std::set<std::uint32_t> colours;
    for (std::size_t y = 0; y < 24; ++y) {
        EXPECT_EQ(rows[y * 121], 0);
        EXPECT_EQ(std::memcmp(rows.data() + y * 121 + 1, pic.rgb.data() + y * 120, 120), 0);
        for (std::size_t x = 0; x < 40; ++x) {
            const auto* p = pic.rgb.data() + y * 120 + x * 3;
            colours.insert(std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2]);
        }
    }
    EXPECT_GT(colours.size(), 40U * 24 / 2);
}

} // namespace
