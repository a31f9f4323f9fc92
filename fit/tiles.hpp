// Fitting a picture's cells into a budget of distinct tiles. The palettes,
// each area's sub-palette and each pixel's colour are chosen beforehand; this
// only chooses the order of each sub-palette's three colours (unless the
// palette file the game loads is imposed, order and all), so that cells
// share patterns wherever they can at no cost, and, when more distinct
// patterns remain than the budget allows, gives cells other patterns at the
// least added error.
//
// Plain data in and out, so that the optimiser of one picture or of several
// sharing one palette set (their cells simply put together) calls it alike.
#pragma once

#include "fold.hpp"
#include "nes_colours.hpp"
#include "nes_geometry.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tilebudget {

inline constexpr std::size_t cell_pixels = nes::cell_side_px * nes::cell_side_px; // rows top first
inline constexpr std::size_t colours = nes::colours_per_subpalette; // c = 0 (the backdrop) to 3
inline constexpr std::size_t sub_palettes = nes::subpalette_count;
inline constexpr std::size_t max_budget = tilefold::slot_count;

// The colour number c (0-3) of every pixel: the tile that tilecut writes.
using Pattern = std::array<std::uint8_t, cell_pixels>;

// cost[pixel][c]: the visible error of showing colour c of the cell's own
// sub-palette at that pixel, in ΔE2000. A pixel that must show the backdrop
// (a transparent one) costs 0 at c = 0 and far more at 1-3, so that it stays
// there; it then adds nothing to any error.
using Costs = std::array<std::array<float, colours>, cell_pixels>;

// One sub-palette's colours as Lab, the backdrop at c = 0.
using PaletteLab = std::array<nes::Lab, colours>;

struct Cell {
    std::uint8_t palette = 0; // the sub-palette of the cell's area, 0-3
    Pattern pattern{};        // as fitted, under the sub-palettes' given order
    Costs costs{};            // under the same order
    // Pixels whose value is the tile's own, not a colour of the sub-palette
    // (those past the picture's edge, which tilecut pads with 3), one bit
    // each: renumbering the colours leaves their value and their costs.
    std::uint64_t fixed = 0;
};

// A tile as a CHR file holds it (nes-tile-formats(5)), as a pattern.
Pattern pattern_of_tile(std::span<const std::uint8_t, nes::tile_bytes> tile);

// The costs of a cell whose pixels should look like `targets`.
Costs cell_costs(std::span<const nes::Lab, cell_pixels> targets, const PaletteLab& palette);

// order[c] is the position, in the given sub-palette, of the colour that
// moves to c; order[0] is always 0, since the backdrop stays where it is. The
// caller's sub-palette p becomes new[c] = given[orders[p][c]].
using Order = std::array<std::uint8_t, colours>;

struct Fitted {
    std::array<Order, sub_palettes> orders{};
    std::vector<Pattern> patterns; // one per cell, under the new orders
    std::vector<double> added;     // per cell: the error its new pattern adds, summed over pixels
    std::size_t tiles_given = 0;   // distinct tiles of the cells as given, kept tiles included
    std::size_t tiles_before = 0;  // the least under any orders, before any loss
    std::size_t tiles_after = 0;   // at most the budget
    double added_mean = 0;         // the added error per pixel over all cells
};

// Fits `cells` into `budget` (1 to max_budget) distinct tiles, of which the
// first kept.size() are the kept tiles, in their order: the kept tiles count
// against the budget whether cells use them or not, and a cell whose pattern
// is a kept tile keeps it. The caller refuses more kept tiles than the
// budget. When the cells fit under some orders, every cell keeps its colours
// (added_mean 0). The result is the same on every run and machine.
//
// Several pictures that share the palettes give their cells together, so
// that the orders and the tiles are common to all; each picture's own added
// error is the sum of its cells' `added`.
//
// The cost of a cell's own pattern is its baseline, so the cell's pattern
// should be, pixel for pixel, the cheapest of its costs, as nearest-colour
// mapping gives; a dithered cell should be given the costs against its
// dithered colours, else a merge may undo the dither.
enum class Renumbering { allowed, never };
Fitted fit(std::span<const Cell> cells, std::span<const Pattern> kept, std::size_t budget,
           const std::array<PaletteLab, sub_palettes>& palettes, Renumbering renumbering);

} // namespace tilebudget
