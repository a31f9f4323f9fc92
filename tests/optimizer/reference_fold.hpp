// The folding written plainly, as an oracle for the tool's indexed one: a
// first-match scan over the stored tiles, and the filler tile as its sixteen
// bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace tilefold_test {

inline constexpr std::uint8_t kFiller[16] = {0x44, 0xEE, 0x00, 0x00, 0x00, 0xEE, 0x44, 0x00,
                                             0x00, 0x00, 0x7C, 0x38, 0x7C, 0xEE, 0x44, 0x00};

struct Folding {
    std::vector<std::uint8_t> chr;
    std::vector<std::uint8_t> nam;
    std::uint64_t unplaced = 0;
};

inline Folding reference_fold(std::span<const std::uint8_t> in) {
    Folding out;
    std::size_t stored = 0;
    for (std::size_t at = 0; at + 16 <= in.size(); at += 16) {
        const std::uint8_t* tile = in.data() + at;
        std::size_t slot = 0;
        while (slot < stored && std::memcmp(&out.chr[slot * 16], tile, 16) != 0) {
            ++slot;
        }
        if (slot < stored) {
            out.nam.push_back(static_cast<std::uint8_t>(slot));
        } else if (stored < 256) {
            out.nam.push_back(static_cast<std::uint8_t>(stored++));
            out.chr.insert(out.chr.end(), tile, tile + 16);
        } else {
            out.nam.push_back(0);
            ++out.unplaced;
        }
    }
    while (stored++ < 256) {
        out.chr.insert(out.chr.end(), std::begin(kFiller), std::end(kFiller));
    }
    return out;
}

// The folding undone: the tiles the name table points at, in screen order.
inline std::vector<std::uint8_t> unfold(std::span<const std::uint8_t> chr,
                                        std::span<const std::uint8_t> nam) {
    std::vector<std::uint8_t> tiles;
    for (const std::uint8_t slot : nam) {
        const auto at = chr.begin() + slot * 16;
        tiles.insert(tiles.end(), at, at + 16);
    }
    return tiles;
}

} // namespace tilefold_test
