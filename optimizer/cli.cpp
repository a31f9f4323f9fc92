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

constexpr const char* chr_name = "out.chr";
constexpr const char* nam_name = "out.nam";

// Large enough that the per-read cost vanishes, small enough that memory use
// does not depend on the input. A multiple of the tile size, so every chunk
// but the last holds whole tiles only.
constexpr std::size_t chunk_size = 64 * 1024;
static_assert(chunk_size % tile_size == 0);

int fail(std::FILE* err, const char* what, const char* path, const std::string& reason) {
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
        return fail(err, "could not open ", path, why.text());
    }
    const std::optional<std::uint64_t> size = in->size(why);
    if (!size) {
        return fail(err, "could not read ", path, why.text());
    }

    fileio::Output chr;
    fileio::Output nam;
    if (!chr.open(chr_name, why)) {
        return fail(err, "could not open ", chr_name, why.text());
    }
    if (!nam.open(nam_name, why)) {
        return fail(err, "could not open ", nam_name, why.text());
    }
    // Both outputs are written to new files, so an input that is one of them
    // would survive; but it would be replaced by its own folding.
    for (const auto& [output, name] : {std::pair{&chr, chr_name}, std::pair{&nam, nam_name}}) {
        if (output->replaces(in->status())) {
            std::fprintf(err, "tilefold will not read %s: it is the output file %s\n", path, name);
            return 1;
        }
    }

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
            return fail(err, "could not read ", path, why.text());
        }
        remaining -= want;
        nam_bytes.clear();
        chr_bytes.clear();
        folder.feed(std::span(buf.data(), want), nam_bytes, chr_bytes);
        if (!write_all(chr.stream(), chr_bytes)) {
            return fail(err, "could not write ", chr_name, errno_text());
        }
        if (!write_all(nam.stream(), nam_bytes)) {
            return fail(err, "could not write ", nam_name, errno_text());
        }
    }
    if (!in->read(buf.data(), static_cast<std::size_t>(*size % tile_size), why) ||
        !in->at_end(why)) {
        return fail(err, "could not read ", path, why.text());
    }
    in.reset();
    chr_bytes.clear();
    folder.pad(chr_bytes);
    if (!write_all(chr.stream(), chr_bytes)) {
        return fail(err, "could not write ", chr_name, errno_text());
    }
    // Both are complete before either replaces what was there, so the pair
    // on disk always comes from one run.
    if (!nam.finish(why)) {
        return fail(err, "could not write ", nam_name, why.text());
    }
    if (!chr.finish(why)) {
        return fail(err, "could not write ", chr_name, why.text());
    }
    if (!nam.commit(why)) {
        return fail(err, "could not write ", nam_name, why.text());
    }
    if (!chr.commit(why)) {
        return fail(err, "could not write ", chr_name, why.text());
    }

    // Only after both outputs are in place, so that the warning (which has
    // no line break) never runs into an error message.
    if (folder.unplaced() > 0) {
        std::fprintf(err, "warning: %llu tiles in %s\ndo not match the first 256 unique tiles",
                     static_cast<unsigned long long>(folder.unplaced()), path);
    }
    return 0;
}

} // namespace tilefold
