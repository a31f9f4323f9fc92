#include "e2e.hpp"
#include "reference_fold.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace fs = std::filesystem;
using e2e::Bytes;

namespace {

e2e::Result tilefold_in(const e2e::Scratch& s, const std::vector<std::string>& args) {
    return e2e::run(TILEFOLD_BIN, args, s.dir());
}

// Tiles drawn from a pool of 320, so some repeat and some find no slot.
Bytes random_chr(std::size_t tiles, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out;
    for (std::size_t i = 0; i < tiles; ++i) {
        const auto n = static_cast<unsigned>(rng() % 320);
        const Bytes t{static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8)};
        out.insert(out.end(), t.begin(), t.end());
        out.insert(out.end(), 14, 0x5A);
    }
    return out;
}

} // namespace

TEST(TilefoldCli, WritesBothOutputsAndReplacesThemOnRerun) {
    e2e::Scratch s;
    fs::create_directory(s / "sub");
    e2e::write_file(s / "sub/a.chr", random_chr(5000, 1)); // more than one read chunk
    const auto r = tilefold_in(s, {"sub/a.chr"});
    const auto want = tilefold_test::reference_fold(random_chr(5000, 1));
    ASSERT_GT(want.unplaced, 0U);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "warning: " + std::to_string(want.unplaced) +
                         " tiles in sub/a.chr\ndo not match the first 256 unique tiles");
    EXPECT_EQ(e2e::read_file(s / "out.chr"), want.chr);
    EXPECT_EQ(e2e::read_file(s / "out.nam"), want.nam);

    e2e::write_file(s / "b.chr", Bytes(40, 0x11));
    const auto again = tilefold_in(s, {"b.chr"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(e2e::read_file(s / "out.chr"), tilefold_test::reference_fold(Bytes(40, 0x11)).chr);
    EXPECT_EQ(e2e::read_file(s / "out.nam"), e2e::hex("00 00"));
}
