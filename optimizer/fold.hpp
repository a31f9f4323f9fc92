// Folding a CHR tile stream into a set of at most 256 distinct tiles plus a
// name table. Works on byte buffers only; the caller owns all file handling.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tilefold {

inline constexpr std::size_t tile_size = 16;
inline constexpr std::size_t slot_count = 256;
inline constexpr std::size_t set_size = tile_size * slot_count;

using Tile = std::array<std::uint8_t, tile_size>;

// Pads the tile set up to 256 slots.
inline constexpr Tile filler_tile = {0x44, 0xEE, 0x00, 0x00, 0x00, 0xEE, 0x44, 0x00,
                                     0x00, 0x00, 0x7C, 0x38, 0x7C, 0xEE, 0x44, 0x00};

struct Placement {
    std::uint8_t name = 0; // the name-table byte for the tile
    bool newly_stored = false;
};

// Where a tile's search in the index starts.
using TileHash = std::size_t (*)(std::span<const std::uint8_t, tile_size> tile);

// Holds the stored tiles and places input tiles one at a time, so a caller
// can stream an input of any length through a fixed amount of memory.
class TileFolder {
  public:
    // Another hash than the usual one only serves to test collisions.
    explicit TileFolder(TileHash hash = nullptr) : hash_(hash) {}

    // Gives the slot of an identical stored tile, storing the tile first if
    // it is new and a slot is free. A tile that finds no slot gets name 0
    // and is counted as unplaced every time it occurs.
    Placement place(std::span<const std::uint8_t, tile_size> tile);

    // Places every whole tile in `bytes` (a trailing partial tile is
    // ignored), appending one name byte per tile to `nam` and the bytes of
    // each newly stored tile to `chr`.
    void feed(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& nam,
              std::vector<std::uint8_t>& chr);

    // Appends the filler tiles that bring the stored set up to 256 tiles.
    void pad(std::vector<std::uint8_t>& chr) const;

    std::size_t stored() const { return stored_; }
    std::uint64_t unplaced() const { return unplaced_; }

  private:
    // Open-addressed index over the stored tiles, at most one sixteenth
    // full: most tiles that match nothing (the common case once the set is
    // full) then meet an empty entry at once, with no comparison and no
    // hard-to-predict probe loop. 8 KiB, so it stays in the first-level
    // cache. An entry is slot + 1, and 0 marks an empty entry.
    static constexpr std::size_t index_size = 16 * slot_count;

    std::size_t probe_start(std::span<const std::uint8_t, tile_size> tile) const;

    TileHash hash_;
    std::array<Tile, slot_count> slots_{};
    std::array<std::uint16_t, index_size> index_{};
    std::size_t stored_ = 0;
    std::uint64_t unplaced_ = 0;
};

struct Folded {
    std::vector<std::uint8_t> chr; // always set_size bytes
    std::vector<std::uint8_t> nam; // one byte per whole input tile
    std::uint64_t unplaced = 0;
};

// Folds a whole CHR image held in memory.
Folded fold(std::span<const std::uint8_t> input);

// "warning: COUNT tiles in PATH\ndo not match the first 256 unique tiles",
// with no line break at the end: what is said of tiles that found no slot,
// by tilefold and by any tool that foresees them.
std::string unplaced_warning(std::uint64_t count, std::string_view path);

} // namespace tilefold
