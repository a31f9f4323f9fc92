#include "fold.hpp"

#include <algorithm>
#include <cstring>

namespace tilefold {

std::size_t TileFolder::probe_start(std::span<const std::uint8_t, tile_size> tile) const {
    if (hash_ != nullptr) {
        return hash_(tile) % index_size;
    }
    std::uint64_t lo = 0;
    std::uint64_t hi = 0;
    std::memcpy(&lo, tile.data(), sizeof lo);
    std::memcpy(&hi, tile.data() + sizeof lo, sizeof hi);
    std::uint64_t h =
        lo * 0x9E3779B97F4A7C15ULL ^ (hi + 0x632BE59BD9B4E019ULL) * 0xC2B2AE3D27D4EB4FULL;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ULL;
    return static_cast<std::size_t>(h >> 32) % index_size;
}

Placement TileFolder::place(std::span<const std::uint8_t, tile_size> tile) {
    // Stored tiles are pairwise distinct, so the exact match found through
    // the index is the same slot a first-match scan from slot 0 would find.
    std::size_t at = probe_start(tile);
    while (index_[at] != 0) {
        const std::size_t slot = index_[at] - 1U;
        if (std::memcmp(slots_[slot].data(), tile.data(), tile_size) == 0) {
            return {static_cast<std::uint8_t>(slot), false};
        }
        at = (at + 1) % index_size;
    }
    if (stored_ == slot_count) {
        // No room: the cell falls back to slot 0, and since the tile is
        // never stored it is counted again each time it reappears.
        ++unplaced_;
        return {0, false};
    }
    std::copy(tile.begin(), tile.end(), slots_[stored_].begin());
    index_[at] = static_cast<std::uint16_t>(stored_ + 1);
    const auto name = static_cast<std::uint8_t>(stored_);
    ++stored_;
    return {name, true};
}

void TileFolder::feed(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& nam,
                      std::vector<std::uint8_t>& chr) {
    const std::size_t whole = bytes.size() / tile_size;
    // One byte per tile is certain, so the names are written in place rather
    // than appended one at a time.
    const std::size_t first = nam.size();
    nam.resize(first + whole);
    std::uint8_t* names = nam.data() + first;
    for (std::size_t i = 0; i < whole; ++i) {
        const auto tile = bytes.subspan(i * tile_size).first<tile_size>();
        const Placement p = place(tile);
        names[i] = p.name;
        if (p.newly_stored) {
            chr.insert(chr.end(), tile.begin(), tile.end());
        }
    }
}

void TileFolder::pad(std::vector<std::uint8_t>& chr) const {
    for (std::size_t slot = stored_; slot < slot_count; ++slot) {
        chr.insert(chr.end(), filler_tile.begin(), filler_tile.end());
    }
}

Folded fold(std::span<const std::uint8_t> input) {
    Folded out;
    out.chr.reserve(set_size);
    out.nam.reserve(input.size() / tile_size);
    TileFolder folder;
    folder.feed(input, out.nam, out.chr);
    folder.pad(out.chr);
    out.unplaced = folder.unplaced();
    return out;
}

std::string unplaced_warning(std::uint64_t count, std::string_view path) {
    std::string text("warning: ");
    text.append(std::to_string(count)).append(" tiles in ").append(path);
    return text.append("\ndo not match the first ")
        .append(std::to_string(slot_count))
        .append(" unique tiles");
}

} // namespace tilefold
