#pragma once

#include "allegro_handles.hpp"

// The one way images come into the converter. The reader is chosen by the
// file's extension; the pixel values are palette indices, or gray levels for
// grayscale pictures. Returns null when the file cannot be read.
BitmapPtr load_image(const char* path);
