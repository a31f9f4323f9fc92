// tilepal's work on one picture: the attribute table and the palette that an
// NES background needs besides its tiles and name table.
//
// The picture is paletted, with at most 16 colours: index = 4 p + c, where p
// (0-3) is the background palette and c (0-3) the colour within it, which is
// what tilecut writes into the tiles. Colour 0 of every palette shows the one
// shared backdrop, so a pixel with c = 0 fits any palette.
//
// The core reads nothing and writes nothing: it turns an Image into the bytes
// of the two files, and a result into the exact lines for stderr, so that the
// command line only loads, prints and writes.
#pragma once

#include "image.hpp"
#include "nes_colours.hpp"
#include "nes_geometry.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tilepal {

using nes::palette_bytes;

// The name every message starts with.
inline constexpr std::string_view tool_name = "tilepal";

// Areas that use two palettes are each named up to this many; the rest are
// counted in one line, so a picture gone wholly wrong stays readable.
inline constexpr std::size_t conflict_cap = 20;

// A used entry further than this (CIEDE2000) from its NES colour is warned
// about. Differences of 2 or so are visible side by side; the threshold is
// loose on purpose, so that art drawn with another table of the console's
// colours passes quietly, while past 10 the colour on screen is plainly
// another one than drawn.
inline constexpr double far_distance = 10.0;

struct Pixel {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::uint8_t index = 0;
    friend bool operator==(const Pixel&, const Pixel&) = default;
};

// A 16x16 area whose pixels ask for two palettes: `first` is the area's
// first pixel (left to right, top to bottom) with c != 0, `second` the first
// after it whose palette differs. Their palettes are index / 4.
struct Conflict {
    std::uint32_t x = 0; // the area's top-left corner
    std::uint32_t y = 0;
    Pixel first;
    Pixel second;
    friend bool operator==(const Conflict&, const Conflict&) = default;
};

// A used entry whose nearest NES colour is further than far_distance.
struct FarEntry {
    std::uint8_t entry = 0;
    nes::Rgb colour;
    std::uint8_t number = 0;
    double distance = 0;
};

// Pixels of index 4, 8 or 12 drawn in another colour than entry 0: on the
// console they show the backdrop.
struct BackdropEntry {
    std::uint8_t entry = 0;
    nes::Rgb colour;
    nes::Rgb backdrop;
    std::uint64_t pixels = 0;
    Pixel first;
};

enum class Refusal : std::uint8_t {
    none,
    grayscale,     // not paletted
    truecolor,     // not paletted
    index_past_15, // `bad_pixel` is the first such pixel
    conflicts,     // `conflicts`, `conflict_count`
};

struct Result {
    Refusal refusal = Refusal::none;
    Pixel bad_pixel;
    std::vector<Conflict> conflicts; // at most conflict_cap, areas in raster order
    std::uint64_t conflict_count = 0;

    // The files' contents, when nothing was refused.
    std::vector<std::uint8_t> attributes;
    std::array<std::uint8_t, palette_bytes> palette{};

    // Warnings, when nothing was refused, by entry number.
    std::vector<FarEntry> far;
    std::vector<BackdropEntry> backdrop;

    bool refused() const { return refusal != Refusal::none; }
};

// Everything about one picture, with NES colours as `table` shows them.
//
// The palette: byte 4 p + c is the number nearest to entry 4 p + c
// (nes::nearest); bytes 4, 8 and 12 repeat byte 0, the backdrop. An entry
// the picture's palette does not have (a palette of fewer than 16 colours)
// is $0F: with no colour to match, black is the quietest choice.
//
// The attribute table: for each 16x16 area, the palette of its pixels with
// c != 0, or 0 if it has none; one byte per 32x32 block in raster order,
// areas top-left, top-right, bottom-left, bottom-right from bit 0 up, and
// areas outside the picture 0.
Result analyse(const intake::Image& image, const nes::Table& table);

// The lines for stderr, each ending in a line break: the refusal's, or else
// the warnings (none when all is well).
std::vector<std::string> messages(const Result& result, std::string_view path);

} // namespace tilepal
