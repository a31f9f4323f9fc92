#pragma once

#include "allegro_handles.hpp"

// Registers the checked bmp, pcx, png and tga readers with the library's loader
// table. Call once, right after install_allegro.
void register_checked_readers();

// The one way images come into the converter. The reader is chosen by the
// file's extension (bmp, pcx, png and tga, each through its checked reader;
// any other extension is refused); the pixel values are palette indices, or
// gray levels for grayscale pictures. Returns null when the file cannot be
// read or is refused as malformed.
BitmapPtr load_image(const char* path);
