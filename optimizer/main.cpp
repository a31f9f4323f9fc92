// tilefold: folds a CHR file into out.chr (256 tiles) and out.nam (one slot
// number per input tile) in the current directory.
#include "fold.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr const char* chr_name = "out.chr";
constexpr const char* nam_name = "out.nam";

// Large enough that the per-read cost vanishes, small enough that memory use
// does not depend on the input. A multiple of the tile size, so every chunk
// but the last holds whole tiles only.
constexpr std::size_t chunk_size = 64 * 1024;
static_assert(chunk_size % tilefold::tile_size == 0);

// "tilefold <what>" followed by what perror would print for `path`.
void report(const char* what, const char* path, int err) {
    std::fprintf(stderr, "tilefold %s%s: %s\n", what, path, std::strerror(err));
}

bool write_all(std::FILE* f, const std::vector<std::uint8_t>& bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

// Buffered data reaches the file only here, so a full disk may first show
// up at this point.
bool close_output(File& f) {
    return std::fclose(f.release()) == 0;
}

// Takes the input's size; only a regular, seekable file has one we can trust.
bool measure(std::FILE* in, const struct stat& st, std::uint64_t& size) {
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (std::fseek(in, 0, SEEK_END) != 0) {
        return false;
    }
    const long end = std::ftell(in);
    if (end < 0 || std::fseek(in, 0, SEEK_SET) != 0) {
        return false;
    }
    size = static_cast<std::uint64_t>(end);
    return true;
}

// Creating the outputs truncates them, so an input that is one of them
// (under any name, hard link or symlink) would be emptied before it is read.
const char* output_that_is(const struct stat& input) {
    for (const char* name : {chr_name, nam_name}) {
        struct stat st {};
        if (::stat(name, &st) == 0 && st.st_dev == input.st_dev && st.st_ino == input.st_ino) {
            return name;
        }
    }
    return nullptr;
}

int run(const char* path) {
    File in(std::fopen(path, "rb"));
    if (!in) {
        report("could not open ", path, errno);
        return 1;
    }
    struct stat in_st {};
    std::uint64_t size = 0;
    if (::fstat(fileno(in.get()), &in_st) != 0 || !measure(in.get(), in_st, size)) {
        report("could not read ", path, errno);
        return 1;
    }
    // A character device such as /dev/zero seeks, but its "size" of 0 says
    // nothing about what reading it would give.
    if (!S_ISREG(in_st.st_mode) && !S_ISBLK(in_st.st_mode)) {
        std::fprintf(stderr, "tilefold could not read %s: not a regular file\n", path);
        return 1;
    }
    if (const char* clash = output_that_is(in_st)) {
        std::fprintf(stderr, "tilefold will not read %s: it is the output file %s\n", path, clash);
        return 1;
    }

    File chr(std::fopen(chr_name, "wb"));
    if (!chr) {
        report("could not open ", chr_name, errno);
        return 1;
    }
    File nam(std::fopen(nam_name, "wb"));
    if (!nam) {
        report("could not open ", nam_name, errno);
        return 1;
    }

    // Trailing bytes short of a whole tile are never read.
    std::uint64_t remaining = size - size % tilefold::tile_size;
    tilefold::TileFolder folder;
    // No bigger than the input: fresh pages are not free, and a typical
    // screen is a fraction of a chunk.
    std::vector<std::uint8_t> buf(
        static_cast<std::size_t>(std::min<std::uint64_t>(remaining, chunk_size)));
    std::vector<std::uint8_t> nam_bytes;
    std::vector<std::uint8_t> chr_bytes;
    nam_bytes.reserve(chunk_size / tilefold::tile_size);
    chr_bytes.reserve(tilefold::set_size);

    while (remaining > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, chunk_size));
        if (std::fread(buf.data(), 1, want, in.get()) != want) {
            if (std::ferror(in.get()) != 0) {
                report("could not read ", path, errno);
            } else {
                std::fprintf(stderr, "tilefold could not read %s: file ended early\n", path);
            }
            return 1;
        }
        remaining -= want;
        nam_bytes.clear();
        chr_bytes.clear();
        folder.feed(std::span(buf.data(), want), nam_bytes, chr_bytes);
        if (!write_all(chr.get(), chr_bytes)) {
            report("could not write ", chr_name, errno);
            return 1;
        }
        if (!write_all(nam.get(), nam_bytes)) {
            report("could not write ", nam_name, errno);
            return 1;
        }
    }
    in.reset();
    if (!close_output(nam)) {
        report("could not write ", nam_name, errno);
        return 1;
    }
    chr_bytes.clear();
    folder.pad(chr_bytes);
    if (!write_all(chr.get(), chr_bytes) || !close_output(chr)) {
        report("could not write ", chr_name, errno);
        return 1;
    }

    // Only after both outputs are known to be complete, so that the warning
    // (which has no line break) never runs into an error message.
    if (folder.unplaced() > 0) {
        std::fprintf(stderr, "warning: %llu tiles in %s\ndo not match the first 256 unique tiles",
                     static_cast<unsigned long long>(folder.unplaced()), path);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("syntax: tilefold foo.chr\n", stderr);
        return 1;
    }
    return run(argv[1]);
}
