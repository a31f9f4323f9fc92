// tilefit's work on pictures already decoded: the backdrop, the four
// sub-palettes, each 16x16 area's sub-palette and every pixel's colour that
// make the pictures a legal NES background with the least visible error,
// measured as CIEDE2000 summed over the pixels.
//
// The core reads nothing and writes nothing: it takes plain pixels and a
// colour table, and gives back plain indices and figures, so that the tests
// call exactly what the command runs.
#pragma once

#include "image.hpp"
#include "nes_colours.hpp"
#include "nes_geometry.hpp"
#include "tiles.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tilefit {

// A pixel whose alpha is below this is transparent: it shows the backdrop,
// and since it has no colour to match it counts in none of the error figures.
inline constexpr std::uint8_t opaque_alpha = 128;

using Rgba = intake::Rgba;

// A picture's pixels, row-major with no gap between rows.
struct PictureView {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::span<const Rgba> pixels;
};

using SubPalette = std::array<std::uint8_t, 3>; // NES numbers of colours 1-3

struct Palettes {
    std::uint8_t backdrop = nes::black;
    std::array<SubPalette, nes::subpalette_count> sub{};
    friend bool operator==(const Palettes&, const Palettes&) = default;
};

enum class Dither : std::uint8_t { none, ordered };

struct Options {
    std::optional<std::uint8_t> backdrop; // a candidate number, when the artist fixes it
    std::optional<Palettes> palettes;     // imposed: only areas and pixels are chosen
    Dither dither = Dither::none;
    // The distinct tiles the pictures may use together, the kept ones
    // included: 1 to tilebudget::max_budget, or 0 for no budget at all, for
    // the benchmark, which measures the palettes alone.
    std::size_t max_tiles = tilebudget::max_budget;
    // Tiles that keep the first slots in their order, such as a font.
    std::vector<tilebudget::Pattern> kept;
};

// The error figures of one picture, in CIEDE2000 over its opaque pixels.
struct Stats {
    double mean = 0;
    double p95 = 0;
    double max = 0;
    // The mean error of every pixel's nearest candidate with no other rule:
    // no legal picture comes closer.
    double bound = 0;
    std::size_t tiles = 0;        // distinct 8x8 patterns of c, as tilecut writes them
    std::size_t tiles_before = 0; // as many before the tile budget
    double added = 0;             // what the budget added to the mean
    std::uint64_t pixels = 0;     // the opaque ones, which the figures count
};

struct Fit {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Palettes palettes;
    std::uint32_t areas_across = 0;
    std::vector<std::uint8_t> areas; // each area's sub-palette, rows of areas from the top-left
    // Every pixel's index, row-major: 4 p + c for colour c = 1-3 of
    // sub-palette p, and 0 where the pixel shows the backdrop (c = 0), which
    // is how tileshow draws it.
    std::vector<std::uint8_t> pixels;
    Stats stats;
};

struct Fits {
    std::vector<Fit> pictures;
    Stats total; // over all the pictures' pixels, and their distinct tiles together
    // False when the tiles and the kept ones pass the budget: only when the
    // kept tiles fill it and a cell cut by a picture's edge, which tilecut
    // pads with colour 3, matches none of them.
    bool within_budget = true;
};

// Fits every picture under one backdrop and one set of sub-palettes, chosen
// for their total error, and into one budget of tiles; give one picture to
// fit it alone. Deterministic: the same pixels, table and options give the
// same result everywhere. `options.backdrop` and `options.palettes` must
// hold candidates only, and `options.kept` at most `options.max_tiles`.
Fits fit(std::span<const PictureView> pictures, const nes::Table& table, const Options& options);

// The 16 colours of a fitted picture's PNG: entry 4 p + c is the table's
// colour for that number, and entries 0, 4, 8 and 12 the backdrop.
std::array<nes::Rgb, nes::palette_bytes> png_palette(const Palettes& palettes,
                                                     const nes::Table& table);

// A .pal as tilepal writes it: byte 0 the backdrop, bytes 4 p + 1 to 4 p + 3
// sub-palette p; bytes 4, 8 and 12 are not read. Otherwise the reason, a
// phrase to follow "PATH: ".
std::variant<Palettes, std::string> parse_palettes(std::span<const std::uint8_t> bytes);

// --backdrop's value: two hex digits, with or without a leading '$' ("0F",
// "$0F", "0f"), naming a candidate. Otherwise the reason.
std::variant<std::uint8_t, std::string> parse_backdrop(std::string_view text);

// The report's words after "PATH -> OUTPUT: ", with no line break:
// "backdrop $0F, palettes 21 30 31 / ..., 204 tiles, ΔE2000 mean 2.31, 95%
// 6.10, max 14.2 (bound 1.87)"; when the budget changed cells, the tiles read
// "812 tiles -> 256 (+1.42 ΔE2000 mean)".
std::string summary(const Palettes& palettes, const Stats& stats);

} // namespace tilefit
