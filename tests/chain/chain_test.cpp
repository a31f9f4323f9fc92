// The three tools as a makefile runs them: picture -> tiles -> tile set and
// name table -> compressed name table, and everything back again.
#include "e2e.hpp"
#include "reference_decoder.hpp"
#include "reference_fold.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace fs = std::filesystem;
using e2e::Bytes;

namespace {

TEST(Chain, ExampleScreenSurvivesEveryStep) {
    e2e::Scratch scratch;
    fs::copy_file(fs::path(EXAMPLES_DIR) / "title.bmp", scratch / "title.bmp");

    const auto cut = e2e::run(TILECUT_BIN, {"title.bmp"}, scratch.dir());
    ASSERT_EQ(cut.status, 0) << cut.err;
    const Bytes tiles = e2e::read_file(scratch / "title.chr");
    ASSERT_EQ(tiles.size(), 960u * 16);

    const auto fold = e2e::run(TILEFOLD_BIN, {"title.chr"}, scratch.dir());
    ASSERT_EQ(fold.status, 0) << fold.err;
    EXPECT_EQ(fold.out, "");
    EXPECT_EQ(fold.err, "");
    const Bytes set = e2e::read_file(scratch / "out.chr");
    const Bytes nam = e2e::read_file(scratch / "out.nam");
    ASSERT_EQ(set.size(), 4096u);
    ASSERT_EQ(nam.size(), 960u);
    EXPECT_EQ(tilefold_test::unfold(set, nam), tiles);

    // The set holds each distinct tile of the screen exactly once, in order
    // of first appearance.
    std::set<std::string> distinct;
    for (std::size_t i = 0; i < tiles.size(); i += 16) {
        distinct.emplace(reinterpret_cast<const char*>(&tiles[i]), 16);
    }
    std::uint8_t highest = 0;
    for (std::uint8_t slot : nam) {
        ASSERT_LE(slot, highest + 1) << "slots must appear in order";
        highest = std::max(highest, slot);
    }
    EXPECT_EQ(highest + 1u, distinct.size());

    const auto squash = e2e::run(RUNSQUASH_BIN, {"out.nam", "title.rlz"}, scratch.dir());
    ASSERT_EQ(squash.status, 0) << squash.err;
    EXPECT_EQ(squash.err, "");
    const Bytes packed = e2e::read_file(scratch / "title.rlz");
    ASSERT_GE(packed.size(), 2u);
    EXPECT_EQ(squash.out, "reading 960 bytes\ncompressed to " + std::to_string(packed.size() - 2) +
                              " bytes.\n");
    EXPECT_EQ(packed[0], 0x03);
    EXPECT_EQ(packed[1], 0xC0);
    const auto expanded =
        runsquash_test::decode_packets(std::span<const std::uint8_t>(packed).subspan(2));
    ASSERT_TRUE(expanded.has_value());
    EXPECT_EQ(*expanded, nam);
    EXPECT_LT(packed.size(), nam.size()) << "a screen with a border and a floor must compress";
}

} // namespace
