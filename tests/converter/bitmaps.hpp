// Small bitmap fixtures for the converter's tests.
#pragma once

#include "allegro_handles.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using Tiles = std::vector<std::uint8_t>;

// A bitmap of the given depth whose pixel (x, y) is value(x, y).
inline BitmapPtr make_bitmap(int w, int h, const std::function<int(int, int)>& value,
                             int depth = 8) {
    BitmapPtr bmp(create_bitmap_ex(depth, w, h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            putpixel(bmp.get(), x, y, value(x, y));
        }
    }
    return bmp;
}

// Saves an 8-bit picture with a gray palette; the extension picks the format.
inline bool save_picture(const std::string& path, BITMAP* bmp) {
    PALETTE pal;
    for (int i = 0; i < 256; ++i) {
        pal[i].r = pal[i].g = pal[i].b = static_cast<unsigned char>(i / 4);
        pal[i].filler = 0;
    }
    return save_bitmap(path.c_str(), bmp, pal) == 0;
}

// Reads colour (x, y) of tile `index` back out of CHR bytes.
inline int tile_pixel(const Tiles& chr, std::size_t index, int x, int y) {
    const std::size_t at = index * 16 + static_cast<std::size_t>(y);
    const int bit = 7 - x;
    return ((chr.at(at) >> bit) & 1) | (((chr.at(at + 8) >> bit) & 1) << 1);
}

// Pixel values of a bitmap, row by row; empty when there is no bitmap.
inline std::vector<int> pixels_of(BITMAP* bmp) {
    std::vector<int> px;
    for (int y = 0; bmp != nullptr && y < bmp->h; ++y) {
        for (int x = 0; x < bmp->w; ++x) {
            px.push_back(getpixel(bmp, x, y));
        }
    }
    return px;
}
