#include "cli.hpp"

#include "encode.hpp"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <sys/mman.h>
#include <sys/stat.h>

namespace runsquash {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct BufferFree {
    void operator()(std::uint8_t* bytes) const noexcept { std::free(bytes); }
};
using BufferPtr = std::unique_ptr<std::uint8_t, BufferFree>;

// Touching a fresh buffer page by page costs one fault per 4 KiB page, which
// on some machines (virtual ones especially) costs several times more than
// copying the file itself. Large buffers therefore sit on whole, aligned
// 2 MiB pages that the kernel may back with huge pages; the allocation is
// rounded up to such pages, so it exceeds the input by less than one of them.
constexpr unsigned long kHugePage = 2UL * 1024 * 1024;

std::uint8_t* allocate_input(unsigned long size) {
    if (size < kHugePage) {
        return static_cast<std::uint8_t*>(std::malloc(size));
    }
    if (size > ~0UL - kHugePage) {
        return nullptr;
    }
    const unsigned long rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* bytes = nullptr;
    if (::posix_memalign(&bytes, kHugePage, rounded) != 0) {
        return nullptr;
    }
    // Only advice: where huge pages are not available, the buffer still works.
    ::madvise(bytes, rounded, MADV_HUGEPAGE);
    return static_cast<std::uint8_t*>(bytes);
}

// Seek-based, so a stream that cannot seek (a pipe) is refused rather than
// guessed at. Leaves the stream at its start. On failure errno says why.
std::optional<unsigned long> measure(std::FILE* in) {
    if (std::fseek(in, 0, SEEK_END) != 0) {
        return std::nullopt;
    }
    const long end = std::ftell(in);
    if (end < 0 || std::fseek(in, 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    return static_cast<unsigned long>(end);
}

// Hard links, symbolic links and different spellings of one path all name
// the same device and inode.
bool is_same_file(const struct stat& input, const char* output_path) {
    struct stat output {};
    return ::stat(output_path, &output) == 0 && output.st_dev == input.st_dev &&
           output.st_ino == input.st_ino;
}

int write_failed(std::FILE* err, const char* path, int error) {
    std::fprintf(err, "runsquash could not write %s: %s\n", path, std::strerror(error));
    return 1;
}

} // namespace

int run_command(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    if (argc < 3) {
        std::fputs("syntax: runsquash infile.nam outfile.rlz\n", err);
        return 1;
    }
    const char* const in_path = argv[1];
    const char* const out_path = argv[2];

    FilePtr input(std::fopen(in_path, "rb"));
    if (!input) {
        std::fprintf(err, "runsquash could not open %s for reading\n", in_path);
        return 1;
    }
    // Everything about the input is checked before the output is created, so
    // a refused run leaves no empty output behind and never truncates the
    // input through another name.
    struct stat in_stat {};
    if (::fstat(fileno(input.get()), &in_stat) != 0) {
        std::fprintf(err, "runsquash could not read %s: %s\n", in_path, std::strerror(errno));
        return 1;
    }
    if (S_ISDIR(in_stat.st_mode)) {
        std::fprintf(err, "runsquash could not read %s: %s\n", in_path, std::strerror(EISDIR));
        return 1;
    }
    const std::optional<unsigned long> measured = measure(input.get());
    if (!measured) {
        std::fprintf(err, "runsquash could not find the size of %s: %s\n", in_path,
                     std::strerror(errno));
        return 1;
    }
    // A character device such as /dev/zero seeks, but its "size" of 0 says
    // nothing about what reading it would give.
    if (!S_ISREG(in_stat.st_mode) && !S_ISBLK(in_stat.st_mode)) {
        std::fprintf(err, "runsquash could not find the size of %s: not a regular file\n", in_path);
        return 1;
    }
    const unsigned long size = *measured;
    if (is_same_file(in_stat, out_path)) {
        std::fprintf(err, "runsquash will not write %s: it is the same file as the input %s\n",
                     out_path, in_path);
        return 1;
    }

    FilePtr output(std::fopen(out_path, "wb"));
    if (!output) {
        std::fprintf(err, "runsquash could not open %s for writing\n", out_path);
        return 1;
    }
    // The encoder hands over 64 KiB blocks cut to the file's own 64 KiB
    // boundaries; the stream's small buffer would only split each in two.
    std::setvbuf(output.get(), nullptr, _IONBF, 0);
    std::fprintf(out, "reading %lu bytes\n", size);

    BufferPtr buffer;
    if (size > 0) {
        buffer.reset(allocate_input(size));
        if (!buffer) {
            std::fprintf(err, "runsquash could not allocate %lu bytes to hold the file", size);
            return 1;
        }
        if (std::fread(buffer.get(), 1, size, input.get()) != size) {
            const char* reason = std::ferror(input.get()) != 0
                                     ? std::strerror(errno)
                                     : "the file became shorter while it was read";
            std::fprintf(err, "runsquash could not read %s: %s\n", in_path, reason);
            return 1;
        }
    }
    input.reset();

    const std::array<std::uint8_t, 2> header{static_cast<std::uint8_t>((size >> 8) & 0xFF),
                                             static_cast<std::uint8_t>(size & 0xFF)};
    if (std::fwrite(header.data(), 1, header.size(), output.get()) != header.size()) {
        return write_failed(err, out_path, errno);
    }
    const EncodeResult packets =
        encode(std::span<const std::uint8_t>(buffer.get(), size), output.get());
    if (!packets.ok) {
        return write_failed(err, out_path, errno);
    }
    // Buffered data may only fail to reach the file here.
    if (std::fclose(output.release()) != 0) {
        return write_failed(err, out_path, errno);
    }
    std::fprintf(out, "compressed to %lu bytes.\n", packets.written);
    if (size > 0xFFFF) {
        std::fprintf(err,
                     "runsquash warning: %s is %lu bytes, but the length header holds only the "
                     "low 16 bits of the size (%lu)\n",
                     in_path, size, size & 0xFFFF);
    }
    if (std::fflush(out) != 0) {
        std::fprintf(err, "runsquash could not write the standard output: %s\n",
                     std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace runsquash
