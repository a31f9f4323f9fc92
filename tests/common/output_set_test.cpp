// Outputs written as a set: what each failure leaves on disk, which output it
// is reported for, and the cleanup of many temporary files at once when a
// signal stops the run.
#include "e2e.hpp"
#include "fileio.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Step = fileio::OutputSet::Refusal::Step;

namespace {

class OutputSetTest : public testing::Test {
  protected:
    std::string path(const std::string& name) const { return (s_ / name).string(); }
    void write(const std::string& name, const std::string& text) const {
        e2e::write_file(s_ / name, e2e::Bytes(text.begin(), text.end()));
    }
    // Every entry with its bytes (a link: its target), so that a temporary
    // file left behind or an output touched shows.
    std::map<std::string, std::string> contents() const {
        std::map<std::string, std::string> all;
        for (const auto& entry : fs::directory_iterator(s_.dir())) {
            const std::string name = entry.path().filename().string();
            if (entry.is_symlink()) {
                all[name] = "-> " + fs::read_symlink(entry.path()).string();
            } else if (entry.is_regular_file()) {
                const e2e::Bytes bytes = e2e::read_file(entry.path());
                all[name].assign(bytes.begin(), bytes.end());
            } else {
                all[name] = "(folder)";
            }
        }
        return all;
    }
    struct stat identity(const std::string& name) const {
        struct stat st {};
        EXPECT_EQ(::stat(path(name).c_str(), &st), 0);
        return st;
    }

    e2e::Scratch s_;
};

TEST_F(OutputSetTest, AFailureAnywhereLeavesEveryOutputAsItWas) {
    write("a", "old a");
    write("b", "old b");
    write("in", "input");
    write("other", "another input");
    fs::create_directory(s_ / "folder");
    fs::create_symlink("in", s_ / "to-in");
    fs::create_symlink("/dev/full", s_ / "full");
    const std::vector<struct stat> inputs = {identity("other"), identity("in")};
    const struct {
        std::vector<std::string> names;
        std::vector<std::size_t> order;
        Step step;
        std::size_t output;
        std::size_t input;
        std::string why;
    } cases[] = {
        {{"a", "folder", "b"}, {}, Step::open, 1, 0, "Is a directory"},
        {{"a", "none/x"}, {}, Step::open, 1, 0, "No such file or directory"},
        {{"a", "b", "to-in"}, {}, Step::replaces_input, 2, 1, ""},
        {{"a", "full", "b"}, {}, Step::write, 1, 0, "No space left on device"},
        // A failure common to two is reported for the first in the order.
        {{"full", "b", "full"}, {}, Step::write, 0, 0, "No space left on device"},
        {{"full", "b", "full"}, {2, 1, 0}, Step::write, 2, 0, "No space left on device"},
    };
    const auto before = contents();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.names));
        std::vector<std::string> paths;
        for (const std::string& name : c.names) {
            paths.push_back(path(name));
        }
        std::vector<const char*> raw;
        for (const std::string& p : paths) {
            raw.push_back(p.c_str());
        }
        fileio::OutputSet set;
        fileio::OutputSet::Refusal refusal;
        bool done = set.open(raw, inputs, refusal);
        if (done) {
            for (std::size_t i = 0; i < raw.size(); ++i) {
                std::fputs("new", set.stream(i));
            }
            done = set.commit(refusal, c.order);
        }
        ASSERT_FALSE(done);
        EXPECT_EQ(refusal.step, c.step);
        EXPECT_EQ(refusal.output, c.output);
        EXPECT_EQ(refusal.step == Step::replaces_input ? refusal.input : 0, c.input);
        EXPECT_EQ(refusal.step == Step::replaces_input ? "" : refusal.why.text(), c.why);
        EXPECT_EQ(contents(), before);
    }
    // And when nothing fails, every one is replaced.
    const std::string a = path("a");
    const std::string c = path("c");
    const char* const both[] = {a.c_str(), c.c_str()};
    fileio::OutputSet set;
    fileio::OutputSet::Refusal refusal;
    ASSERT_TRUE(set.open(both, inputs, refusal));
    std::fputs("new a", set.stream(0));
    std::fputs("new c", set.stream(1));
    ASSERT_TRUE(set.commit(refusal)) << refusal.why.text();
    auto after = before;
    after["a"] = "new a";
    after["c"] = "new c";
    EXPECT_EQ(contents(), after);
}

// More outputs at once than any fixed table would hold: a signal removes the
// temporary files of every one. (That a signal the caller ignores stays
// ignored is safety_test's: it needs a process that starts ignoring it.)
TEST_F(OutputSetTest, ASignalRemovesTheTemporaryFileOfEveryOutput) {
    constexpr std::size_t kOutputs = 40;
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < kOutputs; ++i) {
            paths.push_back(path("out" + std::to_string(i)));
        }
        std::vector<const char*> raw;
        for (const std::string& p : paths) {
            raw.push_back(p.c_str());
        }
        fileio::OutputSet set;
        fileio::OutputSet::Refusal refusal;
        if (set.open(raw, {}, refusal) && contents().size() == kOutputs) {
            std::raise(SIGTERM);
        }
        ::_exit(2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(contents().empty()) << contents().size() << " files left";
}

} // namespace
