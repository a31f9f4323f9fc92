// How the console lays out a background, each size named with its unit. The
// picture tools, the renderer and the examples take their sizes from here, so
// that a cell, an area and a block mean the same everywhere.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nes {

// A tile: 8x8 pixels of colours 0-3 in two bit planes of 8 bytes.
inline constexpr std::uint32_t cell_side_px = 8;
inline constexpr std::size_t tile_bytes = 16;

// One sub-palette colours each 16x16 area; one attribute byte holds the
// sub-palettes of the four areas of a 32x32 block.
inline constexpr std::uint32_t area_side_px = 16;
inline constexpr std::uint32_t block_side_px = 32;
inline constexpr std::uint32_t area_side_cells = area_side_px / cell_side_px;
inline constexpr std::uint32_t block_side_cells = block_side_px / cell_side_px;

// A screen is 32x30 cells; its attribute table covers 8x8 blocks, the last
// row of blocks half off the screen.
inline constexpr std::uint32_t screen_width_cells = 32;
inline constexpr std::uint32_t screen_height_cells = 30;
inline constexpr std::size_t attribute_table_bytes = 64;

// The background palette at $3F00: the backdrop, then four sub-palettes of
// four entries whose first is the backdrop again.
inline constexpr std::size_t palette_bytes = 16;
inline constexpr std::size_t subpalette_count = 4;
inline constexpr std::size_t colours_per_subpalette = 4;

} // namespace nes
