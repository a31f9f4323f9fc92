#include "convert.hpp"

#include "dither.hpp"
#include "fileio.hpp"
#include "tiles.hpp"

#include <vector>

namespace tilecut {

std::string output_name(const char* path) {
    // The image library's replace_extension rule, worked out in the shared
    // helper because the library gets two cases wrong: it quietly cuts the
    // name at its own internal limit, whatever buffer it is given, and it
    // reads the path as UTF-8, writing '^' for any other byte. Either would
    // put the tiles in a file nobody asked for.
    return fileio::sibling_name(path, "chr");
}

bool convert(intake::Image& image, bool dither_first, const TileSink& sink) {
    if (dither_first) {
        dither(image);
    }
    // One row of tiles at a time keeps memory to the picture plus one row.
    std::vector<std::uint8_t> row;
    for (std::uint32_t ty = 0; ty < padded_size(image.height()); ty += 8) {
        row.clear();
        encode_tile_row(image, ty, row);
        if (!sink(row)) {
            return false;
        }
    }
    return true;
}

} // namespace tilecut
