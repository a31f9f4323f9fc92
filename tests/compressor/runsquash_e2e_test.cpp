#include "reference_decoder.hpp"

#include <e2e.hpp>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using e2e::Bytes;

const std::string kUsage = "syntax: runsquash infile.nam outfile.rlz\n";

// Slot numbers with the long runs of a typical screen.
Bytes name_table(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes bytes;
    while (bytes.size() < n) {
        bytes.insert(bytes.end(), std::min<std::size_t>(1 + rng() % 40, n - bytes.size()),
                     static_cast<std::uint8_t>(rng() % 16));
    }
    return bytes;
}

TEST(Runsquash, WritesHeaderPacketsAndProgress) {
    struct Row {
        std::size_t size;
        const char* header;
        const char* warning;
    };
    const Row rows[] = {
        {0, "00 00", ""},
        {960, "03 C0", ""},
        {1024, "04 00", ""},
        {65535, "FF FF", ""},
        {65536, "00 00",
         "runsquash warning: in.nam is 65536 bytes, but the length header holds only the low 16 "
         "bits of the size (0)\n"},
        {70000, "11 70",
         "runsquash warning: in.nam is 70000 bytes, but the length header holds only the low 16 "
         "bits of the size (4464)\n"},
        // Big enough for the buffer to be rounded up to whole 2 MiB pages.
        {(3UL << 20) + 5, "00 05",
         "runsquash warning: in.nam is 3145733 bytes, but the length header holds only the low "
         "16 bits of the size (5)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        e2e::Scratch dir;
        const Bytes in = name_table(row.size, 7);
        e2e::write_file(dir / "in.nam", in);
        const e2e::Result r = e2e::run(RUNSQUASH_BIN, {"in.nam", "out.rlz"}, dir.dir());
        const Bytes packets = runsquash_test::reference_encode(in);
        Bytes expected = e2e::hex(row.header);
        expected.insert(expected.end(), packets.begin(), packets.end());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "reading " + std::to_string(row.size) + " bytes\ncompressed to " +
                             std::to_string(packets.size()) + " bytes.\n");
        EXPECT_EQ(r.err, row.warning);
        EXPECT_EQ(e2e::read_file(dir / "out.rlz"), expected);
    }
}

TEST(Runsquash, UsageOnFewerThanTwoArgumentsAndExtraArgumentsIgnored) {
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"in.nam"}}) {
        e2e::Scratch dir;
        e2e::write_file(dir / "in.nam", e2e::hex("01 02"));
        const e2e::Result r = e2e::run(RUNSQUASH_BIN, args, dir.dir());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, kUsage);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.nam"});
    }
    e2e::Scratch dir;
    e2e::write_file(dir / "in.nam", e2e::hex("05 05 05 05"));
    const e2e::Result r = e2e::run(RUNSQUASH_BIN, {"in.nam", "out.rlz", "x", "y"}, dir.dir());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(e2e::to_hex(e2e::read_file(dir / "out.rlz")), "00 04 FE 05 00 05");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.nam", "out.rlz"}));
}

// Every refusal: nothing on stdout, exit 1, the input untouched and no output
// created. "@" in an argument stands for the scratch directory.
TEST(Runsquash, RefusesBeforeCreatingOutput) {
    struct Row {
        std::vector<std::string> args;
        std::function<int(const fs::path&)> setup; // returns an fd to close afterwards, or -1
        std::string err;
        std::vector<std::string> entries;
    };
    const auto none = [](const fs::path&) { return -1; };
    const auto link = [](const char* name, bool hard) {
        return [name, hard](const fs::path& d) {
            hard ? fs::create_hard_link(d / "in.nam", d / name)
                 : fs::create_symlink("in.nam", d / name);
            return -1;
        };
    };
    const std::string same = "runsquash will not write ";
    const std::string same_tail = ": it is the same file as the input in.nam\n";
    const Row rows[] = {
        {{"missing.nam", "out.rlz"},
         none,
         "runsquash could not open missing.nam for reading\n",
         {"in.nam"}},
        {{"in.nam", "nodir/out.rlz"},
         none,
         "runsquash could not open nodir/out.rlz for writing\n",
         {"in.nam"}},
        {{"sub", "out.rlz"},
         [](const fs::path& d) {
             fs::create_directory(d / "sub");
             return -1;
         },
         "runsquash could not read sub: Is a directory\n",
         {"in.nam", "sub"}},
        {{"fifo", "out.rlz"},
         [](const fs::path& d) {
             // Held open for writing so the tool's open does not block.
             mkfifo((d / "fifo").c_str(), 0600);
             const int fd = open((d / "fifo").c_str(), O_RDWR);
             EXPECT_EQ(write(fd, "abc", 3), 3);
             return fd;
         },
         "runsquash could not find the size of fifo: Illegal seek\n",
         {"fifo", "in.nam"}},
        {{"in.nam", "in.nam"}, none, same + "in.nam" + same_tail, {"in.nam"}},
        {{"in.nam", "./in.nam"}, none, same + "./in.nam" + same_tail, {"in.nam"}},
        {{"in.nam", "@/in.nam"}, none, same + "@/in.nam" + same_tail, {"in.nam"}},
        {{"in.nam", "hard.nam"},
         link("hard.nam", true),
         same + "hard.nam" + same_tail,
         {"hard.nam", "in.nam"}},
        {{"in.nam", "soft.nam"},
         link("soft.nam", false),
         same + "soft.nam" + same_tail,
         {"in.nam", "soft.nam"}},
    };
    const Bytes in = name_table(960, 3);
    for (const Row& row : rows) {
        e2e::Scratch dir;
        const auto at = [&dir](std::string s) {
            const auto i = s.find('@');
            return i == std::string::npos ? s : s.replace(i, 1, dir.dir().string());
        };
        SCOPED_TRACE(row.args[0] + " " + row.args[1]);
        e2e::write_file(dir / "in.nam", in);
        const int fd = row.setup(dir.dir());
        const e2e::Result r =
            e2e::run(RUNSQUASH_BIN, {at(row.args[0]), at(row.args[1])}, dir.dir());
        if (fd >= 0) {
            close(fd);
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, at(row.err));
        EXPECT_EQ(dir.entries(), row.entries);
        EXPECT_EQ(e2e::read_file(dir / "in.nam"), in);
    }
}

TEST(Runsquash, AllocationFailureLeavesNoOutput) {
    e2e::Scratch dir;
    const unsigned long size = 1UL << 40;
    const int fd = open((dir / "huge.nam").c_str(), O_WRONLY | O_CREAT, 0600);
    const bool sparse = fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
    if (fd >= 0) {
        close(fd);
    }
    if (!sparse) {
        GTEST_SKIP() << "cannot make a 1 TiB sparse file here";
    }
    // Sanitizer builds would otherwise stop the tool at the failed allocation.
    const char* old = std::getenv("ASAN_OPTIONS");
    const std::string saved = old != nullptr ? old : "";
    setenv("ASAN_OPTIONS", (saved + ":allocator_may_return_null=1").c_str(), 1);
    const e2e::Result r = e2e::run(RUNSQUASH_BIN, {"huge.nam", "out.rlz"}, dir.dir());
    old != nullptr ? setenv("ASAN_OPTIONS", saved.c_str(), 1) : unsetenv("ASAN_OPTIONS");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "reading " + std::to_string(size) + " bytes\n");
    // Those builds still note the failed allocation on a line of their own.
    const std::regex sanitizer_note(
        "==[0-9]+==WARNING: AddressSanitizer failed to allocate [^\n]*\n");
    EXPECT_EQ(std::regex_replace(r.err, sanitizer_note, ""),
              "runsquash could not allocate " + std::to_string(size) + " bytes to hold the file");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"huge.nam"});
}

TEST(Runsquash, AnInputLongerThanItsSizeIsRefused) {
    // /proc/self/cmdline says it is empty and is not (valgrind would hide that).
    e2e::Scratch dir;
    const e2e::Result r = e2e::run(RUNSQUASH_BIN, {"/proc/self/cmdline", "out.rlz"}, dir.dir());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "reading 0 bytes\n");
    EXPECT_EQ(r.err,
              "runsquash could not read /proc/self/cmdline: file is longer than its reported "
              "size\n");
    EXPECT_TRUE(dir.entries().empty());
}

TEST(Runsquash, ReportsWriteFailure) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    // Small output fails only when it is flushed at close; large output fails
    // in the middle of the packets.
    for (const std::size_t size : {10UL, 300000UL}) {
        SCOPED_TRACE(size);
        e2e::Scratch dir;
        Bytes in(size);
        std::mt19937 rng(5);
        for (auto& b : in) {
            b = static_cast<std::uint8_t>(rng());
        }
        e2e::write_file(dir / "in.nam", in);
        const e2e::Result r = e2e::run(RUNSQUASH_BIN, {"in.nam", "/dev/full"}, dir.dir());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "reading " + std::to_string(size) + " bytes\n");
        EXPECT_EQ(r.err, "runsquash could not write /dev/full: No space left on device\n");
    }
    // Counts that cannot be printed fail the run, and the output is not put
    // in place, so that make runs the step again.
    e2e::Scratch dir;
    e2e::write_file(dir / "in.nam", e2e::hex("05 05 05 05"));
    const e2e::Result r = e2e::run(
        "/bin/sh", {"-c", "exec \"$0\" in.nam out.rlz >/dev/full", RUNSQUASH_BIN}, dir.dir());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "runsquash could not write the standard output: No space left on device\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.nam"});
}

} // namespace
