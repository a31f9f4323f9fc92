// File handling shared by every tool: inputs opened without ever blocking and
// measured only where a size can be trusted, and outputs that replace their
// destination whole, and only when everything was written.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fileio {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Why something failed: an errno value, or a reason of the suite's own.
struct Failure {
    int error = 0;
    const char* reason = nullptr; // set when no errno value says it
    std::string text() const;     // the reason, or strerror(error)
};

// Reasons of our own.
inline constexpr const char* not_regular = "not a regular file";
inline constexpr const char* ended_early = "file ended early";
inline constexpr const char* longer_than_size = "file is longer than its reported size";
inline constexpr const char* too_large = "file is too large";

// The longest name an output may have, in bytes.
inline constexpr std::size_t max_name = 1023;

// The name of a file beside `path`, with the extension of its last component
// (what follows its last dot) replaced by `extension`, or appended when it
// has none: art/title.bmp gives art/title.chr. The name keeps its bytes as
// they are. Empty when it would be longer than max_name, so that nothing is
// ever written under a name cut short.
std::string sibling_name(const char* path, const char* extension);

// Device and inode: the same file under any name, hard link or symbolic link.
bool same_file(const struct stat& a, const struct stat& b);

// A file opened for reading. Opening never blocks, even on a named pipe that
// has no writer.
class Input {
  public:
    // Nothing if the file cannot be opened; `why` says why.
    static std::optional<Input> open(const char* path, Failure& why);

    const struct stat& status() const { return status_; }
    std::FILE* stream() const { return file_.get(); }

    // The size of a regular file (or block device), from seeking to its end;
    // the stream is left at the start. Nothing for anything whose size
    // cannot be trusted: a directory (EISDIR), a pipe or socket (ESPIPE), a
    // character device (not_regular), or a seek that fails.
    std::optional<std::uint64_t> size(Failure& why);

    // Exactly n bytes, or false: a read error, or ended_early.
    bool read(void* dst, std::size_t n, Failure& why);

    // True if nothing follows what has been read; otherwise false with
    // longer_than_size (a size that was not to be trusted) or a read error.
    bool at_end(Failure& why);

  private:
    Input(FilePtr file, const struct stat& st) : file_(std::move(file)), status_(st) {}
    FilePtr file_;
    struct stat status_ {};
};

// The whole of a regular file of at most `limit` bytes; nothing, with the
// reason, for anything else. `opened`, if given, receives the file's identity.
std::optional<std::vector<std::uint8_t>> read_file(const char* path, std::uint64_t limit,
                                                   Failure& why, struct stat* opened = nullptr);

// A destination written whole or not at all. A regular file (or a name not
// yet taken) is written to a temporary file beside it, which replaces it only
// on commit(); the destination's permission bits are kept. A symbolic link is
// kept and its target replaced. Anything else (a device such as /dev/null, a
// pipe with a reader) is written directly. Without a commit, the temporary
// file is removed, also when the process is stopped by SIGINT, SIGTERM or
// SIGHUP.
class Output {
  public:
    Output() = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output();

    // Prepares to write `path`. The existing destination, if any, is opened
    // without being truncated, to learn what it is: a directory fails with
    // EISDIR, an unwritable file with EACCES, a missing folder with ENOENT.
    bool open(const char* path, Failure& why);

    // True if writing here would replace the file `st` describes.
    bool replaces(const struct stat& st) const;

    std::FILE* stream() const { return file_.get(); }

    // Flushes and closes the file, so that every write error has shown
    // itself; the destination is not touched yet. On failure the temporary
    // file is gone.
    bool finish(Failure& why);

    // Finishes if need be, then puts the file in place. On failure the
    // destination is as it was before.
    bool commit(Failure& why);

  private:
    void abandon();
    FilePtr file_;
    std::string target_;    // the name the file gets on commit
    std::string temporary_; // empty when writing directly
    std::optional<struct stat> existing_;
};

// Outputs replaced together or not at all. Every one is opened and checked
// against the inputs before anything is written, and every one is finished
// (so that a full disk has shown itself) before any is put in place. Only a
// rename failing between two commits, which nothing written can cause, would
// leave the earlier ones in place.
class OutputSet {
  public:
    // What stopped the set, and at which output.
    struct Refusal {
        enum class Step : std::uint8_t { open, replaces_input, write };
        Step step = Step::open;
        std::size_t output = 0; // its index among the paths given to open()
        std::size_t input = 0;  // replaces_input: the input's index
        Failure why;            // open, write: the reason
    };

    // Opens each of `paths` in turn, as Output::open does, then checks each
    // against each of `inputs`, in that order: none may replace one of them.
    // On failure nothing is left behind.
    bool open(std::span<const char* const> paths, std::span<const struct stat> inputs,
              Refusal& refusal);

    std::FILE* stream(std::size_t output) const { return outputs_[output]->stream(); }

    // Finishes every output, then commits every one, each step taking them in
    // `order` (the order they were named in when it is empty), which decides
    // the output a failure common to several is reported for. On failure none
    // not yet committed is left behind.
    bool commit(Refusal& refusal, std::span<const std::size_t> order = {});

  private:
    std::vector<std::unique_ptr<Output>> outputs_;
};

// An advisory lock on a directory, held while the object lives, so that two
// runs writing the same files there take turns. Taken as well as the file
// system allows: where it cannot lock, runs go on unlocked.
class DirectoryLock {
  public:
    explicit DirectoryLock(const char* dir);
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

  private:
    int fd_ = -1;
};

} // namespace fileio
