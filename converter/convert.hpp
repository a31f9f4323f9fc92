#pragma once

#include <string>

// The size of the buffer that holds a derived output name, terminator included.
constexpr int kOutputNameSize = 1024;

// The image's path with its extension replaced by "chr" (or "chr" appended),
// in the same directory. Empty when the result does not fit kOutputNameSize,
// so that no file is ever written under a truncated name.
std::string output_name(const char* path);

// Converts one image to a CHR file beside it, dithering it first when asked.
// Returns 0 on success and 1 on failure, after printing why on stderr.
int convert(const char* path, bool dither);
