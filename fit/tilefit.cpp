// From the search's answer to pixels and figures: each pixel takes the
// nearest of its area's four colours (or, dithered, one of the two nearest),
// and the errors are counted in the search's own integer units, so that the
// figures agree with what it minimised and the mean is never below the bound.
#include "problem.hpp"

#include "fold.hpp"

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
std::size_t choose(const Distance* row, const std::array<Slot, 4>& four, const Problem& problem,
                   Dither dither, nes::Rgb colour, std::uint32_t x, std::uint32_t y) {
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
};

Stats stats_of(const Counts& counts) {
    Stats stats;
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

// The distinct tiles, and how many cells tilefold could not place among the
// first 256 of them. Only which cells are equal counts, so each cell's
// colours are packed two bits apiece, not laid out in bit planes; cells cut
// by the picture's edge are padded with colour 3, as tilecut pads them.
void count_tiles(Fit& fit) {
    tilefold::TileFolder folder;
    std::vector<tilefold::Tile> distinct;
    for (std::uint32_t ty = 0; ty < fit.height; ty += nes::cell_side_px) {
        for (std::uint32_t tx = 0; tx < fit.width; tx += nes::cell_side_px) {
            tilefold::Tile tile{};
            for (std::uint32_t i = 0; i < nes::cell_side_px * nes::cell_side_px; ++i) {
                const std::uint32_t x = tx + i % nes::cell_side_px;
                const std::uint32_t y = ty + i / nes::cell_side_px;
                const unsigned c = x < fit.width && y < fit.height
                                       ? fit.pixels[std::size_t{y} * fit.width + x] % 4U
                                       : 3U;
                tile[i / 4] = static_cast<std::uint8_t>(tile[i / 4] | c << (2 * (i % 4)));
            }
            if (folder.place(tile).newly_stored || folder.stored() == tilefold::slot_count) {
                distinct.push_back(tile);
            }
        }
    }
    std::sort(distinct.begin(), distinct.end());
    fit.stats.tiles =
        static_cast<std::size_t>(std::unique(distinct.begin(), distinct.end()) - distinct.begin());
    fit.stats.beyond = folder.unplaced();
}

Fit draw(const PictureView& picture, const Problem& problem, const Solution& solution,
         std::uint32_t first_area, Dither dither) {
    Fit fit;
    fit.width = picture.width;
    fit.height = picture.height;
    fit.palettes.backdrop = problem.candidates.number[solution.backdrop];
    for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
        for (std::size_t c = 0; c < 3; ++c) {
            fit.palettes.sub[p][c] = problem.candidates.number[solution.sub[p][c]];
        }
    }
    fit.areas_across = areas_across(picture.width);
    const std::size_t area_count = std::size_t{fit.areas_across} * areas_down(picture.height);
    fit.areas.assign(solution.area_palette.begin() + first_area,
                     solution.area_palette.begin() + first_area +
                         static_cast<std::ptrdiff_t>(area_count));
    fit.pixels.assign(std::size_t{picture.width} * picture.height, 0);
    Counts counts;
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        const std::size_t line = std::size_t{y} * picture.width;
        const std::size_t area_line = std::size_t{y / nes::area_side_px} * fit.areas_across;
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const Rgba& pixel = picture.pixels[line + x];
            if (!opaque(pixel)) {
                continue;
            }
            const std::uint8_t p = fit.areas[area_line + x / nes::area_side_px];
            const std::array<Slot, 4> four = {solution.backdrop, solution.sub[p][0],
                                              solution.sub[p][1], solution.sub[p][2]};
            const std::uint32_t colour = problem.index.find(rgb(pixel));
            const Distance* row = problem.row(colour);
            const std::size_t c = choose(row, four, problem, dither, rgb(pixel), x, y);
            fit.pixels[line + x] = c == 0 ? std::uint8_t{0} : static_cast<std::uint8_t>(4 * p + c);
            const Distance d = row[four[c]];
            ++counts.histogram[d];
            counts.sum += d;
            counts.max = std::max(counts.max, d);
            counts.bound += row[problem.nearest[colour]];
            ++counts.pixels;
        }
    }
    fit.stats = stats_of(counts);
    count_tiles(fit);
    return fit;
}

} // namespace

std::vector<Fit> fit(std::span<const PictureView> pictures, const nes::Table& table,
                     const Options& options) {
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
    const Solution solution = search(problem, limits);
    std::vector<Fit> fits;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        fits.push_back(
            draw(pictures[i], problem, solution, problem.picture_area[i], options.dither));
    }
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
