#include "tile_baseline.hpp"
#include "tiles.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace {

using namespace tilebudget;

// Cells drawn from a few shapes, each pixel's target near the colour its
// shape asks for, so that patterns repeat, nearly repeat, and cross
// sub-palettes; each cell's pattern is the nearest colour of every pixel.
// With no flips, every cell is one of the shapes, its colours exactly.
struct Picture {
    std::vector<Cell> cells;
    std::array<PaletteLab, sub_palettes> palettes{};
    std::vector<Pattern> shapes;
};

Picture picture(std::uint64_t seed, std::size_t count, std::size_t shapes, unsigned flips) {
    std::mt19937_64 rng(seed);
    const nes::Table& table = nes::builtin_table();
    auto colour = [&] {
        std::uint8_t n = 0;
        do {
            n = static_cast<std::uint8_t>(rng() % nes::colour_count);
        } while (!nes::is_candidate(n));
        return nes::to_lab(table[n]);
    };
    Picture out;
    const nes::Lab backdrop = colour();
    for (PaletteLab& p : out.palettes) {
        p = {backdrop, colour(), colour(), colour()};
    }
    for (std::size_t s = 0; s < shapes; ++s) {
        Pattern p{};
        const std::uint8_t a = static_cast<std::uint8_t>(rng() % colours);
        const std::uint8_t b = static_cast<std::uint8_t>(rng() % colours);
        const std::size_t edge = rng() % 9;
        for (std::size_t px = 0; px < cell_pixels; ++px) {
            p[px] = (px % 8 + px / 8 * (s % 3)) / 2 < edge ? a : b;
        }
        out.shapes.push_back(p);
    }
    for (std::size_t n = 0; n < count; ++n) {
        Cell cell;
        cell.palette = static_cast<std::uint8_t>(rng() % sub_palettes);
        Pattern shape = out.shapes[rng() % shapes];
        for (std::uint64_t f = flips == 0 ? 0 : rng() % (flips + 1); f > 0; --f) {
            shape[rng() % cell_pixels] = static_cast<std::uint8_t>(rng() % colours);
        }
        std::array<nes::Lab, cell_pixels> targets{};
        for (std::size_t px = 0; px < cell_pixels; ++px) {
            targets[px] = out.palettes[cell.palette][shape[px]];
            targets[px].l += flips == 0 ? 0.0 : static_cast<double>(rng() % 7) - 3.0;
        }
        cell.costs = cell_costs(targets, out.palettes[cell.palette]);
        cell.pattern = shape; // with no flips, exactly the shape's colours
        for (std::size_t px = 0; px < cell_pixels && flips > 0; ++px) {
            const auto& cost = cell.costs[px];
            cell.pattern[px] = static_cast<std::uint8_t>(
                std::min_element(cost.begin(), cost.end()) - cost.begin());
        }
        out.cells.push_back(cell);
    }
    return out;
}

std::size_t tiles(const std::vector<Pattern>& patterns, std::span<const Pattern> kept) {
    std::set<Pattern> seen(patterns.begin(), patterns.end());
    for (const Pattern& k : kept) {
        seen.erase(k);
    }
    return seen.size() + kept.size();
}

// The pattern a cell had, under the fitted orders.
Pattern renumbered(const Cell& cell, const Fitted& fitted) {
    Pattern out{};
    for (std::size_t px = 0; px < cell_pixels; ++px) {
        const Order& order = fitted.orders[cell.palette];
        out[px] = static_cast<std::uint8_t>(
            std::find(order.begin(), order.end(), cell.pattern[px]) - order.begin());
    }
    return out;
}

// Summed over pixels, what a cell's costs give for `pattern` under `order`.
double cost(const Cell& cell, const Pattern& pattern, const Order& order) {
    double sum = 0;
    for (std::size_t px = 0; px < cell_pixels; ++px) {
        sum += cell.costs[px][order[pattern[px]]];
    }
    return sum;
}

constexpr Order given = {0, 1, 2, 3};

// Over seeded pictures, budgets and kept tiles: the budget holds, kept tiles'
// cells keep them, the report tells the truth, the added error is never
// negative and never more than the plain merge's, and a second run agrees.
TEST(TileBudget, PropertiesOverSeededPictures) {
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
        const Picture pic = picture(seed, 160, 12 + seed * 4, 4);
        std::vector<Pattern> kept;
        for (std::size_t k = 0; k < seed % 4; ++k) {
            kept.push_back(pic.shapes[k]);
        }
        if (seed % 3 == 0) {
            kept.push_back(Pattern{}); // unused by the cells, still counted
        }
        const std::size_t least = std::max<std::size_t>(kept.size(), 1);
        for (const std::size_t budget : {least, std::size_t{9}, std::size_t{40}, max_budget}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", budget " << budget);
            const Fitted fitted = fit(pic.cells, kept, budget, pic.palettes, Renumbering::allowed);
            ASSERT_EQ(fitted.patterns.size(), pic.cells.size());
            EXPECT_LE(tiles(fitted.patterns, kept), budget);
            EXPECT_EQ(fitted.tiles_after, tiles(fitted.patterns, kept));
            EXPECT_LE(fitted.tiles_before, fitted.tiles_given);

            double added = 0;
            for (std::size_t i = 0; i < pic.cells.size(); ++i) {
                const Cell& cell = pic.cells[i];
                const Pattern was = renumbered(cell, fitted);
                if (std::find(kept.begin(), kept.end(), was) != kept.end()) {
                    EXPECT_EQ(fitted.patterns[i], was) << "cell " << i;
                }
                const Order& order = fitted.orders[cell.palette];
                const double own = cost(cell, fitted.patterns[i], order) - cost(cell, was, order);
                EXPECT_NEAR(fitted.added[i], own, 1e-3);
                EXPECT_GE(own, -1e-3);
                added += own;
            }
            const double pixels = static_cast<double>(pic.cells.size() * cell_pixels);
            EXPECT_NEAR(fitted.added_mean, added / pixels, 1e-6);

            if (kept.empty()) {
                std::vector<Pattern> given_patterns;
                for (const Cell& cell : pic.cells) {
                    given_patterns.push_back(cell.pattern);
                }
                const std::vector<Pattern> plain = bench::plain_merge(given_patterns, budget);
                double plain_added = 0;
                for (std::size_t i = 0; i < pic.cells.size(); ++i) {
                    plain_added += cost(pic.cells[i], plain[i], given) -
                                   cost(pic.cells[i], pic.cells[i].pattern, given);
                }
                EXPECT_LE(tiles(plain, {}), budget);
                EXPECT_LE(added, plain_added + 1e-3);
            }

            if (budget == 9) {
                const Fitted again =
                    fit(pic.cells, kept, budget, pic.palettes, Renumbering::allowed);
                EXPECT_EQ(again.patterns, fitted.patterns);
                EXPECT_EQ(again.orders, fitted.orders);
            }
        }
    }
}

// Shapes shared by all four sub-palettes, each sub-palette's order shuffled:
// only the right orders fold them into the budget, and then no pixel's
// colour changes.
TEST(TileBudget, PictureThatFitsUnderSomeOrderComesBackUnchanged) {
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        Picture pic = picture(seed, 300, 10 + seed, 0);
        std::array<Order, sub_palettes> shuffle{}; // a different order for each
        for (std::size_t p = 0; p < sub_palettes; ++p) {
            shuffle[p] = given;
            for (std::size_t n = 0; n < (seed + p) % 6; ++n) {
                std::next_permutation(shuffle[p].begin() + 1, shuffle[p].end());
            }
            const PaletteLab was = pic.palettes[p];
            for (std::size_t c = 0; c < colours; ++c) {
                pic.palettes[p][shuffle[p][c]] = was[c];
            }
        }
        std::vector<Pattern> kept;
        if (seed % 2 == 0) {
            kept.push_back(pic.shapes[0]); // in the first sub-palette's order as drawn
        }
        for (Cell& cell : pic.cells) {
            const Costs was = cell.costs;
            for (std::size_t px = 0; px < cell_pixels; ++px) {
                cell.pattern[px] = shuffle[cell.palette][cell.pattern[px]];
                for (std::size_t c = 0; c < colours; ++c) {
                    cell.costs[px][shuffle[cell.palette][c]] = was[px][c];
                }
            }
        }
        const std::size_t budget = pic.shapes.size() + kept.size();
        const Fitted fitted = fit(pic.cells, kept, budget, pic.palettes, Renumbering::allowed);
        EXPECT_GT(fitted.tiles_given, budget);
        EXPECT_LE(fitted.tiles_after, budget);
        EXPECT_EQ(fitted.added_mean, 0.0);
        for (std::size_t i = 0; i < pic.cells.size(); ++i) {
            const Cell& cell = pic.cells[i];
            const PaletteLab& colours_of = pic.palettes[cell.palette];
            for (std::size_t px = 0; px < cell_pixels; ++px) {
                const nes::Lab now =
                    colours_of[fitted.orders[cell.palette][fitted.patterns[i][px]]];
                const nes::Lab was = colours_of[cell.pattern[px]];
                ASSERT_TRUE(now.l == was.l && now.a == was.a && now.b == was.b)
                    << "cell " << i << " pixel " << px;
            }
        }
    }
}

} // namespace
