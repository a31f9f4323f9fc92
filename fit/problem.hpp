// What the search works on: every distinct colour of the pictures with its
// distance to each of the 54 candidates, computed once, and each 16x16 area
// as a histogram of those colours. Internal to the fit library.
//
// A row costs 108 bytes, and a large photograph has a colour for nearly
// every pixel, so the table would outgrow the picture itself. Up to
// exact_limit distinct colours, and as many pairs of an area and a colour in
// it and one more for every 64 pixels, every colour has its own row: that
// is more than a 256x240 screen has pixels, so a screen is always fitted
// exactly, and more than a legal picture of any size has (4 colours to an
// area of 256 pixels), so it always comes back as it was. Beyond either,
// the search works on bins instead: the colours whose red, green and blue
// agree in their top bin_bits bits are one colour, the mean of their pixels
// (rounded, so the same on every run). Five bits keep the table within
// 2^15 rows, 3.5 MB, however large the picture, and a bin 8 levels wide is
// fine next to the gaps between the console's colours: fitted over bins,
// the 28 screens of the corpus kept their mean error within 0.01
// undithered, but one that fell by 0.11. Only the choice of palettes sees
// the bins: drawing and the figures work out each pixel's own distances
// (PixelRows), so what is reported is exact.
#pragma once

#include "tilefit.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tilefit::detail {

inline constexpr std::size_t candidate_count = 54;

// Distances are whole 1/256ths of a CIEDE2000 unit. Integers make every sum
// exact, so no order of summation can change a choice, and two bytes per
// distance keep a photo's table small. Nothing the console shows is 256 away.
using Distance = std::uint16_t;
using Cost = std::uint64_t;
inline constexpr double distance_unit = 256.0;

// A candidate by its place among the 54, in increasing order of number, so
// that preferring the lower place breaks ties by number.
using Slot = std::uint8_t;
inline constexpr Slot no_slot = 0xFF;

struct Candidates {
    std::array<std::uint8_t, candidate_count> number{};
    std::array<nes::Lab, candidate_count> lab{};
    std::array<nes::Prepared, candidate_count> prepared{};
    std::array<nes::Rgb, candidate_count> rgb{};
    std::array<Slot, nes::colour_count> slot_of{}; // no_slot for the ten others

    explicit Candidates(const nes::Table& table);
};

// Dense numbers for 24-bit colours, given in the order the colours are first
// met, so that everything indexed by them is laid out the same on every run.
class ColourIndex {
  public:
    static constexpr std::uint32_t absent = 0xFFFFFFFF;
    // The colour's number, adding it if new; `added` says which.
    std::uint32_t add(nes::Rgb colour, bool& added);
    std::uint32_t find(nes::Rgb colour) const;
    std::size_t size() const { return size_; }

  private:
    void grow();
    // Open addressing; a key is the colour plus one, and 0 marks a free
    // entry. Never more than half full.
    std::vector<std::uint32_t> keys_;
    std::vector<std::uint32_t> values_;
    std::size_t size_ = 0;
};

// Four bytes: a photograph has an entry for nearly every pixel. Neither the
// table's rows nor an area's pixels pass 65536.
struct Entry {
    std::uint16_t colour = 0;
    std::uint16_t count = 0;
};

inline constexpr std::size_t exact_limit = 65536;
inline constexpr unsigned bin_bits = 5;
static_assert(exact_limit <= 0x10000 && 3 * bin_bits <= 16 &&
              nes::area_side_px * nes::area_side_px <= 0xFFFF);

struct Problem {
    Candidates candidates;
    bool binned = false; // the colours are bins, and `index` is empty
    ColourIndex index;
    std::vector<Distance> distance; // colour * candidate_count + slot
    std::vector<Slot> nearest;      // per colour: the nearest slot, the lower of equals
    // The areas of every picture in turn, each row of areas from the top
    // left: area a's colours are entries[area_start[a] .. area_start[a + 1]).
    // Transparent pixels are in none: the backdrop shows there whatever it
    // is, so they weigh on no choice.
    std::vector<Entry> entries;
    std::vector<std::uint32_t> area_start;
    std::vector<std::uint32_t> picture_area; // each picture's first area

    explicit Problem(const nes::Table& table) : candidates(table) {}
    std::size_t areas() const { return area_start.size() - 1; }
    const Distance* row(std::uint32_t colour) const {
        return distance.data() + std::size_t{colour} * candidate_count;
    }
};

bool opaque(const Rgba& pixel);
nes::Rgb rgb(const Rgba& pixel);
std::uint32_t areas_across(std::uint32_t width);
std::uint32_t areas_down(std::uint32_t height);

Problem build_problem(std::span<const PictureView> pictures, const nes::Table& table);

// The answer in slots: the backdrop, three slots per sub-palette, and each
// area's sub-palette.
struct Solution {
    Slot backdrop = 0;
    std::array<std::array<Slot, 3>, nes::subpalette_count> sub{};
    std::vector<std::uint8_t> area_palette;
    Cost cost = 0;
};

struct SearchLimits {
    std::optional<Slot> backdrop;
    std::optional<Solution> imposed; // backdrop and sub-palettes; areas still chosen
};

Solution search(const Problem& problem, const SearchLimits& limits);

// A pixel's distances for drawing under one answer: to each colour the
// answer uses, and to its nearest candidate. From the table's row when the
// problem holds the colour itself, else worked out, with a cache of the
// colours last met of a fixed size (half a megabyte: on the bench's
// 1024x1024 photograph, a quarter of the pixels miss it); either way the
// same figures. A row holds until the next call.
class PixelRows {
  public:
    PixelRows(const Problem& problem, const Solution& solution);
    struct Row {
        const Distance* distance;  // by place
        const std::uint8_t* place; // each slot's place in `distance`
        Distance nearest;
        Distance operator[](Slot slot) const { return distance[place[slot]]; }
    };
    Row of(nes::Rgb colour);
    // One of the answer's colours alone, the same figure as of()'s, without
    // the nearest: a fiftieth of the work past the cache.
    Distance to(nes::Rgb colour, Slot slot);

  private:
    static constexpr std::size_t cache_size = 16384;
    static constexpr std::size_t stride = 1 + 3 * nes::subpalette_count;
    static constexpr std::uint8_t unused = 0xFF; // the place of a slot the answer has not
    const Problem& problem_;
    std::array<std::uint8_t, candidate_count> identity_{};
    std::array<std::uint8_t, candidate_count> place_{};
    std::vector<Slot> used_;          // the answer's slots, each once, in order of place
    std::vector<std::uint32_t> keys_; // the colour plus one; 0 marks a free entry
    std::vector<Distance> rows_;      // cache_size rows of `stride`
    std::vector<Distance> nearest_;
};

} // namespace tilefit::detail
