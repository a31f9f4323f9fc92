// tileshow's picture as an indexed PNG (indexed_png.hpp), with tileshow's
// words for a failure.
#pragma once

#include "render.hpp"

#include <cstdio>
#include <optional>
#include <string_view>

namespace tileshow {

// Writes the whole PNG to `out` and flushes it. Any libpng error or failed
// write is reported, naming the destination `name`; what reached `out` by
// then is to be thrown away (the caller writes through a file that replaces
// the destination only on success).
std::optional<Error> write_png(const Picture& picture, std::FILE* out, std::string_view name);

} // namespace tileshow
