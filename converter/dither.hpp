#pragma once

#include "image.hpp"

namespace tilecut {

// Reduces a grayscale picture (pixel values 0-255) to the colours 0-3 in
// place with a 4x4 ordered dither anchored at the top-left pixel.
void dither(intake::Image& image);

// The colour one gray value gets at picture position (x, y).
int dither_level(int value, std::uint32_t x, std::uint32_t y);

} // namespace tilecut
