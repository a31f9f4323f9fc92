// A paletted picture as an indexed PNG: its palette indices as they are, at
// the smallest bit depth that holds its palette (2 bits for four colours, 4
// for sixteen), so that tilecut and tilepal read back the same numbers.
// Shared by the tools that draw NES screens as pictures.
#pragma once

#include "nes_colours.hpp"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

namespace indexed_png {

// One palette index per pixel, rows top to bottom.
struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::span<const std::uint8_t> pixels;
    std::span<const nes::Rgb> palette;
};

// Writes the whole PNG to `out` and flushes it. On any libpng error or
// failed write, the reason (the system's or libpng's words); what reached
// `out` by then is to be thrown away (the caller writes through a file that
// replaces the destination only on success).
std::optional<std::string> write(const Picture& picture, std::FILE* out);

} // namespace indexed_png
