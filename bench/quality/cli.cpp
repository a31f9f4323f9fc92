#include "cli.hpp"

#include "intake.hpp"
#include "quality.hpp"
#include "tile_baseline.hpp"
#include "tilefit.hpp"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace quality {

namespace {

const char kUsage[] = "usage: fitbench [--greedy-only] CORPUS\n";
const char kHelp[] =
    "Measures on every picture of CORPUS (the folder scripts/corpus.sh writes: its\n"
    "manifest.tsv and pictures/) the bound, the plain greedy fit and tilefit's, side\n"
    "by side; then tilefit's tile budget against a plain merge of tiles, and\n"
    "screens fitted together against each alone. Prints markdown tables with the\n"
    "goal checks. tilefit's own code is called, the same the command runs.\n"
    "\n"
    "  --greedy-only  only the bound and greedy\n";

// One row of the manifest: the picture's name and the group of screens it
// belongs to ("photo" for the photographs).
struct Entry {
    std::string name;
    std::string group;
};

std::optional<std::vector<Entry>> read_manifest(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    std::vector<Entry> out;
    std::string line;
    std::getline(in, line); // the column names
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Entry e;
        if (std::getline(fields, e.name, '\t') && std::getline(fields, e.group, '\t')) {
            out.push_back(e);
        }
    }
    return out;
}

// The budgets measured, and the plain merge's result at each.
constexpr std::array<std::size_t, 3> kBudgets = {256, 192, 128};

struct Budgeted {
    std::size_t free_tiles = 0; // with no budget
    std::array<double, kBudgets.size()> fit_added{};
    std::array<double, kBudgets.size()> plain_added{};
    std::array<double, kBudgets.size()> fit_seconds{};
};

struct Measured {
    Scores scores;
    double blurred = 0;
    double seconds = 0;
    bool legal = true;
};

struct Row {
    Entry entry;
    double bound = 0;
    Measured greedy;
    std::optional<Measured> plain;   // tilefit --dither none, no tile budget
    std::optional<Measured> ordered; // tilefit --dither ordered, no tile budget
    std::optional<Budgeted> budget;
    std::vector<tilefit::Rgba> pixels; // for fitting screens together
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    double alone_mean = 0; // at the default budget of 256 tiles
    std::size_t alone_tiles = 0;
};

// The screen of a fit as the console shows it.
Screen screen_of(const tilefit::Fit& fit) {
    const auto palette = tilefit::png_palette(fit.palettes, nes::builtin_table());
    Screen screen;
    for (const std::uint8_t index : fit.pixels) {
        screen.colours.push_back(palette[index]);
        screen.c.push_back(static_cast<std::uint8_t>(index & 3));
    }
    return screen;
}

Measured measured(const Picture& picture, const tilefit::Fit& fit, double seconds) {
    const Screen screen = screen_of(fit);
    const auto palette = tilefit::png_palette(fit.palettes, nes::builtin_table());
    return {score(picture, screen), blurred_mean(picture, screen.colours), seconds,
            is_legal(picture.width, picture.height, fit.pixels, palette, nes::builtin_table())};
}

// The pictures fitted together by tilefit's core, and how long it took.
std::pair<tilefit::Fits, double> fit_timed(std::span<const tilefit::PictureView> views,
                                           const tilefit::Options& options) {
    const auto start = std::chrono::steady_clock::now();
    tilefit::Fits fits = tilefit::fit(views, nes::builtin_table(), options);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {std::move(fits), took.count()};
}

tilefit::Options with(std::size_t max_tiles, tilefit::Dither dither = tilefit::Dither::none) {
    tilefit::Options options;
    options.max_tiles = max_tiles;
    options.dither = dither;
    return options;
}

// The unbudgeted fit's cells merged the plain way into `budget` tiles, each
// cell keeping its sub-palette.
tilefit::Fit plain_merged(const tilefit::Fit& free, std::size_t budget) {
    std::vector<tilebudget::Pattern> cells;
    const auto cell_pixel = [&](std::uint32_t tx, std::uint32_t ty, std::size_t px) {
        const auto x = static_cast<std::uint32_t>(tx + px % 8);
        const auto y = static_cast<std::uint32_t>(ty + px / 8);
        return x < free.width && y < free.height ? std::optional(std::size_t{y} * free.width + x)
                                                 : std::nullopt;
    };
    for (std::uint32_t ty = 0; ty < free.height; ty += 8) {
        for (std::uint32_t tx = 0; tx < free.width; tx += 8) {
            tilebudget::Pattern pattern{};
            for (std::size_t px = 0; px < pattern.size(); ++px) {
                const auto at = cell_pixel(tx, ty, px);
                pattern[px] = at ? static_cast<std::uint8_t>(free.pixels[*at] & 3) : 3;
            }
            cells.push_back(pattern);
        }
    }
    const std::vector<tilebudget::Pattern> merged = bench::plain_merge(cells, budget);
    tilefit::Fit out = free;
    std::size_t next = 0;
    for (std::uint32_t ty = 0; ty < free.height; ty += 8) {
        for (std::uint32_t tx = 0; tx < free.width; tx += 8) {
            const std::uint8_t p = free.areas[ty / 16 * free.areas_across + tx / 16];
            for (std::size_t px = 0; px < 64; ++px) {
                if (const auto at = cell_pixel(tx, ty, px)) {
                    const std::uint8_t c = merged[next][px];
                    out.pixels[*at] =
                        c == 0 ? std::uint8_t{0} : static_cast<std::uint8_t>(4 * p + c);
                }
            }
            ++next;
        }
    }
    return out;
}

std::optional<std::vector<nes::Rgb>> load_picture(const std::string& path, std::uint32_t& width,
                                                  std::uint32_t& height, std::FILE* err) {
    const auto loaded = intake::load_colour(path.c_str());
    if (!loaded) {
        std::fprintf(err, "fitbench: %s: %s\n", path.c_str(), loaded.error.text().c_str());
        return std::nullopt;
    }
    width = loaded->width();
    height = loaded->height();
    std::vector<nes::Rgb> pixels;
    pixels.reserve(loaded->pixels().size());
    for (const intake::Rgba& p : loaded->pixels()) {
        pixels.push_back({p.r, p.g, p.b}); // the corpus is opaque
    }
    return pixels;
}

double average(const std::vector<Row>& rows, double (*of)(const Row&)) {
    double sum = 0;
    for (const Row& r : rows) {
        sum += of(r);
    }
    return rows.empty() ? 0 : sum / static_cast<double>(rows.size());
}

// The figures of one line of the tables, as numbers, so that the average
// line is the mean of the others field by field.
constexpr std::size_t kFields = 19;
using Figures = std::array<double, kFields>;

Figures figures_of(const Row& r) {
    const Scores& g = r.greedy.scores;
    const Measured none = r.plain.value_or(Measured{});
    const Measured dithered = r.ordered.value_or(Measured{});
    const Scores& f = none.scores;
    return {r.bound,
            g.mean,
            g.p95,
            g.max,
            g.mean - r.bound,
            static_cast<double>(g.tiles),
            f.mean,
            f.p95,
            f.max,
            f.mean - r.bound,
            static_cast<double>(f.tiles),
            f.mean - g.mean,
            none.seconds,
            r.greedy.blurred,
            none.blurred,
            dithered.scores.mean,
            dithered.blurred,
            static_cast<double>(dithered.scores.tiles),
            dithered.seconds};
}

void print_tables(const std::vector<Row>& rows, bool with_tilefit, std::FILE* out) {
    std::vector<std::pair<std::string, Figures>> lines;
    Figures sum{};
    for (const Row& r : rows) {
        lines.emplace_back("| " + r.entry.name + " | " + r.entry.group, figures_of(r));
        for (std::size_t i = 0; i < kFields; ++i) {
            sum[i] += lines.back().second[i];
        }
    }
    for (double& v : sum) {
        v /= static_cast<double>(rows.size());
    }
    lines.emplace_back("| **average** | ", sum);

    std::fputs("| picture | group | bound | greedy mean | 95% | max | excess | tiles |", out);
    if (with_tilefit) {
        std::fputs(" tilefit mean | 95% | max | excess | tiles | vs greedy | time s |", out);
    }
    std::fputs("\n|---|---|--:|--:|--:|--:|--:|--:|", out);
    std::fputs(with_tilefit ? "--:|--:|--:|--:|--:|--:|--:|\n" : "\n", out);
    for (const auto& [head, f] : lines) {
        std::fprintf(out, "%s | %.2f | %.2f | %.2f | %.1f | %.2f | %.0f |", head.c_str(), f[0],
                     f[1], f[2], f[3], f[4], f[5]);
        if (with_tilefit) {
            std::fprintf(out, " %.2f | %.2f | %.1f | %.2f | %.0f | %.2f | %.2f |", f[6], f[7], f[8],
                         f[9], f[10], f[11], f[12]);
        }
        std::fputc('\n', out);
    }
    if (!with_tilefit) {
        return;
    }
    std::fputs("\nAfter the same blur of both pictures (Gaussian, sigma 1 pixel, in linear "
               "light), mean CIEDE2000; tilefit without and with --dither ordered:\n\n",
               out);
    std::fputs("| picture | group | greedy blurred | tilefit blurred | tiles | ordered: mean | "
               "blurred | tiles | time s |\n|---|---|--:|--:|--:|--:|--:|--:|--:|\n",
               out);
    for (const auto& [head, f] : lines) {
        std::fprintf(out, "%s | %.2f | %.2f | %.0f | %.2f | %.2f | %.0f | %.2f |\n", head.c_str(),
                     f[13], f[14], f[10], f[15], f[16], f[17], f[18]);
    }
}

// tilefit sums its distances in 1/256ths of a unit, so a screen it finds as
// good as greedy's can measure a few hundred-thousandths worse here: means
// closer than this are a tie.
constexpr double kTie = 0.001;

// The goals, one line each, "pass" or "FAIL" at the end.
void print_goals(const std::vector<Row>& rows, std::FILE* out) {
    const double greedy =
        average(rows, [](const Row& r) { return r.greedy.scores.mean - r.bound; });
    const double fit = average(rows, [](const Row& r) { return r.plain->scores.mean - r.bound; });
    const double ratio = greedy > 0 ? fit / greedy : 0;
    std::fprintf(out,
                 "\n- tilefit's excess over the bound, %.3f, is %.2f x greedy's, %.3f "
                 "(goal: at most 0.30): %s\n",
                 fit, ratio, greedy, ratio <= 0.30 ? "pass" : "FAIL");
    std::string worse;
    std::string undithered;
    std::string illegal;
    for (const Row& r : rows) {
        if (!r.plain->legal || !r.ordered->legal) {
            illegal += " " + r.entry.name;
        }
        if (r.plain->scores.mean > r.greedy.scores.mean + kTie) {
            char by[32];
            std::snprintf(by, sizeof by, " (+%.3f)", r.plain->scores.mean - r.greedy.scores.mean);
            worse += " " + r.entry.name + by;
        }
        if (r.entry.group == "photo" && r.ordered->blurred >= r.plain->blurred) {
            undithered += " " + r.entry.name;
        }
    }
    std::fprintf(out, "- tilefit outputs that the console cannot show:%s: %s\n",
                 illegal.empty() ? " none" : illegal.c_str(), illegal.empty() ? "pass" : "FAIL");
    std::fprintf(out, "- pictures where tilefit is worse than greedy (by more than %.3f):%s: %s\n",
                 kTie, worse.empty() ? " none" : worse.c_str(), worse.empty() ? "pass" : "FAIL");
    std::fprintf(
        out, "- photographs whose blurred error the ordered dither does not lower:%s: %s\n",
        undithered.empty() ? " none" : undithered.c_str(), undithered.empty() ? "pass" : "FAIL");
}

// The tile budget against the plain merge, per picture and budget; the
// goal line for it.
void print_budget(const std::vector<Row>& rows, std::FILE* out) {
    std::fputs("\nThe tile budget: the error each method adds to tilefit's own unbudgeted "
               "screen (mean CIEDE2000), at each budget:\n\n| picture | group | tiles |",
               out);
    for (const std::size_t n : kBudgets) {
        std::fprintf(out, " %zu: plain | tilefit | ratio |", n);
    }
    std::fputs("\n|---|---|--:|", out);
    for (std::size_t i = 0; i < kBudgets.size(); ++i) {
        std::fputs("--:|--:|--:|", out);
    }
    std::fputc('\n', out);
    std::array<double, kBudgets.size()> plain{};
    std::array<double, kBudgets.size()> fit{};
    double tiles = 0;
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    for (const Row& r : rows) {
        std::fprintf(out, "| %s | %s | %zu |", r.entry.name.c_str(), r.entry.group.c_str(),
                     r.budget->free_tiles);
        tiles += static_cast<double>(r.budget->free_tiles);
        for (std::size_t i = 0; i < kBudgets.size(); ++i) {
            std::fprintf(out, " %.3f | %.3f | %.2f |", r.budget->plain_added[i],
                         r.budget->fit_added[i],
                         ratio(r.budget->fit_added[i], r.budget->plain_added[i]));
            plain[i] += r.budget->plain_added[i];
            fit[i] += r.budget->fit_added[i];
        }
        std::fputc('\n', out);
    }
    const auto n = static_cast<double>(rows.size());
    std::fprintf(out, "| **average** |  | %.0f |", tiles / n);
    for (std::size_t i = 0; i < kBudgets.size(); ++i) {
        std::fprintf(out, " %.3f | %.3f | %.2f |", plain[i] / n, fit[i] / n,
                     ratio(fit[i], plain[i]));
    }
    std::fputs("\n\n- the tile budget's added error, as a share of the plain merge's:", out);
    bool pass = true;
    for (std::size_t i = 0; i < kBudgets.size(); ++i) {
        std::fprintf(out, " %.2f at %zu%s", ratio(fit[i], plain[i]), kBudgets[i],
                     i + 1 < kBudgets.size() ? "," : "");
        pass = pass && ratio(fit[i], plain[i]) <= 0.30;
    }
    std::fprintf(out, " (goal: at most 0.30 at each): %s\n", pass ? "pass" : "FAIL");
}

// Each group of screens from one game fitted together (--share, 256 tiles)
// against each fitted alone: what sharing costs in error and saves in tiles.
void print_share(const std::vector<Row>& rows, std::FILE* out) {
    std::map<std::string, std::vector<const Row*>> groups;
    for (const Row& r : rows) {
        if (r.entry.group != "photo" && r.entry.group != "-") {
            groups[r.entry.group].push_back(&r);
        }
    }
    if (groups.empty()) {
        return;
    }
    std::fputs("\nScreens of one game fitted together (--share --max-tiles 256) against each "
               "alone (256 tiles each):\n\n| group | screens | alone: mean | tiles, summed | "
               "shared: mean | tiles, together | error cost | tiles saved | time s |\n"
               "|---|--:|--:|--:|--:|--:|--:|--:|--:|\n",
               out);
    for (const auto& [name, members] : groups) {
        std::vector<tilefit::PictureView> views;
        double alone = 0;
        std::size_t tiles = 0;
        for (const Row* r : members) {
            views.push_back({r->width, r->height, r->pixels});
            alone += r->alone_mean;
            tiles += r->alone_tiles;
        }
        const auto [fits, seconds] = fit_timed(views, with(256));
        double shared = 0;
        for (std::size_t i = 0; i < members.size(); ++i) {
            shared += fits.pictures[i].stats.mean;
        }
        const auto n = static_cast<double>(members.size());
        std::fprintf(out, "| %s | %zu | %.2f | %zu | %.2f | %zu | %+.2f | %zu | %.2f |\n",
                     name.c_str(), members.size(), alone / n, tiles, shared / n, fits.total.tiles,
                     (shared - alone) / n, tiles - fits.total.tiles, seconds);
    }
}

} // namespace

int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    bool greedy_only = false;
    std::string corpus;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--greedy-only") {
            greedy_only = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, out);
            std::fputs(kHelp, out);
            return 0;
        } else if (corpus.empty() && !arg.empty() && arg[0] != '-') {
            corpus = arg;
        } else {
            std::fputs(kUsage, err);
            return 1;
        }
    }
    if (corpus.empty()) {
        std::fputs(kUsage, err);
        return 1;
    }
    const auto entries = read_manifest(corpus + "/manifest.tsv");
    if (!entries || entries->empty()) {
        std::fprintf(err, "fitbench: %s/manifest.tsv: no pictures listed (run scripts/corpus.sh)\n",
                     corpus.c_str());
        return 1;
    }
    if (!intake::start()) {
        std::fputs("fitbench: the image library could not be started\n", err);
        return 1;
    }
    const nes::Table& table = nes::builtin_table();
    const auto began = std::chrono::steady_clock::now();
    std::vector<Row> rows;
    for (const Entry& e : *entries) {
        const std::string path = corpus + "/pictures/" + e.name + ".png";
        Picture picture;
        const auto pixels = load_picture(path, picture.width, picture.height, err);
        if (!pixels) {
            return 1;
        }
        picture.pixels = *pixels;
        Row row{
            e, 0, {}, std::nullopt, std::nullopt, std::nullopt, {}, picture.width, picture.height,
            0, 0};
        const auto start = std::chrono::steady_clock::now();
        const Distances distances(picture, table);
        row.bound = bound(distances);
        const Greedy g = greedy(picture, distances, table);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        row.greedy = {score(picture, g.screen), blurred_mean(picture, g.screen.colours),
                      took.count()};
        if (!greedy_only) {
            for (const nes::Rgb& p : *pixels) {
                row.pixels.push_back({p.r, p.g, p.b, 255});
            }
            const tilefit::PictureView view{picture.width, picture.height, row.pixels};
            // The palettes alone, as greedy makes them: no tile budget.
            const auto [free, free_seconds] = fit_timed({&view, 1}, with(0));
            row.plain = measured(picture, free.pictures[0], free_seconds);
            const auto [dithered, dithered_seconds] =
                fit_timed({&view, 1}, with(0, tilefit::Dither::ordered));
            row.ordered = measured(picture, dithered.pictures[0], dithered_seconds);
            Budgeted budget;
            budget.free_tiles = row.plain->scores.tiles;
            for (std::size_t i = 0; i < kBudgets.size(); ++i) {
                const auto [fits, seconds] = fit_timed({&view, 1}, with(kBudgets[i]));
                const Scores fitted = score(picture, screen_of(fits.pictures[0]));
                const Scores plain =
                    score(picture, screen_of(plain_merged(free.pictures[0], kBudgets[i])));
                budget.fit_added[i] = fitted.mean - row.plain->scores.mean;
                budget.plain_added[i] = plain.mean - row.plain->scores.mean;
                budget.fit_seconds[i] = seconds;
                if (kBudgets[i] == tilebudget::max_budget) {
                    row.alone_mean = fits.pictures[0].stats.mean;
                    row.alone_tiles = fits.pictures[0].stats.tiles;
                }
            }
            row.budget = budget;
        }
        rows.push_back(std::move(row));
    }
    print_tables(rows, !greedy_only, out);
    if (!greedy_only) {
        print_goals(rows, out);
        print_budget(rows, out);
        print_share(rows, out);
    } else {
        std::fputs("\ntilefit was not measured (--greedy-only).\n", out);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    std::fprintf(out, "\n%zu pictures measured in %.0f s.\n", rows.size(), took.count());
    return 0;
}

} // namespace quality
