// The quality benchmark's measures and its reference method, on plain
// pixels: how far any legal NES screen is from the picture it stands for,
// and the plain greedy fit that simple converters make, which the suite's own
// fit is measured against.
#pragma once

#include "nes_colours.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quality {

// A picture's pixels, row-major with no gap between rows.
struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::span<const nes::Rgb> pixels;
};

// A screen as the console shows it, whoever made it: every pixel's colour,
// and its colour's place c (0 the backdrop, 1-3 in its sub-palette), of
// which the tiles are made.
struct Screen {
    std::vector<nes::Rgb> colours;
    std::vector<std::uint8_t> c;
};

struct Scores {
    double mean = 0; // CIEDE2000 against the picture, over all pixels
    double p95 = 0;  // the error that 95% of the pixels do not pass
    double max = 0;
    std::size_t tiles = 0; // distinct 8x8 patterns of c
};

// Every pixel's distance to each of the 54 candidate colours, computed once
// per distinct colour of the picture: the bound and the greedy method both
// need them all.
class Distances {
  public:
    Distances(const Picture& picture, const nes::Table& table);

    std::size_t pixels() const { return row_of_.size(); }
    std::size_t candidates() const { return numbers_.size(); }
    std::uint8_t number(std::size_t slot) const { return numbers_[slot]; }
    // Pixel i's CIEDE2000 to the candidate at `slot` (slots in increasing
    // order of number).
    float at(std::size_t pixel, std::size_t slot) const {
        return rows_[row_of_[pixel] * numbers_.size() + slot];
    }
    const nes::Lab& lab(std::size_t slot) const { return labs_[slot]; }

  private:
    std::vector<std::uint8_t> numbers_;
    std::vector<nes::Lab> labs_;
    std::vector<std::uint32_t> row_of_; // pixel -> its colour's row
    std::vector<float> rows_;
};

// The mean over the pixels of the distance to the nearest candidate: no
// legal screen comes closer.
double bound(const Distances& distances);

// What simple converters do: every pixel to its nearest candidate, the most
// common result as the backdrop, each 16x16 area's three most common others
// as its set, the sets merged two at a time, always the pair whose merge adds
// least error, until four are left (a merged set keeps the union's three most
// common colours), each area given the best of the four and each pixel its
// nearest of its area's colours. The result is legal by construction.
struct Greedy {
    std::uint8_t backdrop = nes::black;
    std::array<std::array<std::uint8_t, 3>, 4> sub{};
    std::vector<std::uint8_t> areas; // each area's sub-palette, row-major
    Screen screen;
};
Greedy greedy(const Picture& picture, const Distances& distances, const nes::Table& table);

// True when an indexed screen (index 4 p + c, as the suite writes them) is
// one the console can show: every index used has an entry, the entries used
// are candidates' colours in `table`, entries 0, 4, 8 and 12 the same colour
// (the backdrop), and the other pixels of each 16x16 area all in one
// sub-palette. The benchmark scores only screens that pass.
bool is_legal(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> indices,
              std::span<const nes::Rgb> palette, const nes::Table& table);

std::size_t tile_count(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> c);

Scores score(const Picture& picture, const Screen& screen);

// The screen judged as the eye sees it from a little way off, in the manner
// of S-CIELAB: both pictures blurred by the same Gaussian (sigma 1 pixel,
// seven taps, mirrored at the edges) in linear-light RGB, where light mixes, then
// the mean CIEDE2000 between them. A dither that keeps a region's average
// colour scores better here than per pixel.
double blurred_mean(const Picture& picture, std::span<const nes::Rgb> screen);

} // namespace quality
