#include "tiles.hpp"

namespace tilecut {

namespace {

// The padding reads as colour 3: what the original tool got from reading
// outside the picture, which the tiles of existing screens depend on.
constexpr std::uint8_t kPadding = 3;

} // namespace

void encode_tile_row(const intake::Image& image, std::uint32_t ty, std::vector<std::uint8_t>& out) {
    const std::uint32_t width = image.width();
    const std::size_t cells = padded_size(width) / 8;
    const std::size_t base = out.size();
    out.resize(base + cells * 16);
    std::uint8_t* tiles = out.data() + base;

    for (std::uint32_t dy = 0; dy < 8; ++dy) {
        const std::uint32_t y = ty + dy;
        const std::uint8_t* row = y < image.height() ? image.row(y) : nullptr;
        for (std::size_t cell = 0; cell < cells; ++cell) {
            std::uint32_t plane0 = 0;
            std::uint32_t plane1 = 0;
            for (std::uint32_t i = 0; i < 8; ++i) {
                const std::size_t x = cell * 8 + i;
                const std::uint32_t value = row != nullptr && x < width ? row[x] : kPadding;
                plane0 = (plane0 << 1) | (value & 1);
                plane1 = (plane1 << 1) | ((value >> 1) & 1);
            }
            tiles[cell * 16 + dy] = static_cast<std::uint8_t>(plane0);
            tiles[cell * 16 + 8 + dy] = static_cast<std::uint8_t>(plane1);
        }
    }
}

std::vector<std::uint8_t> encode_tiles(const intake::Image& image) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t ty = 0; ty < padded_size(image.height()); ty += 8) {
        encode_tile_row(image, ty, out);
    }
    return out;
}

} // namespace tilecut
