#include "e2e.hpp"
#include "reference_fold.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

namespace fs = std::filesystem;
using e2e::Bytes;

namespace {

e2e::Result tilefold_in(const e2e::Scratch& s, const std::vector<std::string>& args) {
    return e2e::run(TILEFOLD_BIN, args, s.dir());
}

using Names = std::vector<std::string>;

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

TEST(TilefoldCli, WrongArgumentCountPrintsUsage) {
    for (const Names& args : {Names{}, Names{"a.chr", "b.chr"}}) {
        e2e::Scratch s;
        const auto r = tilefold_in(s, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "syntax: tilefold foo.chr\n");
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(s.entries().empty());
    }
}

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

// Each case: what to set up, the argument, the expected message, and the
// directory entries afterwards: a failed run creates nothing.
TEST(TilefoldCli, OpenFailuresLeaveOnlyWhatTheyMust) {
    struct Case {
        const char* dir;
        const char* arg;
        std::string err;
        Names left;
    };
    const Case cases[] = {
        {nullptr,
         "missing.chr",
         "tilefold could not open missing.chr: No such file or directory\n",
         {"in.chr"}},
        {"out.chr",
         "in.chr",
         "tilefold could not open out.chr: Is a directory\n",
         {"in.chr", "out.chr"}},
        {"out.nam",
         "in.chr",
         "tilefold could not open out.nam: Is a directory\n",
         {"in.chr", "out.nam"}},
        {"d", "d", "tilefold could not read d: Is a directory\n", {"d", "in.chr"}},
        // Its size is 0, its contents are not (valgrind would hide that).
        {nullptr,
         "/proc/self/cmdline",
         "tilefold could not read /proc/self/cmdline: file is longer than its reported size\n",
         {"in.chr"}},
    };
    for (const Case& c : cases) {
        e2e::Scratch s;
        e2e::write_file(s / "in.chr", Bytes(32, 1));
        if (c.dir != nullptr) {
            fs::create_directory(s / c.dir);
        }
        const auto r = tilefold_in(s, {c.arg});
        EXPECT_EQ(r.status, 1) << c.arg;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(s.entries(), c.left) << c.err;
    }
}

TEST(TilefoldCli, UnseekableInputIsRefused) {
    e2e::Scratch s;
    ASSERT_EQ(mkfifo((s / "pipe").c_str(), 0600), 0);
    // Holding both ends keeps the tool's open from blocking.
    const int fd = open((s / "pipe").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const auto r = tilefold_in(s, {"pipe"});
    close(fd);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tilefold could not read pipe: Illegal seek\n");
    EXPECT_EQ(s.entries(), Names{"pipe"});
}

TEST(TilefoldCli, InputThatIsAnOutputIsLeftUntouched) {
    e2e::Scratch s;
    const Bytes chr = random_chr(20, 2);
    const Bytes nam = e2e::hex("01 02 03");
    e2e::write_file(s / "out.chr", chr);
    e2e::write_file(s / "out.nam", nam);
    fs::create_hard_link(s / "out.chr", s / "link.chr");
    fs::create_symlink("out.nam", s / "sym.nam");
    const std::pair<std::string, const char*> cases[] = {
        {"out.chr", "out.chr"},  {"./out.chr", "out.chr"}, {(s / "out.chr").string(), "out.chr"},
        {"link.chr", "out.chr"}, {"out.nam", "out.nam"},   {"sym.nam", "out.nam"},
    };
    for (const auto& [arg, output] : cases) {
        const auto r = tilefold_in(s, {arg});
        EXPECT_EQ(r.status, 1) << arg;
        EXPECT_EQ(r.err,
                  "tilefold will not read " + arg + ": it is the output file " + output + "\n");
        EXPECT_EQ(e2e::read_file(s / "out.chr"), chr) << arg;
        EXPECT_EQ(e2e::read_file(s / "out.nam"), nam) << arg;
    }
    // The refusal comes before out.chr is created.
    fs::remove(s / "out.chr");
    EXPECT_EQ(tilefold_in(s, {"out.nam"}).status, 1);
    EXPECT_FALSE(fs::exists(s / "out.chr"));
}

TEST(TilefoldCli, WriteFailureIsReported) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    for (const char* full : {"out.chr", "out.nam"}) {
        e2e::Scratch s;
        e2e::write_file(s / "in.chr", random_chr(3000, 3));
        fs::create_symlink("/dev/full", s / full);
        const auto r = tilefold_in(s, {"in.chr"});
        EXPECT_EQ(r.status, 1) << full;
        EXPECT_EQ(r.err,
                  std::string("tilefold could not write ") + full + ": No space left on device\n");
    }
}
