#include "cli.hpp"

#include "fileio.hpp"
#include "fold.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace tilefold {

namespace {

// The outputs, always these two in the current folder.
constexpr std::size_t kChr = 0;
constexpr std::size_t kNam = 1;
constexpr const char* kOutputNames[] = {"out.chr", "out.nam"};
// Both are complete before either replaces what was there, so the pair on
// disk always comes from one run; out.nam goes first, and a full disk is
// reported for it.
constexpr std::size_t kCommitOrder[] = {kNam, kChr};

// Large enough that the per-read cost vanishes, small enough that memory use
// does not depend on the input. A multiple of the tile size, so every chunk
// but the last holds whole tiles only.
constexpr std::size_t chunk_size = 64 * 1024;
static_assert(chunk_size % tile_size == 0);

// Says what could not be done, and gives the exit status of a failed run.
int report_error(std::FILE* err, const char* what, const char* path, const std::string& reason) {
    std::fprintf(err, "tilefold %s%s: %s\n", what, path, reason.c_str());
    return 1;
}

bool write_all(std::FILE* f, const std::vector<std::uint8_t>& bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

std::string errno_text() {
    return std::strerror(errno);
}

} // namespace

int run(int argc, const char* const* argv, std::FILE*, std::FILE* err) {
    if (argc != 2) {
        std::fputs("syntax: tilefold foo.chr\n", err);
        return 1;
    }
    const char* path = argv[1];
    // Two runs in one folder would otherwise end with out.chr from one and
    // out.nam from the other: they take turns.
    const fileio::DirectoryLock lock(".");

    fileio::Failure why;
    std::optional<fileio::Input> in = fileio::Input::open(path, why);
    if (!in) {
        return report_error(err, "could not open ", path, why.text());
    }
    const std::optional<std::uint64_t> size = in->size(why);
    if (!size) {
        return report_error(err, "could not read ", path, why.text());
    }

    fileio::OutputSet outputs;
    fileio::OutputSet::Refusal refusal;
    if (!outputs.open(kOutputNames, std::span(&in->status(), 1), refusal)) {
        const char* name = kOutputNames[refusal.output];
        if (refusal.step == fileio::OutputSet::Refusal::Step::replaces_input) {
            std::fprintf(err, "tilefold will not read %s: it is the output file %s\n", path, name);
            return 1;
        }
        return report_error(err, "could not open ", name, refusal.why.text());
    }
    std::FILE* const chr = outputs.stream(kChr);
    std::FILE* const nam = outputs.stream(kNam);

    // Trailing bytes short of a whole tile are read, but only to make sure
    // that the file is as long as it said.
    std::uint64_t remaining = *size - *size % tile_size;
    TileFolder folder;
    // No bigger than the input: fresh pages are not free, and a typical
    // screen is a fraction of a chunk.
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max<std::uint64_t>(remaining, tile_size), chunk_size)));
    std::vector<std::uint8_t> nam_bytes;
    std::vector<std::uint8_t> chr_bytes;
    nam_bytes.reserve(chunk_size / tile_size);
    chr_bytes.reserve(set_size);

    while (remaining > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, chunk_size));
        if (!in->read(buf.data(), want, why)) {
            return report_error(err, "could not read ", path, why.text());
        }
        remaining -= want;
        nam_bytes.clear();
        chr_bytes.clear();
        folder.feed(std::span(buf.data(), want), nam_bytes, chr_bytes);
        if (!write_all(chr, chr_bytes)) {
            return report_error(err, "could not write ", kOutputNames[kChr], errno_text());
        }
        if (!write_all(nam, nam_bytes)) {
            return report_error(err, "could not write ", kOutputNames[kNam], errno_text());
        }
    }
    if (!in->read(buf.data(), static_cast<std::size_t>(*size % tile_size), why) ||
        !in->at_end(why)) {
        return report_error(err, "could not read ", path, why.text());
    }
    in.reset();
    chr_bytes.clear();
    folder.pad(chr_bytes);
    if (!write_all(chr, chr_bytes)) {
        return report_error(err, "could not write ", kOutputNames[kChr], errno_text());
    }
    if (!outputs.commit(refusal, kCommitOrder)) {
        return report_error(err, "could not write ", kOutputNames[refusal.output],
                            refusal.why.text());
    }

    // Only after both outputs are in place, so that the warning (which has
    // no line break) never runs into an error message.
    if (folder.unplaced() > 0) {
        std::fputs(unplaced_warning(folder.unplaced(), path).c_str(), err);
    }
    return 0;
}

} // namespace tilefold
