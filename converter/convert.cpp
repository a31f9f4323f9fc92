#include "convert.hpp"

#include "allegro_handles.hpp"
#include "dither.hpp"
#include "intake.hpp"
#include "tiles.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

std::string output_name(const char* path) {
    // The library's replace_extension rule, worked out here because the
    // library gets two cases wrong: it quietly cuts the name at its own
    // internal limit, whatever buffer it is given, and it reads the path as
    // UTF-8, writing '^' for any other byte. Either would put the tiles in a
    // file nobody asked for. The extension is what follows the last dot of
    // the last path component.
    const std::string full(path);
    const std::size_t slash = full.rfind('/');
    const std::size_t dot = full.rfind('.');
    const bool has_dot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    std::string name = has_dot ? full.substr(0, dot + 1) + "chr" : full + ".chr";
    if (name.size() >= static_cast<std::size_t>(kOutputNameSize)) {
        return {};
    }
    return name;
}

namespace {

void report_write_failure(const std::string& name, int error) {
    std::fprintf(stderr, "could not write %s: %s\n", name.c_str(), std::strerror(error));
}

} // namespace

int convert(const char* path, bool dither_first) {
    BitmapPtr bmp = load_image(path);
    const std::string name = output_name(path);
    if (!bmp) {
        std::fprintf(stderr, "could not load bitmap %s\n", path);
        return 1;
    }
    const int padded_h = padded_size(bmp->h);

    FilePtr out(name.empty() ? nullptr : std::fopen(name.c_str(), "wb"));
    if (!out) {
        std::fputs("could not open destination file\n", stderr);
        return 1;
    }
    if (dither_first) {
        dither(bmp.get());
    }

    // One row of tiles at a time keeps memory to the picture plus one row.
    std::vector<std::uint8_t> row;
    for (int ty = 0; ty < padded_h; ty += 8) {
        row.clear();
        encode_tile_row(bmp.get(), ty, row);
        if (std::fwrite(row.data(), 1, row.size(), out.get()) != row.size()) {
            report_write_failure(name, errno);
            return 1;
        }
    }
    // A full disk often shows itself only when the buffer is flushed.
    if (std::fclose(out.release()) != 0) {
        report_write_failure(name, errno);
        return 1;
    }
    return 0;
}
