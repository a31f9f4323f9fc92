// From the search's answer to pixels and figures: each pixel takes the
// nearest of its area's four colours (or, dithered, one of the two nearest),
// and the errors are counted in the search's own integer units, so that the
// figures agree with what it minimised and the mean is never below the bound.
#include "problem.hpp"

#include <algorithm>

namespace tilefit {

namespace {

using namespace detail;

// The 8x8 ordered-dither thresholds, anchored at the picture's top-left, so
// that a flat stretch of colour between two palette colours gives the same
// pattern in every cell and its tiles repeat.
constexpr std::array<std::array<std::uint8_t, 8>, 8> bayer = {{
    {0, 32, 8, 40, 2, 34, 10, 42},
    {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},
    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},
    {63, 31, 55, 23, 61, 29, 53, 21},
}};

// Each 8-bit channel value's light, 0 to 1: a pattern of two colours looks,
// from a little way off, like the mean of their light, not of their CIELAB.
const std::array<double, 256>& light() {
    static const std::array<double, 256> table = [] {
        std::array<double, 256> t{};
        for (std::size_t v = 0; v < t.size(); ++v) {
            t[v] = nes::to_linear(static_cast<std::uint8_t>(v));
        }
        return t;
    }();
    return table;
}

// Of the area's four colours, the one that shows the pixel; with the dither,
// the pixel's colour is placed along the line in linear light between its
// two nearest, and the threshold at its place chooses between them. Placed
// in CIELAB instead, a dark pixel beside black took too much of the lighter
// colour: on a star field the black sky came out grey.
std::size_t choose(const PixelRows::Row& row, const std::array<Slot, 4>& four,
                   const Problem& problem, Dither dither, nes::Rgb colour, std::uint32_t x,
                   std::uint32_t y) {
    std::size_t first = 0;
    for (std::size_t c = 1; c < 4; ++c) {
        if (row[four[c]] < row[four[first]]) {
            first = c;
        }
    }
    if (dither == Dither::none) {
        return first;
    }
    std::size_t second = 4;
    for (std::size_t c = 0; c < 4; ++c) {
        if (four[c] != four[first] && (second == 4 || row[four[c]] < row[four[second]])) {
            second = c;
        }
    }
    if (second == 4) {
        return first;
    }
    const std::array<double, 256>& l = light();
    const nes::Rgb& u = problem.candidates.rgb[four[first]];
    const nes::Rgb& v = problem.candidates.rgb[four[second]];
    const std::array<double, 3> to_pixel = {l[colour.r] - l[u.r], l[colour.g] - l[u.g],
                                            l[colour.b] - l[u.b]};
    const std::array<double, 3> to_second = {l[v.r] - l[u.r], l[v.g] - l[u.g], l[v.b] - l[u.b]};
    double along = 0;
    double length = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        along += to_pixel[i] * to_second[i];
        length += to_second[i] * to_second[i];
    }
    const double threshold = (bayer[y % 8][x % 8] + 0.5) / 64.0;
    return along > threshold * length ? second : first;
}

struct Counts {
    std::vector<std::uint32_t> histogram = std::vector<std::uint32_t>(0x10000, 0);
    Cost sum = 0;
    Cost bound = 0;
    std::uint64_t pixels = 0;
    Distance max = 0;

    void count(Distance d) {
        ++histogram[d];
        sum += d;
        max = std::max(max, d);
        ++pixels;
    }

    void add(const Counts& other) {
        for (std::size_t d = 0; d < histogram.size(); ++d) {
            histogram[d] += other.histogram[d];
        }
        sum += other.sum;
        bound += other.bound;
        pixels += other.pixels;
        max = std::max(max, other.max);
    }
};

Stats stats_of(const Counts& counts) {
    Stats stats;
    stats.pixels = counts.pixels;
    if (counts.pixels == 0) {
        return stats;
    }
    const auto n = static_cast<double>(counts.pixels);
    stats.mean = static_cast<double>(counts.sum) / distance_unit / n;
    stats.bound = static_cast<double>(counts.bound) / distance_unit / n;
    stats.max = counts.max / distance_unit;
    // The least error that 95% of the pixels do not exceed.
    const std::uint64_t rank = (95 * counts.pixels + 99) / 100;
    std::uint64_t seen = 0;
    for (std::size_t d = 0; d < counts.histogram.size(); ++d) {
        seen += counts.histogram[d];
        if (seen >= rank) {
            stats.p95 = static_cast<double>(d) / distance_unit;
            break;
        }
    }
    return stats;
}

// Each cell of a picture in turn, rows of cells from the top-left; `visit`
// is given the cell's left and top pixel.
template <typename Visit> void for_each_cell(const Fit& fit, Visit visit) {
    for (std::uint32_t ty = 0; ty < fit.height; ty += nes::cell_side_px) {
        for (std::uint32_t tx = 0; tx < fit.width; tx += nes::cell_side_px) {
            visit(tx, ty);
        }
    }
}

// The pattern tilecut writes for a cell: each pixel's c, and colour 3 where
// the picture's edge cuts the cell.
constexpr std::uint8_t padding_c = 3;

tilebudget::Pattern pattern_at(const Fit& fit, std::uint32_t tx, std::uint32_t ty) {
    tilebudget::Pattern pattern{};
    for (std::size_t i = 0; i < tilebudget::cell_pixels; ++i) {
        const auto x = static_cast<std::uint32_t>(tx + i % nes::cell_side_px);
        const auto y = static_cast<std::uint32_t>(ty + i / nes::cell_side_px);
        pattern[i] =
            x < fit.width && y < fit.height
                ? static_cast<std::uint8_t>(fit.pixels[std::size_t{y} * fit.width + x] % 4U)
                : padding_c;
    }
    return pattern;
}

// The distinct tiles of the pictures together, and of `kept` besides.
std::size_t count_tiles(std::span<const Fit> fits, std::span<const tilebudget::Pattern> kept = {}) {
    std::vector<tilebudget::Pattern> distinct(kept.begin(), kept.end());
    for (const Fit& fit : fits) {
        for_each_cell(fit, [&](std::uint32_t tx, std::uint32_t ty) {
            distinct.push_back(pattern_at(fit, tx, ty));
        });
    }
    std::sort(distinct.begin(), distinct.end());
    return static_cast<std::size_t>(std::unique(distinct.begin(), distinct.end()) -
                                    distinct.begin());
}

// Each opaque pixel of a picture: its place in the rows, where it stands
// and its area's sub-palette.
template <typename Visit>
void for_each_opaque(const Fit& fit, const PictureView& picture, Visit visit) {
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        const std::size_t line = std::size_t{y} * picture.width;
        const std::size_t area_line = std::size_t{y / nes::area_side_px} * fit.areas_across;
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            if (opaque(picture.pixels[line + x])) {
                visit(line + x, x, y, fit.areas[area_line + x / nes::area_side_px]);
            }
        }
    }
}

Slot slot_of(const Solution& solution, std::uint8_t p, std::size_t c) {
    return c == 0 ? solution.backdrop : solution.sub[p][c - 1];
}

// Each pixel's colour under the solution, its error counted in `counts`.
Fit draw(const PictureView& picture, const Problem& problem, const Solution& solution,
         std::uint32_t first_area, Dither dither, Counts& counts) {
    Fit fit;
    fit.width = picture.width;
    fit.height = picture.height;
    fit.areas_across = areas_across(picture.width);
    const std::size_t area_count = std::size_t{fit.areas_across} * areas_down(picture.height);
    fit.areas.assign(solution.area_palette.begin() + first_area,
                     solution.area_palette.begin() + first_area +
                         static_cast<std::ptrdiff_t>(area_count));
    fit.pixels.assign(std::size_t{picture.width} * picture.height, 0);
    PixelRows rows(problem, solution);
    for_each_opaque(
        fit, picture, [&](std::size_t at, std::uint32_t x, std::uint32_t y, std::uint8_t p) {
            const nes::Rgb colour = rgb(picture.pixels[at]);
            const std::array<Slot, 4> four = {solution.backdrop, solution.sub[p][0],
                                              solution.sub[p][1], solution.sub[p][2]};
            const PixelRows::Row row = rows.of(colour);
            const std::size_t c = choose(row, four, problem, dither, colour, x, y);
            fit.pixels[at] = c == 0 ? std::uint8_t{0} : static_cast<std::uint8_t>(4 * p + c);
            counts.count(row[four[c]]);
            counts.bound += row.nearest;
        });
    return fit;
}

// The errors of a picture the tile budget changed, counted anew; the bound
// is the picture's own and stays as drawn.
Counts recount(const Fit& fit, const PictureView& picture, const Problem& problem,
               const Solution& solution, Cost bound) {
    Counts counts;
    PixelRows rows(problem, solution);
    for_each_opaque(fit, picture,
                    [&](std::size_t at, std::uint32_t, std::uint32_t, std::uint8_t p) {
                        counts.count(rows.to(rgb(picture.pixels[at]),
                                             slot_of(solution, p, fit.pixels[at] % 4U)));
                    });
    counts.bound = bound;
    return counts;
}

// The palettes and the figures of a counted picture; the whole run's counts
// gather in `total`.
void publish(Fit& fit, const Problem& problem, const Solution& solution, const Counts& counts,
             Counts& total) {
    fit.palettes.backdrop = problem.candidates.number[solution.backdrop];
    for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
        for (std::size_t c = 0; c < 3; ++c) {
            fit.palettes.sub[p][c] = problem.candidates.number[solution.sub[p][c]];
        }
    }
    fit.stats = stats_of(counts);
    fit.stats.tiles = count_tiles({&fit, 1});
    fit.stats.tiles_before = fit.stats.tiles;
    total.add(counts);
}

// What the tile budget is told of each cell. A pixel past the picture's
// edge must stay on tilecut's padding colour, whatever the renumbering, or
// the tiles would not fold as counted: off it, it costs more than any
// cluster of cells a picture can have could gain, which keeps it there. A transparent pixel should
// show the backdrop, and is judged against the backdrop's colour: under too small a budget (one
// tile for cells transparent where others are cut by the edge, say) it cannot always keep it.
constexpr float padding_off = 1e7F;

std::vector<tilebudget::Cell> cells_of(std::span<const Fit> fits,
                                       std::span<const PictureView> pictures,
                                       const Problem& problem, const Solution& solution,
                                       const std::array<tilebudget::PaletteLab, 4>& labs,
                                       Dither dither) {
    std::vector<tilebudget::Cell> cells;
    for (std::size_t i = 0; i < fits.size(); ++i) {
        const Fit& fit = fits[i];
        for_each_cell(fit, [&](std::uint32_t tx, std::uint32_t ty) {
            tilebudget::Cell cell;
            cell.palette = fit.areas[std::size_t{ty / nes::area_side_px} * fit.areas_across +
                                     tx / nes::area_side_px];
            cell.pattern = pattern_at(fit, tx, ty);
            std::array<nes::Lab, tilebudget::cell_pixels> targets{};
            std::array<bool, tilebudget::cell_pixels> padding{};
            for (std::size_t px = 0; px < tilebudget::cell_pixels; ++px) {
                const auto x = static_cast<std::uint32_t>(tx + px % nes::cell_side_px);
                const auto y = static_cast<std::uint32_t>(ty + px / nes::cell_side_px);
                padding[px] = x >= fit.width || y >= fit.height;
                if (padding[px]) {
                    cell.fixed |= std::uint64_t{1} << px;
                    continue;
                }
                const Rgba& pixel = pictures[i].pixels[std::size_t{y} * fit.width + x];
                if (!opaque(pixel)) {
                    targets[px] = labs[cell.palette][0];
                    continue;
                }
                // A dithered cell is judged against its dithered colours, so
                // that sharing does not undo the dither.
                targets[px] =
                    dither == Dither::none
                        ? nes::to_lab(rgb(pixel))
                        : problem.candidates.lab[slot_of(solution, cell.palette, cell.pattern[px])];
            }
            cell.costs = tilebudget::cell_costs(targets, labs[cell.palette]);
            for (std::size_t px = 0; px < tilebudget::cell_pixels; ++px) {
                for (std::size_t c = 0; padding[px] && c < tilebudget::colours; ++c) {
                    cell.costs[px][c] = c == padding_c ? 0.0F : padding_off;
                }
            }
            cells.push_back(cell);
        });
    }
    return cells;
}

// Meets the tile budget: renumbers the sub-palettes' colours so that cells
// share tiles, and when that is not enough gives cells other patterns.
// False when the pictures fitted as they were. Re-choosing each area's
// sub-palette for the tiles left, alternating with refitting the tiles to
// their cells, was measured and left out: it took off under half a per cent
// of the budget's error on the benchmark's pictures, for a fifth more time.
// Nor are the palettes chosen again for the patterns: on the screens tried,
// no change of one colour lowered the error, whether each was chosen for the
// pixels that show it or judged with every cell taking its cheapest tile.
bool meet_budget(std::span<Fit> fits, std::span<const PictureView> pictures, const Problem& problem,
                 Solution& solution, const Options& options) {
    // Most screens fit as they are, and their costs are not worth working out.
    if (options.max_tiles == 0 || count_tiles(fits, options.kept) <= options.max_tiles) {
        return false;
    }
    std::array<tilebudget::PaletteLab, 4> labs{};
    for (std::uint8_t p = 0; p < nes::subpalette_count; ++p) {
        for (std::size_t c = 0; c < tilebudget::colours; ++c) {
            labs[p][c] = problem.candidates.lab[slot_of(solution, p, c)];
        }
    }
    const std::vector<tilebudget::Cell> cells =
        cells_of(fits, pictures, problem, solution, labs, options.dither);
    // An imposed palette is the one the game loads: its order is kept.
    const tilebudget::Fitted fitted = tilebudget::fit(
        cells, options.kept, options.max_tiles, labs,
        options.palettes ? tilebudget::Renumbering::never : tilebudget::Renumbering::allowed);
    bool changed = false;
    const Solution given = solution;
    for (std::uint8_t p = 0; p < nes::subpalette_count; ++p) {
        for (std::size_t c = 1; c < tilebudget::colours; ++c) {
            solution.sub[p][c - 1] = given.sub[p][fitted.orders[p][c] - 1];
            changed = changed || fitted.orders[p][c] != c;
        }
    }
    std::size_t next = 0;
    for (Fit& fit : fits) {
        for_each_cell(fit, [&](std::uint32_t tx, std::uint32_t ty) {
            const tilebudget::Cell& cell = cells[next];
            const tilebudget::Pattern& pattern = fitted.patterns[next++];
            for (std::size_t px = 0; px < tilebudget::cell_pixels; ++px) {
                const auto x = static_cast<std::uint32_t>(tx + px % nes::cell_side_px);
                const auto y = static_cast<std::uint32_t>(ty + px / nes::cell_side_px);
                if (x < fit.width && y < fit.height) {
                    const std::uint8_t c = pattern[px];
                    changed = changed || c != cell.pattern[px];
                    fit.pixels[std::size_t{y} * fit.width + x] =
                        c == 0 ? std::uint8_t{0} : static_cast<std::uint8_t>(4 * cell.palette + c);
                }
            }
        });
    }
    return changed;
}

} // namespace

Fits fit(std::span<const PictureView> pictures, const nes::Table& table, const Options& options) {
    const Problem problem = build_problem(pictures, table);
    SearchLimits limits;
    if (options.backdrop) {
        limits.backdrop = problem.candidates.slot_of[*options.backdrop];
    }
    if (options.palettes) {
        Solution imposed;
        imposed.backdrop = problem.candidates.slot_of[options.palettes->backdrop];
        for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
            for (std::size_t c = 0; c < 3; ++c) {
                imposed.sub[p][c] = problem.candidates.slot_of[options.palettes->sub[p][c]];
            }
        }
        limits.imposed = imposed;
    }
    Solution solution = search(problem, limits);
    Fits fits;
    Counts total;
    std::vector<Cost> bounds; // the histograms are too large to keep one per picture
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        Counts counts;
        fits.pictures.push_back(
            draw(pictures[i], problem, solution, problem.picture_area[i], options.dither, counts));
        publish(fits.pictures.back(), problem, solution, counts, total);
        bounds.push_back(counts.bound);
    }
    fits.total = stats_of(total);
    fits.total.tiles = count_tiles(fits.pictures);
    fits.total.tiles_before = fits.total.tiles;
    const bool changed = meet_budget(fits.pictures, pictures, problem, solution, options);
    fits.within_budget =
        options.max_tiles == 0 || count_tiles(fits.pictures, options.kept) <= options.max_tiles;
    if (!changed) {
        return fits;
    }
    // Measured again, the budget's cost is what the figures show.
    const Stats before = fits.total;
    total = Counts{};
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        Fit& fit = fits.pictures[i];
        const Stats own = fit.stats;
        publish(fit, problem, solution, recount(fit, pictures[i], problem, solution, bounds[i]),
                total);
        fit.stats.tiles_before = own.tiles;
        fit.stats.added = fit.stats.mean - own.mean;
    }
    fits.total = stats_of(total);
    fits.total.tiles = count_tiles(fits.pictures);
    fits.total.tiles_before = before.tiles;
    fits.total.added = fits.total.mean - before.mean;
    return fits;
}

std::array<nes::Rgb, nes::palette_bytes> png_palette(const Palettes& palettes,
                                                     const nes::Table& table) {
    std::array<nes::Rgb, nes::palette_bytes> colours{};
    for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
        colours[4 * p] = table[palettes.backdrop];
        for (std::size_t c = 0; c < 3; ++c) {
            colours[4 * p + 1 + c] = table[palettes.sub[p][c]];
        }
    }
    return colours;
}

} // namespace tilefit
