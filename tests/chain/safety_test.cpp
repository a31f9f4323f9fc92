// What a failed, concurrent or starved run leaves behind: earlier outputs
// exactly as they were, never a partial file, never a mixed pair, and a
// refusal instead of an abort when memory runs out.
#include "e2e.hpp"
#include "image_files.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <chrono>
#include <filesystem>
#include <future>
#include <random>

namespace fs = std::filesystem;
using e2e::Bytes;

namespace {

// A 64 KiB file system of its own, so that a disk can be filled for real.
class SmallDisk {
  public:
    SmallDisk() : dir_(scratch_ / "disk") {
        fs::create_directory(dir_);
        mounted_ = ::geteuid() == 0 &&
                   ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=64k,mode=0777") == 0;
    }
    ~SmallDisk() {
        if (mounted_) {
            ::umount2(dir_.c_str(), MNT_DETACH);
        }
    }
    bool mounted() const { return mounted_; }
    const fs::path& dir() const { return dir_; }
    const e2e::Scratch& outside() const { return scratch_; }

  private:
    e2e::Scratch scratch_;
    fs::path dir_;
    bool mounted_ = false;
};

#define REQUIRE_SMALL_DISK(disk)                                                                   \
    if (!(disk).mounted()) {                                                                       \
        GTEST_SKIP() << "cannot mount a 64 KiB tmpfs here (it needs root)";                        \
    }

Bytes random_bytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) {
        b = static_cast<std::uint8_t>(rng());
    }
    return out;
}

// Waits up to 30 s for a run's hidden temporary file, named after its output.
bool temporary_file_appears(const fs::path& dir, const std::string& prefix) {
    for (int wait = 0; wait < 30000; ++wait) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().filename().string().starts_with(prefix)) {
                return true;
            }
        }
        ::usleep(1000);
    }
    return false;
}

struct Snapshot {
    std::vector<std::string> names;
    std::vector<Bytes> contents;
    std::vector<fs::file_time_type> times;
    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

// Every entry of a directory with its bytes and time: a temporary file left
// behind, or an output touched at all, shows.
Snapshot snapshot(const fs::path& dir) {
    Snapshot s;
    for (const auto& entry : fs::directory_iterator(dir)) {
        s.names.push_back(entry.path().filename().string());
    }
    std::sort(s.names.begin(), s.names.end());
    for (const auto& name : s.names) {
        s.contents.push_back(e2e::read_file(dir / name));
        s.times.push_back(fs::last_write_time(dir / name));
    }
    return s;
}

TEST(Safety, AFullDiskLeavesEveryEarlierOutputAsItWas) {
    SmallDisk disk;
    REQUIRE_SMALL_DISK(disk);
    const fs::path in = disk.outside() / "in";
    fs::create_directory(in);
    // 256 x 2560 pixels in a few bytes of run-length data: 160 KiB of tiles.
    Pixels px(256 * 2560);
    for (std::size_t i = 0; i < px.size(); ++i) {
        px[i] = static_cast<int>(i / 256 / 7 % 4);
    }
    e2e::write_file(disk.dir() / "big.bmp", bmp_file({40, 8, true, false}, 256, 2560, px));
    e2e::write_file(in / "tiles.chr", Bytes(16 * 70000, 0)); // a 70,000-byte name table
    e2e::write_file(in / "table.nam", random_bytes(100000, 1));
    for (const char* name : {"big.chr", "out.chr", "out.nam", "o.rlz"}) {
        e2e::write_file(disk.dir() / name, e2e::hex("0E A1 1E 12"));
    }
    struct Case {
        const char* tool;
        std::vector<std::string> args;
        std::string err;
        std::string out;
    };
    const Case cases[] = {
        {TILECUT_BIN, {"big.bmp"}, "could not write big.chr: No space left on device\n", ""},
        {TILEFOLD_BIN,
         {(in / "tiles.chr").string()},
         "tilefold could not write out.nam: No space left on device\n",
         ""},
        {RUNSQUASH_BIN,
         {(in / "table.nam").string(), "o.rlz"},
         "runsquash could not write o.rlz: No space left on device\n",
         "reading 100000 bytes\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool);
        const Snapshot before = snapshot(disk.dir());
        const auto r = e2e::run(c.tool, c.args, disk.dir());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, c.out);
        EXPECT_TRUE(snapshot(disk.dir()) == before) << "the disk's files changed";
    }
}

TEST(Safety, OutputsReplaceTheTargetOfALinkAndKeepItsMode) {
    e2e::Scratch s;
    fs::create_directory(s / "real");
    e2e::write_file(s / "real/o.rlz", Bytes(3, 1));
    fs::permissions(s / "real/o.rlz", fs::perms(0640));
    fs::create_symlink("real/o.rlz", s / "link.rlz");
    fs::create_symlink("real/new.rlz", s / "dangling.rlz");
    // A relative link counts from its own folder, not the current one.
    fs::create_symlink("again.rlz", s / "real/rel.rlz");
    e2e::write_file(s / "in.nam", e2e::hex("05 05 05 05"));
    for (const char* out : {"link.rlz", "dangling.rlz", "real/rel.rlz"}) {
        const auto r = e2e::run(RUNSQUASH_BIN, {"in.nam", out}, s.dir());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(fs::is_symlink(s / out)) << out;
    }
    EXPECT_EQ(e2e::to_hex(e2e::read_file(s / "real/o.rlz")), "00 04 FE 05 00 05");
    EXPECT_EQ(e2e::to_hex(e2e::read_file(s / "real/new.rlz")), "00 04 FE 05 00 05");
    EXPECT_EQ(e2e::to_hex(e2e::read_file(s / "real/again.rlz")), "00 04 FE 05 00 05");
    EXPECT_EQ(fs::status(s / "real/o.rlz").permissions(), fs::perms(0640));
    // A new file gets what the umask allows, as any newly created file would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(static_cast<mode_t>(fs::status(s / "real/new.rlz").permissions()), 0666 & ~mask);
    // Nothing else is left beside the targets, nor in the current folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(s / "real"), fs::directory_iterator()), 4);
    EXPECT_EQ(s.entries(),
              (std::vector<std::string>{"dangling.rlz", "in.nam", "link.rlz", "real"}));
}

TEST(Safety, TilefoldWaitsForTheFolderLockBeforeWriting) {
    // Two runs in one folder take turns, so the pair on disk is always one
    // run's: while another holds the folder's lock, a run writes nothing.
    // Held shared here, the lock still stops a run that takes it exclusively,
    // as a run must, and would not stop one that took it shared.
    e2e::Scratch s;
    e2e::write_file(s / "a.chr", random_bytes(16 * 100, 2));
    const int fd = ::open(s.dir().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_SH), 0);
    auto run =
        std::async(std::launch::async, [&] { return e2e::run(TILEFOLD_BIN, {"a.chr"}, s.dir()); });
    EXPECT_EQ(run.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    EXPECT_EQ(s.entries(), std::vector<std::string>{"a.chr"});
    ::close(fd);
    const auto r = run.get();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(s.entries(), (std::vector<std::string>{"a.chr", "out.chr", "out.nam"}));
}

TEST(Safety, ARunStoppedByASignalLeavesNoTemporaryFile) {
    // 64 GiB of zero tiles, sparse: minutes of folding, during which the
    // run's temporary files sit beside out.chr and out.nam.
    e2e::Scratch s;
    const fs::path big = s / "big.chr";
    e2e::write_file(s / "out.chr", e2e::hex("0E A1 1E 12"));
    e2e::write_file(big, {});
    std::error_code ec;
    fs::resize_file(big, std::uintmax_t{64} << 30, ec);
    if (ec) {
        GTEST_SKIP() << "no sparse file of 64 GiB here";
    }
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::chdir(s.dir().c_str()) == 0) {
            ::execl(TILEFOLD_BIN, TILEFOLD_BIN, "big.chr", static_cast<char*>(nullptr));
        }
        ::_exit(127);
    }
    EXPECT_TRUE(temporary_file_appears(s.dir(), ".out.nam.")) << "the run never started writing";
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(s.entries(), (std::vector<std::string>{"big.chr", "out.chr"}));
    EXPECT_EQ(e2e::to_hex(e2e::read_file(s / "out.chr")), "0E A1 1E 12");
}

// nohup runs a tool with SIGHUP ignored, a shell runs a background job with
// SIGINT ignored: a run keeps them ignored, and its cleanup never takes them
// over. runsquash holds its temporary file while it waits to report on a full
// pipe, which is when the signals come.
TEST(Safety, SignalsTheCallerIgnoresStayIgnored) {
    e2e::Scratch s;
    e2e::write_file(s / "in.nam", e2e::hex("05 05 05 05"));
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    // Full before the run starts, so that its report waits for the reading.
    ::fcntl(report[1], F_SETFL, O_NONBLOCK);
    const std::vector<char> filler(4096, 'x');
    std::size_t filled = 0;
    for (ssize_t n; (n = ::write(report[1], filler.data(), filler.size())) > 0;) {
        filled += static_cast<std::size_t>(n);
    }
    ::fcntl(report[1], F_SETFL, 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGHUP, SIG_IGN);
        std::signal(SIGINT, SIG_IGN);
        if (::dup2(report[1], STDOUT_FILENO) >= 0 && ::chdir(s.dir().c_str()) == 0) {
            ::execl(RUNSQUASH_BIN, RUNSQUASH_BIN, "in.nam", "o.rlz", static_cast<char*>(nullptr));
        }
        ::_exit(127);
    }
    ::close(report[1]);
    EXPECT_TRUE(temporary_file_appears(s.dir(), ".o.rlz.")) << "the run never started writing";
    ::kill(pid, SIGHUP);
    ::kill(pid, SIGINT);
    ::usleep(100000);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the run stopped: " << status;
    std::string said;
    char buffer[4096];
    for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;) {
        said.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(report[0]);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(said.substr(std::min(filled, said.size())),
              "reading 4 bytes\ncompressed to 4 bytes.\n");
    EXPECT_EQ(e2e::to_hex(e2e::read_file(s / "o.rlz")), "00 04 FE 05 00 05");
    EXPECT_EQ(s.entries(), (std::vector<std::string>{"in.nam", "o.rlz"}));
}

// An output name as long as the system allows (255 bytes) is written, though
// the hidden temporary file beside it cannot carry the whole name.
TEST(Safety, AnOutputNameOfTheLongestLegalLengthIsWritten) {
    const std::string stem(251, 'n'); // and a dot and three letters: 255 bytes
    e2e::Scratch s;
    e2e::write_file(s / (stem + ".bmp"), bmp_file(BmpKind{}, 16, 16, random_pixels(16, 16, 4, 7)));
    e2e::write_file(s / "t.chr", random_bytes(64, 8));
    e2e::write_file(s / "in.nam", random_bytes(100, 9));
    const struct {
        const char* tool;
        std::vector<std::string> args;
        std::vector<std::string> outputs;
    } cases[] = {
        {TILECUT_BIN, {stem + ".bmp"}, {stem + ".chr"}},
        {TILEPAL_BIN, {stem + ".bmp"}, {stem + ".atr", stem + ".pal"}},
        {TILESHOW_BIN, {"t.chr", "-o", stem + ".png"}, {stem + ".png"}},
        {RUNSQUASH_BIN, {"in.nam", stem + ".rlz"}, {stem + ".rlz"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool);
        std::vector<std::string> before = s.entries();
        const auto r = e2e::run(c.tool, c.args, s.dir());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        before.insert(before.end(), c.outputs.begin(), c.outputs.end());
        std::sort(before.begin(), before.end());
        EXPECT_EQ(s.entries(), before) << "an output missing, or a temporary file left";
    }
}

TEST(Safety, RunningOutOfMemoryIsALoadFailureNotAnAbort) {
#ifdef SANITIZED_BUILD
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#else
    // A valid 16384 x 16384 picture in a few hundred kilobytes needs 256 MiB
    // decoded (or drawn); with 128 MiB of address space that cannot be had.
    e2e::Scratch s;
    Bytes huge = cut(bmp_file({40, 8, true, false}, 1, 1, {0}), 14 + 40 + 1024);
    huge[18] = huge[22] = 0;
    huge[19] = huge[23] = 0x40; // 16384 x 16384
    for (int row = 0; row < 16384; ++row) {
        for (int run = 0; run < 64; ++run) {
            huge.insert(huge.end(), {0xFF, 0x00}); // 255 pixels of index 0
        }
        huge.insert(huge.end(), {0x40, 0x00, 0x00, 0x00}); // 64 more, end of row
    }
    huge.insert(huge.end(), {0x00, 0x01});
    e2e::write_file(s / "huge.bmp", huge);
    // 64 MiB of tiles drawn 2048 across: a 16384 x 16384 picture as well.
    e2e::write_file(s / "huge.chr", {});
    fs::resize_file(s / "huge.chr", std::uintmax_t{64} << 20);
    const struct {
        const char* tool;
        const char* args;
        const char* err;
    } cases[] = {
        {TILECUT_BIN, "huge.bmp", "could not load bitmap huge.bmp\n"},
        {TILEPAL_BIN, "huge.bmp", "tilepal: huge.bmp: could not load the picture: out of memory\n"},
        {TILESHOW_BIN, "-w 2048 huge.chr -o huge.png",
         "tileshow: not enough memory for a 16384x16384 picture\n"},
    };
    for (const auto& c : cases) {
        const auto r = e2e::run(
            "/bin/sh", {"-c", std::string("ulimit -v 131072 && exec \"$0\" ") + c.args, c.tool},
            s.dir());
        EXPECT_EQ(r.status, 1) << c.tool;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(s.entries(), (std::vector<std::string>{"huge.bmp", "huge.chr"}));
    }
#endif
}

} // namespace
