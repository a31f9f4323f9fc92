#pragma once

#include <allegro.h>

// Reduces a grayscale picture (pixel values 0-255) to the colours 0-3 in
// place with a 4x4 ordered dither anchored at the top-left pixel. A null
// bitmap is left alone.
void dither(BITMAP* bmp);

// The colour one gray value gets at picture position (x, y).
int dither_level(int value, int x, int y);
