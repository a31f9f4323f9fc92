#include "tiles.hpp"

namespace {

// One row of pixel values, padding included, as getpixel reports them.
void read_row(BITMAP* bmp, int y, int padded_w, std::vector<int>& row) {
    row.assign(static_cast<std::size_t>(padded_w), -1);
    if (y >= bmp->h) {
        return;
    }
    if (is_memory_bitmap(bmp) && bitmap_color_depth(bmp) == 8) {
        const std::uint8_t* line = bmp->line[y];
        for (int x = 0; x < bmp->w; ++x) {
            row[static_cast<std::size_t>(x)] = line[x];
        }
        return;
    }
    for (int x = 0; x < padded_w; ++x) {
        row[static_cast<std::size_t>(x)] = getpixel(bmp, x, y);
    }
}

} // namespace

void encode_tile_row(BITMAP* bmp, int ty, std::vector<std::uint8_t>& out) {
    const int padded_w = padded_size(bmp->w);
    const std::size_t cells = static_cast<std::size_t>(padded_w / 8);
    const std::size_t base = out.size();
    out.resize(base + cells * 16);

    std::vector<int> row;
    for (int dy = 0; dy < 8; ++dy) {
        read_row(bmp, ty + dy, padded_w, row);
        for (std::size_t cell = 0; cell < cells; ++cell) {
            std::uint8_t plane0 = 0;
            std::uint8_t plane1 = 0;
            for (std::size_t i = 0; i < 8; ++i) {
                const int value = row[cell * 8 + i];
                plane0 = static_cast<std::uint8_t>((plane0 << 1) | (value & 1));
                plane1 = static_cast<std::uint8_t>((plane1 << 1) | ((value >> 1) & 1));
            }
            std::uint8_t* tile = &out[base + cell * 16];
            tile[dy] = plane0;
            tile[8 + dy] = plane1;
        }
    }
}

std::vector<std::uint8_t> encode_tiles(BITMAP* bmp) {
    std::vector<std::uint8_t> out;
    for (int ty = 0; ty < padded_size(bmp->h); ty += 8) {
        encode_tile_row(bmp, ty, out);
    }
    return out;
}
