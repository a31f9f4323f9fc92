#include "cli.hpp"

#include "encode.hpp"
#include "fileio.hpp"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <sys/mman.h>

namespace runsquash {

namespace {

struct BufferFree {
    void operator()(std::uint8_t* bytes) const noexcept { std::free(bytes); }
};
using BufferPtr = std::unique_ptr<std::uint8_t, BufferFree>;

// Touching a fresh buffer page by page costs one fault per 4 KiB page, which
// on some machines (virtual ones especially) costs several times more than
// copying the file itself. Large buffers therefore sit on whole, aligned
// 2 MiB pages that the kernel may back with huge pages; the allocation is
// rounded up to such pages, so it exceeds the input by less than one of them.
constexpr std::uint64_t kHugePage = 2U * 1024 * 1024;

std::uint8_t* allocate_input(std::uint64_t size) {
    if (size > SIZE_MAX - kHugePage) {
        return nullptr;
    }
    if (size < kHugePage) {
        return static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(size)));
    }
    const auto rounded = static_cast<std::size_t>((size + kHugePage - 1) / kHugePage * kHugePage);
    void* bytes = nullptr;
    if (::posix_memalign(&bytes, kHugePage, rounded) != 0) {
        return nullptr;
    }
    // Only advice: where huge pages are not available, the buffer still works.
    ::madvise(bytes, rounded, MADV_HUGEPAGE);
    return static_cast<std::uint8_t*>(bytes);
}

// Says the output could not be written, and gives the exit status of a
// failed run.
int report_write_error(std::FILE* err, const char* path, const std::string& reason) {
    std::fprintf(err, "runsquash could not write %s: %s\n", path, reason.c_str());
    return 1;
}

} // namespace

int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    if (argc < 3) {
        std::fputs("syntax: runsquash infile.nam outfile.rlz\n", err);
        return 1;
    }
    const char* in_path = argv[1];
    const char* out_path = argv[2];

    fileio::Failure why;
    std::optional<fileio::Input> input = fileio::Input::open(in_path, why);
    if (!input) {
        std::fprintf(err, "runsquash could not open %s for reading\n", in_path);
        return 1;
    }
    // Everything about the input is checked before the output is prepared.
    const std::optional<std::uint64_t> measured = input->size(why);
    if (!measured) {
        std::fprintf(err, "runsquash could not %s %s: %s\n",
                     why.error == EISDIR ? "read" : "find the size of", in_path,
                     why.text().c_str());
        return 1;
    }
    const std::uint64_t size = *measured;

    fileio::Output output;
    if (!output.open(out_path, why)) {
        std::fprintf(err, "runsquash could not open %s for writing\n", out_path);
        return 1;
    }
    // Hard links, symbolic links and different spellings of one path all
    // name the same device and inode.
    if (output.replaces(input->status())) {
        std::fprintf(err, "runsquash will not write %s: it is the same file as the input %s\n",
                     out_path, in_path);
        return 1;
    }
    // The encoder hands over 64 KiB blocks cut to the file's own 64 KiB
    // boundaries; the stream's small buffer would only split each in two.
    std::setvbuf(output.stream(), nullptr, _IONBF, 0);
    std::fprintf(out, "reading %llu bytes\n", static_cast<unsigned long long>(size));

    BufferPtr buffer;
    if (size > 0) {
        buffer.reset(allocate_input(size));
        if (!buffer) {
            std::fprintf(err, "runsquash could not allocate %llu bytes to hold the file",
                         static_cast<unsigned long long>(size));
            return 1;
        }
    }
    if (!input->read(buffer.get(), static_cast<std::size_t>(size), why) || !input->at_end(why)) {
        std::fprintf(err, "runsquash could not read %s: %s\n", in_path, why.text().c_str());
        return 1;
    }
    input.reset();

    const std::array<std::uint8_t, 2> header{static_cast<std::uint8_t>((size >> 8) & 0xFF),
                                             static_cast<std::uint8_t>(size & 0xFF)};
    if (std::fwrite(header.data(), 1, header.size(), output.stream()) != header.size()) {
        return report_write_error(err, out_path, std::strerror(errno));
    }
    const EncodeResult packets =
        encode(std::span<const std::uint8_t>(buffer.get(), static_cast<std::size_t>(size)),
               output.stream());
    if (!packets.ok) {
        return report_write_error(err, out_path, std::strerror(errno));
    }
    if (!output.finish(why)) {
        return report_write_error(err, out_path, why.text());
    }
    std::fprintf(out, "compressed to %lu bytes.\n", packets.written);
    if (size > 0xFFFF) {
        std::fprintf(err,
                     "runsquash warning: %s is %llu bytes, but the length header holds only the "
                     "low 16 bits of the size (%llu)\n",
                     in_path, static_cast<unsigned long long>(size),
                     static_cast<unsigned long long>(size & 0xFFFF));
    }
    // A report that could not be given is a failed run, so the output is put
    // in place only after it: make then runs the step again.
    if (std::fflush(out) != 0) {
        std::fprintf(err, "runsquash could not write the standard output: %s\n",
                     std::strerror(errno));
        return 1;
    }
    if (!output.commit(why)) {
        return report_write_error(err, out_path, why.text());
    }
    return 0;
}

} // namespace runsquash
