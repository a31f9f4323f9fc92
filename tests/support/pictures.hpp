// Picture fixtures: bitmaps drawn and saved with the image library, plain
// pictures for the cores, and tiles read back pixel by pixel.
#pragma once

#include "image.hpp"

#include <allegro.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using Tiles = std::vector<std::uint8_t>;
using PixelAt = std::function<int(int, int)>;

struct BitmapDeleter {
    void operator()(BITMAP* bmp) const { destroy_bitmap(bmp); }
};
using BitmapPtr = std::unique_ptr<BITMAP, BitmapDeleter>;

// A bitmap of the given depth whose pixel (x, y) is value(x, y).
inline BitmapPtr make_bitmap(int w, int h, const PixelAt& value, int depth = 8) {
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

// A plain picture whose pixel (x, y) is value(x, y).
inline intake::Image make_image(int w, int h, const PixelAt& value,
                                intake::Kind kind = intake::Kind::indexed) {
    auto image =
        intake::Image::allocate(static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), kind);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image->row(static_cast<std::uint32_t>(y))[x] = static_cast<std::uint8_t>(value(x, y));
        }
    }
    return std::move(*image);
}

// Pixel values row by row; empty when there is no picture.
inline std::vector<int> pixels_of(const std::optional<intake::Image>& image) {
    std::vector<int> px;
    for (std::uint32_t y = 0; image && y < image->height(); ++y) {
        for (std::uint32_t x = 0; x < image->width(); ++x) {
            px.push_back(image->at(x, y));
        }
    }
    return px;
}

inline std::vector<int> pixels_of(BITMAP* bmp) {
    std::vector<int> px;
    for (int y = 0; bmp != nullptr && y < bmp->h; ++y) {
        for (int x = 0; x < bmp->w; ++x) {
            px.push_back(getpixel(bmp, x, y));
        }
    }
    return px;
}

// Reads colour (x, y) of tile `index` back out of CHR bytes.
inline int tile_pixel(const Tiles& chr, std::size_t index, int x, int y) {
    const std::size_t at = index * 16 + static_cast<std::size_t>(y);
    const int bit = 7 - x;
    return ((chr.at(at) >> bit) & 1) | (((chr.at(at + 8) >> bit) & 1) << 1);
}

// The tiles of a w x h grid of colours, written out bit by bit in the tile
// layout, with the padding beyond the edges as colour 3: an expectation that
// shares nothing with the tool's encoder.
inline Tiles tiles_of(int w, int h, const PixelAt& colour) {
    const int cols = (w + 7) / 8;
    const int rows = (h + 7) / 8;
    Tiles chr(static_cast<std::size_t>(cols * rows * 16), 0);
    for (int y = 0; y < rows * 8; ++y) {
        for (int x = 0; x < cols * 8; ++x) {
            const int c = x < w && y < h ? colour(x, y) & 3 : 3;
            const auto tile = static_cast<std::size_t>((y / 8) * cols + x / 8) * 16;
            const auto bit = static_cast<unsigned>(0x80 >> (x % 8));
            if ((c & 1) != 0) {
                chr[tile + static_cast<std::size_t>(y % 8)] |= static_cast<std::uint8_t>(bit);
            }
            if ((c & 2) != 0) {
                chr[tile + 8 + static_cast<std::size_t>(y % 8)] |= static_cast<std::uint8_t>(bit);
            }
        }
    }
    return chr;
}
