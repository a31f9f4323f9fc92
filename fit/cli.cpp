#include "cli.hpp"

#include "command_line.hpp"
#include "fileio.hpp"
#include "indexed_png.hpp"
#include "intake.hpp"
#include "nes_colours.hpp"
#include "tilefit.hpp"

#include <sys/stat.h>

#include <string>
#include <vector>

namespace tilefit {

namespace {

constexpr cli::Option kOptions[] = {
    {.long_name = "dither",
     .value = "MODE",
     .help = "none (the default): each pixel the nearest of its area's\n"
             "four colours; ordered: a fixed pattern between its two\n"
             "nearest, mixed in linear light"},
    {.long_name = "backdrop",
     .value = "NN",
     .help = "the backdrop fixed to NES colour NN (0F or $0F), not chosen"},
    {.long_name = "palettes",
     .value = "FILE",
     .help = "impose the 16-byte .pal that tilepal writes: only each\n"
             "area's sub-palette and each pixel's colour are chosen"},
    nes::palette_file_option,
    // The help is a constant text; the assertion below holds it to the limit.
    {.long_name = "max-tiles",
     .value = "N",
     .help = "at most N distinct tiles (1-256, the default 256), the kept\n"
             "ones included: cells take other patterns at the least\n"
             "visible cost"},
    {.long_name = "keep-tiles",
     .value = "FILE",
     .help = "the tiles of a CHR file, such as a font, kept as they are\n"
             "in the first slots"},
    {.long_name = "share",
     .help = "one backdrop, one set of sub-palettes and one budget of\n"
             "tiles for all the pictures together, and a last line for\n"
             "their total"},
    {.short_name = 'o', .value = "FILE", .help = "the output when one picture is named"},
    {.short_name = 'q', .help = "no report on standard output"},
};

static_assert(tilebudget::max_budget == 256, "--max-tiles' help gives the range as 1-256");

constexpr cli::Tool kTool{
    .name = "tilefit",
    .about = "Makes each picture (BMP, PCX, PNG or TGA, in any colours) a legal NES\n"
             "background with the least visible error, and writes it beside it as\n"
             "PICTURE.fit.png: an indexed PNG whose index is 4 x sub-palette + colour, its\n"
             "entries exactly the NES colours. One line per picture reports the palettes,\n"
             "the tiles and the CIEDE2000 error, with the bound that no legal picture beats.\n",
    .options = kOptions,
    .operands = "picture...",
    .missing_value = "value",
    .min_operands = 1,
};

// What stays the same for every picture of a run.
struct Run {
    nes::Table table{};
    Options options;
    // The palette files, never to be written over, and their names.
    std::vector<struct stat> inputs;
    std::vector<std::string> input_names;
    const char* output = nullptr;
    bool quiet = false;
    bool share = false;
};

// A palette file or a CHR file given to an option: read whole, or said why
// not. None is anywhere near 1 MiB; a larger one has its size said.
std::optional<std::vector<std::uint8_t>> read_input(const char* path, Run& run, std::FILE* err) {
    fileio::Failure why;
    struct stat opened {};
    auto bytes = fileio::read_file(path, 1 << 20, why, &opened);
    if (!bytes) {
        cli::report(err, kTool.name, path, "could not read it", why.text());
        return std::nullopt;
    }
    run.inputs.push_back(opened);
    run.input_names.emplace_back(path);
    return bytes;
}

// --max-tiles's value; nothing, once said why, when it is no number of tiles.
std::optional<std::size_t> max_tiles(const char* text, std::FILE* err) {
    std::size_t value = 0;
    const std::string_view digits(text);
    bool number = !digits.empty() && digits.size() <= 3;
    for (const char digit : digits) {
        number = number && digit >= '0' && digit <= '9';
        value = value * 10 + static_cast<std::size_t>(digit - '0');
    }
    if (!number || value < 1 || value > tilebudget::max_budget) {
        cli::say(err, kTool.name,
                 "--max-tiles takes a number of tiles from 1 to " +
                     std::to_string(tilebudget::max_budget) + ", not " + text);
        return std::nullopt;
    }
    return value;
}

// The kept tiles, which must fit the budget; nothing, once said why.
std::optional<std::vector<tilebudget::Pattern>> kept_tiles(const char* path, std::size_t budget,
                                                           Run& run, std::FILE* err) {
    const auto bytes = read_input(path, run, err);
    if (!bytes) {
        return std::nullopt;
    }
    if (bytes->size() % nes::tile_bytes != 0) {
        cli::report(err, kTool.name, path,
                    std::to_string(bytes->size()) + " bytes, not a whole number of " +
                        std::to_string(nes::tile_bytes) + "-byte tiles");
        return std::nullopt;
    }
    const std::size_t count = bytes->size() / nes::tile_bytes;
    if (count > budget) {
        cli::report(err, kTool.name, path,
                    std::to_string(count) + " tiles, more than the " + std::to_string(budget) +
                        " that --max-tiles allows");
        return std::nullopt;
    }
    std::vector<tilebudget::Pattern> kept;
    for (std::size_t t = 0; t < count; ++t) {
        kept.push_back(tilebudget::pattern_of_tile(std::span<const std::uint8_t, nes::tile_bytes>(
            bytes->data() + t * nes::tile_bytes, nes::tile_bytes)));
    }
    return kept;
}

// The run's settings from the line; nothing, once said why, when one is wrong.
std::optional<Run> settings(const cli::Line& line, std::FILE* err) {
    Run run;
    const char* const dither = line.value("dither");
    if (dither != nullptr && std::string_view(dither) == "ordered") {
        run.options.dither = Dither::ordered;
    } else if (dither != nullptr && std::string_view(dither) != "none") {
        cli::say(err, kTool.name,
                 std::string("--dither takes none or ordered, not ").append(dither));
        return std::nullopt;
    }
    if (const char* const backdrop = line.value("backdrop")) {
        const auto parsed = parse_backdrop(backdrop);
        if (const auto* why = std::get_if<std::string>(&parsed)) {
            cli::say(err, kTool.name, *why);
            return std::nullopt;
        }
        run.options.backdrop = std::get<std::uint8_t>(parsed);
    }
    run.output = line.value('o');
    run.share = line.given("share");
    if (run.share && run.output != nullptr) {
        cli::say(err, kTool.name, "--share writes each picture beside it, and -o names one output");
        return std::nullopt;
    }
    if (run.output != nullptr && line.operands().size() > 1) {
        cli::say(err, kTool.name,
                 "-o names the output of one picture, and " +
                     std::to_string(line.operands().size()) + " are named");
        return std::nullopt;
    }
    run.quiet = line.given('q');
    if (const char* const text = line.value("max-tiles")) {
        const auto budget = max_tiles(text, err);
        if (!budget) {
            return std::nullopt;
        }
        run.options.max_tiles = *budget;
    }

    std::string error;
    struct stat opened {};
    const char* const table_path = line.value(nes::palette_file_option.long_name);
    const std::optional<nes::Table> table = nes::load_table(kTool.name, table_path, error, &opened);
    if (!table) {
        std::fputs(error.c_str(), err);
        return std::nullopt;
    }
    run.table = *table;
    if (table_path != nullptr) {
        run.inputs.push_back(opened);
        run.input_names.emplace_back(table_path);
    }
    if (const char* const path = line.value("palettes")) {
        const auto bytes = read_input(path, run, err);
        if (!bytes) {
            return std::nullopt;
        }
        const auto parsed = parse_palettes(*bytes);
        if (const auto* reason = std::get_if<std::string>(&parsed)) {
            cli::report(err, kTool.name, path, *reason);
            return std::nullopt;
        }
        run.options.palettes = std::get<Palettes>(parsed);
    }
    if (const char* const path = line.value("keep-tiles")) {
        auto kept = kept_tiles(path, run.options.max_tiles, run, err);
        if (!kept) {
            return std::nullopt;
        }
        run.options.kept = std::move(*kept);
    }
    return run;
}

// Where a picture's fit goes unless -o names it.
std::string default_output(const char* path) {
    return fileio::sibling_name(path, "fit.png");
}

// A picture read, and where its fit goes.
struct Picture {
    const char* path = nullptr;
    std::string output;
    intake::ColourImage image;
};

// Reads a picture and names its output; nothing, once said why. `opened`
// gets the file's identity, so that no output replaces it.
std::optional<Picture> read_picture(const char* path, const Run& run, struct stat& opened,
                                    std::FILE* err) {
    intake::Loaded<intake::ColourImage> image = intake::load_colour(path, &opened);
    if (!image) {
        cli::report(err, kTool.name, path, "could not load the picture", image.error.text());
        return std::nullopt;
    }
    Picture picture{path, run.output != nullptr ? run.output : default_output(path),
                    std::move(*image)};
    if (picture.output.empty()) {
        cli::report(err, kTool.name, path,
                    std::string("the output name would be longer than ")
                        .append(std::to_string(fileio::max_name))
                        .append(" bytes"));
        return std::nullopt;
    }
    return picture;
}

// The fitted pictures, written whole or not at all, together. `inputs` are
// the run's own files, then the pictures'.
bool write(std::span<const Picture> pictures, const Fits& fits, const Run& run,
           std::span<const struct stat> inputs, std::FILE* err) {
    std::vector<const char*> paths;
    for (const Picture& picture : pictures) {
        paths.push_back(picture.output.c_str());
    }
    fileio::OutputSet outputs;
    fileio::OutputSet::Refusal refusal;
    using Step = fileio::OutputSet::Refusal::Step;
    bool open = outputs.open(paths, inputs, refusal);
    for (std::size_t i = 0; open && i < pictures.size(); ++i) {
        const Fit& fit = fits.pictures[i];
        const auto colours = png_palette(fit.palettes, run.table);
        if (const auto reason = indexed_png::write({fit.width, fit.height, fit.pixels, colours},
                                                   outputs.stream(i))) {
            cli::report(err, kTool.name, paths[i], "could not write it", *reason);
            return false;
        }
    }
    if (open && outputs.commit(refusal)) {
        return true;
    }
    const char* const name = paths[refusal.output];
    if (refusal.step == Step::replaces_input) {
        const bool of_run = refusal.input < run.input_names.size();
        cli::report(err, kTool.name, name,
                    std::string("will not write over the input ")
                        .append(of_run ? run.input_names[refusal.input]
                                       : pictures[refusal.input - run.input_names.size()].path));
    } else {
        cli::report(err, kTool.name, name,
                    refusal.step == Step::open ? "could not open it for writing"
                                               : "could not write it",
                    refusal.why.text());
    }
    return false;
}

// Fits the pictures together, writes them and reports each.
bool fit_together(std::span<const Picture> pictures, const Run& run,
                  std::span<const struct stat> inputs, std::FILE* out, std::FILE* err) {
    std::vector<PictureView> views;
    for (const Picture& picture : pictures) {
        views.push_back({picture.image.width(), picture.image.height(), picture.image.pixels()});
    }
    const Fits fits = fit(views, run.table, run.options);
    if (!fits.within_budget) {
        for (const Picture& picture : pictures) {
            cli::report(err, kTool.name, picture.path,
                        "the cells its edges cut, which tilecut pads with colour 3, match none "
                        "of the kept tiles, and these fill --max-tiles");
        }
        return false;
    }
    if (!write(pictures, fits, run, inputs, err)) {
        return false;
    }
    for (std::size_t i = 0; i < pictures.size() && !run.quiet; ++i) {
        const Fit& fit = fits.pictures[i];
        std::fprintf(out, "tilefit: %s -> %s: %s\n", pictures[i].path, pictures[i].output.c_str(),
                     summary(fit.palettes, fit.stats).c_str());
    }
    if (run.share && !run.quiet) {
        std::fprintf(out, "tilefit: %zu pictures: %s\n", pictures.size(),
                     summary(fits.pictures.front().palettes, fits.total).c_str());
    }
    return true;
}

// Two pictures whose outputs would have one name (a.png and a.bmp), so that
// one fit would replace the other; said of the later picture.
bool outputs_collide(std::span<const char* const> paths, std::FILE* err) {
    std::vector<std::string> names;
    for (const char* path : paths) {
        names.push_back(default_output(path));
        for (std::size_t i = 0; !names.back().empty() && i + 1 < names.size(); ++i) {
            if (names[i] == names.back()) {
                cli::report(err, kTool.name, path,
                            "its output " + names[i] + " would replace that of " + paths[i]);
                return true;
            }
        }
    }
    return false;
}

// One picture at a time; with --share, all of them once all are read.
bool fit_all(std::span<const char* const> paths, const Run& run, std::FILE* out, std::FILE* err) {
    if (run.output == nullptr && outputs_collide(paths, err)) {
        return false;
    }
    std::vector<struct stat> inputs = run.inputs;
    std::vector<Picture> pictures;
    bool all_done = true;
    for (const char* path : paths) {
        struct stat opened {};
        std::optional<Picture> picture = read_picture(path, run, opened, err);
        if (!picture) {
            all_done = false;
        } else if (run.share) {
            inputs.push_back(opened);
            pictures.push_back(std::move(*picture));
        } else {
            std::vector<struct stat> own = run.inputs;
            own.push_back(opened);
            all_done = fit_together({&*picture, 1}, run, own, out, err) && all_done;
        }
    }
    // Pictures that share a palette set are written all or none.
    if (run.share && all_done) {
        return fit_together(pictures, run, inputs, out, err);
    }
    return all_done;
}

} // namespace

int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    const cli::Line line = cli::parse(kTool, argc, argv, out, err);
    if (line.ended()) {
        return line.status();
    }
    const std::optional<Run> run = settings(line, err);
    if (!run) {
        return 1;
    }
    if (!intake::start()) {
        cli::say(err, kTool.name, intake::start_failure);
        return 1;
    }
    // Every picture is tried, so that one run reports all that needs fixing.
    const bool all_done = fit_all(line.operands(), *run, out, err);
    return std::fflush(out) == 0 && all_done ? 0 : 1;
}

} // namespace tilefit
