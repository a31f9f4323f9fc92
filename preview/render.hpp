// The picture tileshow draws: CHR tiles laid out by a name table (or as a
// sheet), coloured through a palette and an attribute table. Its pixels are
// the colour numbers a paletted screen needs (4p + c, and 0 wherever c is 0,
// since every palette's colour 0 shows the backdrop), so the picture can go
// straight back into tilecut and the palette tool. Plain data in and out; the
// command line reads and writes the files.
#pragma once

#include "intake.hpp"
#include "nes_colours.hpp"
#include "nes_geometry.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tileshow {

using nes::tile_bytes;
inline constexpr std::uint32_t tile_side = nes::cell_side_px;
inline constexpr std::uint32_t screen_width = nes::screen_width_cells; // with a name table
inline constexpr std::uint32_t sheet_width = 16;                       // tiles across without one
// Neither side may exceed what tilecut reads back.
inline constexpr std::uint32_t max_side = intake::max_side;
inline constexpr std::uint32_t max_width = max_side / tile_side; // in tiles
using nes::palette_bytes;

using Rgb = nes::Rgb;

// sRGB for each NES colour number $00-$3F.
using NesColours = nes::Table;

// With an attribute table but no palette file, each palette gets a hue of its
// own (grays, reds, greens, blues; dark to light for colours 1-3) over a black
// backdrop, so the areas' choices can be seen.
inline constexpr std::array<std::uint8_t, palette_bytes> attribute_palette = {
    0x0F, 0x00, 0x10, 0x30, 0x0F, 0x06, 0x16, 0x26, 0x0F, 0x0A, 0x1A, 0x2A, 0x0F, 0x02, 0x12, 0x22};

// A file's bytes and the name that messages call it by.
struct Source {
    std::string_view name;
    std::span<const std::uint8_t> bytes;
};

struct Request {
    Source chr{};
    std::optional<Source> nam{};
    std::optional<std::uint32_t> width{}; // in tiles (-w); else screen_width or sheet_width
    std::optional<Source> pal{};
    std::optional<Source> atr{};
};

// One palette index per pixel, rows top to bottom.
struct Picture {
    std::uint32_t width = 0; // pixels
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;
    std::vector<Rgb> palette; // 4 entries (grays) or 16 (NES colours)
};

enum class Problem : std::uint8_t {
    width_not_a_number,
    zero_width,
    too_wide,
    too_high,
    no_whole_tile,
    empty_name_table,
    tile_past_end,
    palette_size,
    palette_byte,
    attributes_short,
    no_memory,
    write_failed,
};

struct Error {
    Problem problem;
    std::string message; // one line: "tileshow: ...\n"
};

// -w's argument: decimal digits naming 1 to max_width tiles.
std::variant<std::uint32_t, Error> parse_width(std::string_view text);

// Checks every input against the others, then draws. Only whole tiles of the
// CHR file count; a name table can reach its first 256.
std::variant<Picture, Error> render(const Request& request, const NesColours& colours);

} // namespace tileshow
