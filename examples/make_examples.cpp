// Draws the bundled example pictures, so that every byte of them is ours and
// they can be made again at will:
//   title.bmp     256x240, four colours: a title screen with text, a border
//                 and a brick floor, so that many tiles repeat.
//   gradient.bmp  256x240, 8-bit gray: smooth ramps and a radial glow, for -d.
//   colour.bmp    256x240, 16 colours in the four background palettes: sky,
//                 a framed title panel and a sun, hills, a brick ground, for
//                 tilepal and the template ROM.
#include "nes_colours.hpp"

#include <allegro.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

void draw_title(BITMAP* bmp) {
    clear_to_color(bmp, 0);
    // Border of repeated 8x8 blocks.
    for (int x = 0; x < 256; x += 8) {
        for (int y : {0, 232}) {
            rectfill(bmp, x, y, x + 7, y + 7, 1);
            rect(bmp, x + 1, y + 1, x + 6, y + 6, 2);
        }
    }
    for (int y = 8; y < 232; y += 8) {
        for (int x : {0, 248}) {
            rectfill(bmp, x, y, x + 7, y + 7, 1);
            rect(bmp, x + 1, y + 1, x + 6, y + 6, 2);
        }
    }
    // A brick floor: the same two tiles over and over.
    for (int y = 176; y < 232; y += 8) {
        for (int x = 8; x < 248; x += 8) {
            rectfill(bmp, x, y, x + 7, y + 7, 2);
            hline(bmp, x, y + 7, x + 7, 3);
            vline(bmp, x + ((y / 8) % 2 ? 0 : 4), y, y + 6, 3);
        }
    }
    // Text, drawn with the library's built-in 8x8 font on the tile grid.
    textout_ex(bmp, font, "NES TILE SUITE", 72, 48, 3, -1);
    textout_ex(bmp, font, "PICTURE TO TILES", 64, 72, 2, -1);
    textout_ex(bmp, font, "PRESS START", 84, 120, 3, -1);
    textout_ex(bmp, font, "(C) 2026", 96, 152, 1, -1);
    // A sun off the grid, so that some tiles are unique.
    circlefill(bmp, 200, 112, 14, 2);
    circle(bmp, 200, 112, 14, 3);
}

void draw_gradient(BITMAP* bmp) {
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 256; ++x) {
            int v = 0;
            if (y < 80) {
                v = x; // left to right
            } else if (y < 160) {
                v = (y - 80) * 255 / 79; // top to bottom
            } else {
                const double d = std::hypot(x - 128.0, y - 200.0);
                v = static_cast<int>(std::lround(255.0 * std::fmax(0.0, 1.0 - d / 120.0)));
            }
            putpixel(bmp, x, y, v);
        }
    }
}

// The colour screen is drawn in colours 0-3 alone; each 16x16 area's palette
// then comes from where the area lies, so no area can mix two palettes and
// every shape only has to stay inside the areas of its own. Colour 0 is the
// sky, the backdrop that every palette shares.
enum Palette { sky, ground, panel, hills };

int area_palette(int ax, int ay) {
    if (ay >= 12) {
        return ground;
    }
    if (ay >= 8) {
        return hills;
    }
    if ((ay >= 2 && ay <= 6 && ax >= 2 && ax <= 13) || (ay <= 1 && ax >= 13 && ax <= 14)) {
        return panel; // the sun shares the panel's gold and cream
    }
    return sky;
}

// Colour `from` within a rectangle becomes `to`: shading for shapes that the
// library draws in one colour.
void recolour(BITMAP* bmp, int x0, int y0, int x1, int y1, int from, int to) {
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            if (getpixel(bmp, x, y) == from) {
                putpixel(bmp, x, y, to);
            }
        }
    }
}

// Always drawn on the same 8-pixel phase, so that every cloud is made of the
// same tiles.
void cloud(BITMAP* bmp, int x, int y) {
    circlefill(bmp, x + 10, y + 12, 8, 1);
    circlefill(bmp, x + 22, y + 9, 10, 1);
    circlefill(bmp, x + 34, y + 12, 8, 1);
    rectfill(bmp, x + 10, y + 12, x + 34, y + 20, 1);
    recolour(bmp, x, y + 17, x + 44, y + 20, 1, 2);
}

void tree(BITMAP* bmp, int x, int base) {
    triangle(bmp, x, base - 22, x - 7, base - 4, x + 7, base - 4, 2);
    line(bmp, x + 1, base - 18, x + 5, base - 6, 3);
    rectfill(bmp, x - 1, base - 4, x + 1, base, 2);
}

void draw_colour(BITMAP* bmp) {
    clear_to_color(bmp, 0);
    // Sky: clouds in white with a pale underside, the sun in the corner.
    for (int x : {16, 96, 160}) {
        cloud(bmp, x, 8);
    }
    circlefill(bmp, 224, 15, 11, 2);
    circlefill(bmp, 220, 11, 4, 3);

    // The title panel: a gold frame, deep blue inside, a cream rule.
    rectfill(bmp, 40, 40, 215, 103, 2);
    rectfill(bmp, 42, 42, 213, 101, 1);
    rect(bmp, 44, 44, 211, 99, 3);
    textout_ex(bmp, font, "NES TILE SUITE", 72, 56, 3, -1);
    textout_ex(bmp, font, "PICTURE TO TILES", 64, 72, 2, -1);
    textout_ex(bmp, font, "(C) 2026", 96, 88, 3, -1);

    // White on the sky, with a dark blue shadow.
    textout_ex(bmp, font, "PRESS START", 85, 117, 3, -1);
    textout_ex(bmp, font, "PRESS START", 84, 116, 1, -1);

    // Two green hills, the nearer one overlapping, with pines on them.
    circlefill(bmp, 64, 200, 64, 1);
    circle(bmp, 64, 200, 64, 2);
    circlefill(bmp, 188, 210, 72, 1);
    circle(bmp, 188, 210, 72, 2);
    for (int x : {56, 168, 200}) {
        tree(bmp, x, 175);
    }
    // Grass along the foot of the hills.
    rectfill(bmp, 0, 176, 255, 191, 1);
    hline(bmp, 0, 176, 255, 3);
    for (int x = 0; x < 256; x += 8) {
        vline(bmp, x + 2, 183, 186, 2);
        vline(bmp, x + 5, 185, 188, 3);
    }

    // Bricks of 16x8, each row shifted by half a brick: brown, dark mortar, a
    // bright top edge.
    for (int y = 192; y < 240; y += 8) {
        rectfill(bmp, 0, y, 255, y + 7, 1);
        hline(bmp, 0, y, 255, 3);
        hline(bmp, 0, y + 7, 255, 2);
        for (int x = (y / 8) % 2 * 8; x < 256; x += 16) {
            vline(bmp, x, y, y + 6, 2);
        }
    }

    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 256; ++x) {
            const int c = getpixel(bmp, x, y);
            putpixel(bmp, x, y, c == 0 ? 0 : 4 * area_palette(x / 16, y / 16) + c);
        }
    }
}

// The NES colour numbers the screen is drawn in, each shown as tilepal's
// built-in table gives it, so that tilepal picks exactly these numbers.
// Entries 4, 8 and 12 repeat the backdrop, which they show on the console.
constexpr std::array<std::uint8_t, 16> colour_numbers = {
    0x21, 0x30, 0x31, 0x11, // sky (the backdrop); clouds and text; their underside; text shadow
    0x21, 0x17, 0x07, 0x26, // bricks; mortar; the bricks' top edge
    0x21, 0x01, 0x27, 0x37, // panel; frame and sun; panel text and the sun's glint
    0x21, 0x19, 0x0A, 0x29, // hills and grass; outlines and pines; light grass
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void put_le(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// An 8-bit BMP with a colour table of just the 16 colours, at full 8-bit
// precision (the library's palettes keep 6 bits a channel).
bool save_16_colours(const std::string& path, BITMAP* bmp,
                     const std::array<std::uint8_t, 16>& numbers) {
    const auto w = static_cast<std::uint32_t>(bmp->w);
    const auto h = static_cast<std::uint32_t>(bmp->h);
    const std::uint32_t stride = (w + 3) / 4 * 4;
    const std::uint32_t offset = 14 + 40 + 4 * 16;
    std::vector<std::uint8_t> out{'B', 'M'};
    put_le(out, offset + stride * h, 4);
    put_le(out, 0, 4);
    put_le(out, offset, 4);
    for (const std::uint32_t field : {40U, w, h}) {
        put_le(out, field, 4);
    }
    put_le(out, 1, 2); // planes
    put_le(out, 8, 2); // bits per pixel
    for (const std::uint32_t field : {0U, stride * h, 2835U, 2835U, 16U, 16U}) {
        put_le(out, field, 4); // uncompressed, 72 dpi, 16 colours
    }
    for (const std::uint8_t n : numbers) {
        const nes::Rgb c = nes::builtin_table()[n];
        out.insert(out.end(), {c.b, c.g, c.r, 0});
    }
    for (int y = bmp->h - 1; y >= 0; --y) { // bottom row first
        for (std::uint32_t x = 0; x < stride; ++x) {
            out.push_back(x < w ? static_cast<std::uint8_t>(getpixel(bmp, static_cast<int>(x), y))
                                : 0);
        }
    }
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    return file && std::fwrite(out.data(), 1, out.size(), file.get()) == out.size() &&
           std::fflush(file.get()) == 0;
}

} // namespace

int main(int argc, char** argv) {
    install_allegro(SYSTEM_NONE, &errno, std::atexit);
    const std::string dir = argc > 1 ? argv[1] : ".";

    PALETTE pal;
    for (int i = 0; i < 256; ++i) {
        pal[i].r = pal[i].g = pal[i].b = static_cast<unsigned char>(i / 4);
        pal[i].filler = 0;
    }
    BITMAP* title = create_bitmap_ex(8, 256, 240);
    BITMAP* gradient = create_bitmap_ex(8, 256, 240);
    if (title == nullptr || gradient == nullptr) {
        std::fputs("out of memory\n", stderr);
        return 1;
    }
    draw_title(title);
    draw_gradient(gradient);
    int status = 0;
    // Four visible colours in the first four entries; the rest stays gray.
    PALETTE four;
    for (int i = 0; i < 256; ++i) {
        four[i] = pal[i];
    }
    const unsigned char levels[4] = {0, 21, 42, 63};
    for (int i = 0; i < 4; ++i) {
        four[i].r = four[i].g = four[i].b = levels[i];
    }
    if (save_bitmap((dir + "/title.bmp").c_str(), title, four) != 0 ||
        save_bitmap((dir + "/gradient.bmp").c_str(), gradient, pal) != 0) {
        std::fputs("could not save the examples\n", stderr);
        status = 1;
    }
    destroy_bitmap(title);
    destroy_bitmap(gradient);

    const std::unique_ptr<BITMAP, void (*)(BITMAP*)> colour(create_bitmap_ex(8, 256, 240),
                                                            destroy_bitmap);
    if (!colour) {
        std::fputs("out of memory\n", stderr);
        return 1;
    }
    draw_colour(colour.get());
    if (!save_16_colours(dir + "/colour.bmp", colour.get(), colour_numbers)) {
        std::fputs("could not save colour.bmp\n", stderr);
        status = 1;
    }
    return status;
}
END_OF_MAIN()
