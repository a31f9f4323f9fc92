#include "cli.hpp"

#include "intake.hpp"
#include "quality.hpp"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace quality {

namespace {

const char kUsage[] = "usage: fitbench [--tilefit BIN] [--work DIR] CORPUS\n";
const char kHelp[] =
    "Measures on every picture of CORPUS (the folder scripts/corpus.sh writes: its\n"
    "manifest.tsv and pictures/) the bound, the plain greedy fit and tilefit, side\n"
    "by side, and prints them as markdown tables with the goal check.\n"
    "\n"
    "  --tilefit BIN  the tilefit to measure; without it, only the bound and greedy\n"
    "  --work DIR     where tilefit's outputs go (default: CORPUS/fitted)\n";

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
    std::optional<Measured> plain;   // tilefit --dither none
    std::optional<Measured> ordered; // tilefit --dither ordered
};

// Runs the command and waits for it; its exit status, or -1 when it could
// not be started or did not exit.
int spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// tilefit on the picture, its indexed output read back as the screen shows it.
std::optional<Measured> run_tilefit(const std::string& tilefit, const std::string& picture_path,
                                    const Picture& picture, const std::string& output,
                                    const char* dither, std::FILE* err) {
    const auto start = std::chrono::steady_clock::now();
    const int status = spawn({tilefit, "-q", "--dither", dither, "-o", output, picture_path});
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (status != 0) {
        std::fprintf(err, "fitbench: %s --dither %s %s failed (status %d)\n", tilefit.c_str(),
                     dither, picture_path.c_str(), status);
        return std::nullopt;
    }
    const auto fitted = intake::load(output.c_str());
    if (!fitted || fitted->kind() != intake::Kind::indexed || fitted->width() != picture.width ||
        fitted->height() != picture.height) {
        std::fprintf(err, "fitbench: %s: not an indexed picture of %ux%u\n", output.c_str(),
                     picture.width, picture.height);
        return std::nullopt;
    }
    Screen screen;
    const std::vector<nes::Rgb>& palette = fitted->palette();
    std::vector<std::uint8_t> indices;
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const std::uint8_t index = fitted->at(x, y);
            if (index >= palette.size()) {
                std::fprintf(err, "fitbench: %s: index %u has no colour\n", output.c_str(), index);
                return std::nullopt;
            }
            indices.push_back(index);
            screen.colours.push_back(palette[index]);
            screen.c.push_back(static_cast<std::uint8_t>(index & 3));
        }
    }
    return Measured{
        score(picture, screen), blurred_mean(picture, screen.colours), took.count(),
        is_legal(picture.width, picture.height, indices, palette, nes::builtin_table())};
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

} // namespace

int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    std::string tilefit;
    std::string work;
    std::string corpus;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--tilefit" || arg == "--work") && i + 1 < argc) {
            (arg == "--tilefit" ? tilefit : work) = argv[++i];
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
    if (work.empty()) {
        work = corpus + "/fitted";
    }
    const auto entries = read_manifest(corpus + "/manifest.tsv");
    if (!entries || entries->empty()) {
        std::fprintf(err, "fitbench: %s/manifest.tsv: no pictures listed (run scripts/corpus.sh)\n",
                     corpus.c_str());
        return 1;
    }
    if (!tilefit.empty() && mkdir(work.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(err, "fitbench: %s: %s\n", work.c_str(), std::strerror(errno));
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
        Row row{e, 0, {}, std::nullopt, std::nullopt};
        const auto start = std::chrono::steady_clock::now();
        const Distances distances(picture, table);
        row.bound = bound(distances);
        const Greedy g = greedy(picture, distances, table);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        row.greedy = {score(picture, g.screen), blurred_mean(picture, g.screen.colours),
                      took.count()};
        if (!tilefit.empty()) {
            row.plain =
                run_tilefit(tilefit, path, picture, work + "/" + e.name + ".fit.png", "none", err);
            row.ordered = run_tilefit(tilefit, path, picture,
                                      work + "/" + e.name + ".ordered.fit.png", "ordered", err);
            if (!row.plain || !row.ordered) {
                return 1;
            }
        }
        rows.push_back(std::move(row));
    }
    print_tables(rows, !tilefit.empty(), out);
    if (!tilefit.empty()) {
        print_goals(rows, out);
    } else {
        std::fputs("\ntilefit was not measured (no --tilefit BIN).\n", out);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    std::fprintf(out, "\n%zu pictures measured in %.0f s.\n", rows.size(), took.count());
    return 0;
}

} // namespace quality
