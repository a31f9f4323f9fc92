#pragma once

#include "allegro_handles.hpp"

// Registers the checked bmp, pcx and png readers with the library's loader
// table. Call once, right after install_allegro.
void register_checked_readers();

// The one way images come into the converter. The reader is chosen by the
// file's extension (bmp, pcx and png through the checked readers); the pixel
// values are palette indices, or gray levels for grayscale pictures. Returns
// null when the file cannot be read or is refused as malformed.
BitmapPtr load_image(const char* path);
