// Draws the bundled example pictures, so that every byte of them is ours and
// they can be made again at will:
//   title.bmp     256x240, four colours: a title screen with text, a border
//                 and a brick floor, so that many tiles repeat.
//   gradient.bmp  256x240, 8-bit gray: smooth ramps and a radial glow, for -d.
#include <allegro.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

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
    return status;
}
END_OF_MAIN()
