#include "png_write.hpp"

#include "indexed_png.hpp"

#include <string>

namespace tileshow {

std::optional<Error> write_png(const Picture& picture, std::FILE* out, std::string_view name) {
    const std::optional<std::string> reason =
        indexed_png::write({picture.width, picture.height, picture.pixels, picture.palette}, out);
    if (!reason) {
        return std::nullopt;
    }
    return Error{Problem::write_failed,
                 "tileshow: " + std::string(name) + ": could not write it: " + *reason + "\n"};
}

} // namespace tileshow
