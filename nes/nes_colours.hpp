// The NES's 64 colour numbers as a television shows them, and the choice of
// the number that best stands for a colour drawn on a computer. Shared by
// every tool that turns pictures into NES colours or NES colours back into
// pictures, so that they all agree on what each number looks like.
#pragma once

#include "command_line.hpp"
#include "image.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct stat;

namespace nes {

using Rgb = intake::Rgb;

inline constexpr std::size_t colour_count = 64;

// Colour number n ($00-$3F) at index n, in sRGB.
using Table = std::array<Rgb, colour_count>;

// The table decoded from the console's documented video levels (see
// nes_colours.cpp for how). Computed once, on first use.
const Table& builtin_table();

// Emulators save their colours as 64 RGB triples; the larger files add the
// seven colour-emphasis variants after the plain 64.
inline constexpr std::size_t palette_file_size = 3 * colour_count;
inline constexpr std::size_t emphasis_palette_file_size = 8 * palette_file_size;

// Lets a caller refuse a file by its size before reading it.
bool is_palette_file_size(std::uint64_t size);

// The plain 64 colours of a palette file; nothing for a file of any other
// size than the two above.
std::optional<Table> parse_palette_file(std::span<const std::uint8_t> bytes);

// "TOOL: PATH: a NES palette file has 192 bytes, or 1536 with emphasis; this
// one has SIZE\n"
std::string palette_file_size_message(std::string_view tool, std::string_view path,
                                      std::uint64_t size);

// The colours a tool works with: the built-in table when `path` is null, else
// the palette file there. Nothing when the file cannot be read or is no
// palette file, and `error` then holds the whole message, "TOOL: PATH: ...\n".
// `opened`, if given, receives the file's identity.
std::optional<Table> load_table(std::string_view tool, const char* path, std::string& error,
                                struct stat* opened = nullptr);

// The option that names the palette file load_table reads, the same in every
// tool that takes one.
inline constexpr cli::Option palette_file_option{
    .long_name = "nes-palette",
    .value = "FILE",
    .help = "the console's colours from an emulator's palette file\n"
            "(192 bytes, or 1536 with emphasis), not the built-in ones"};

// CIELAB under the D65 white of sRGB.
struct Lab {
    double l = 0;
    double a = 0;
    double b = 0;
};

Lab to_lab(Rgb colour);

// sRGB's transfer function undone: the light of one 8-bit channel value,
// from 0 to 1, in which colours mix as the eye mixes a fine pattern.
double to_linear(std::uint8_t value);

// The CIEDE2000 colour difference, with the reference conditions' weights
// (kL = kC = kH = 1). Symmetric; about 1 is the smallest difference most
// people can see side by side.
double delta_e2000(const Lab& first, const Lab& second);

// A colour with what CIEDE2000 needs of it alone worked out once, for one
// compared with many; the difference is the same as from the two Labs.
struct Prepared {
    Lab lab;
    double chroma = 0; // C*ab
};

Prepared prepare(const Lab& colour);
double delta_e2000(const Prepared& first, const Prepared& second);
// The differences of `one` to each of `many`, into `out` (as long): the same
// figures as one at a time, several worked at once.
void delta_e2000(const Prepared& one, std::span<const Prepared> many, std::span<double> out);
// What the difference is at least, from lightness alone: DL' / S_L, the
// other terms adding no less than nothing, with S_L at most 1.747 for
// lightness within 0-100.
double delta_e2000_at_least(const Lab& first, const Lab& second);

// Several numbers give the same signal and so the same colour on every
// console; one of each group stands for it, whatever a table says:
//   black: $0F for $0E, $0F, $1E, $1F, $2E, $2F, $3E, $3F and $1D;
//   white: $30 for $20 and $30.
// $0D is never chosen: its level lies below black, and some televisions take
// it for the sync pulse and lose the picture.
inline constexpr std::uint8_t black = 0x0F;
inline constexpr std::uint8_t white = 0x30;

// True for the 54 numbers a colour may be matched to.
bool is_candidate(std::uint8_t number);

struct Match {
    std::uint8_t number = black;
    double distance = 0; // CIEDE2000 between the colour and the table's entry
};

// The candidate whose colour in `table` is nearest to `colour`; of equally
// near ones, the lowest number.
Match nearest(const Table& table, Rgb colour);

} // namespace nes
