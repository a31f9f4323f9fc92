// The conversion of one picture to tiles, on plain data: the command line
// (cli.cpp) does the reading and writing.
#pragma once

#include "image.hpp"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace tilecut {

// The image's path with its extension replaced by "chr" (or "chr" appended),
// in the same directory. Empty when the result is longer than
// fileio::max_name, so that no file is ever written under a truncated name.
std::string output_name(const char* path);

// Receives the tiles one row of tiles at a time; false stops the conversion.
using TileSink = std::function<bool(std::span<const std::uint8_t>)>;

// Dithers the picture in place first when asked, then hands its tiles to
// `sink`, tile rows top to bottom. False if the sink refused a row.
bool convert(intake::Image& image, bool dither, const TileSink& sink);

} // namespace tilecut
