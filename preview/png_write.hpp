// The picture as an indexed PNG: its palette indices as they are, at the
// smallest bit depth that holds its palette (2 bits for the grays, 4 for NES
// colours), so tilecut and the palette tool read back the same numbers.
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
