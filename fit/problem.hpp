// What the search works on: every distinct colour of the pictures with its
// distance to each of the 54 candidates, computed once, and each 16x16 area
// as a histogram of those colours. Internal to the fit library.
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

struct Entry {
    std::uint32_t colour = 0;
    std::uint32_t count = 0;
};

struct Problem {
    Candidates candidates;
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

} // namespace tilefit::detail
