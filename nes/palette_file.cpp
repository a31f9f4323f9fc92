// Reading a palette file, kept apart from the colour science so that only
// this part needs the file helpers.
#include "fileio.hpp"
#include "nes_colours.hpp"

namespace nes {

std::optional<Table> load_table(std::string_view tool, const char* path, std::string& error,
                                struct stat* opened) {
    if (path == nullptr) {
        return builtin_table();
    }
    // Palette files are small; anything of a megabyte is none.
    fileio::Failure why;
    const auto bytes = fileio::read_file(path, 1 << 20, why, opened);
    if (!bytes) {
        error = cli::message(tool, path, "could not read it", why.text());
        return std::nullopt;
    }
    std::optional<Table> table = parse_palette_file(*bytes);
    if (!table) {
        error = palette_file_size_message(tool, path, bytes->size());
    }
    return table;
}

} // namespace nes
