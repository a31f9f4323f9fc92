#include "cli.hpp"

#include "command_line.hpp"
#include "fileio.hpp"
#include "fold.hpp"
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
    {.short_name = 'o', .value = "FILE", .help = "the output when one picture is named"},
    {.short_name = 'q', .help = "no report on standard output"},
};

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
};

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
    if (run.output != nullptr && line.operands().size() > 1) {
        cli::say(err, kTool.name,
                 "-o names the output of one picture, and " +
                     std::to_string(line.operands().size()) + " are named");
        return std::nullopt;
    }
    run.quiet = line.given('q');

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
        fileio::Failure why;
        // Anything much larger than 16 bytes is no palette; its size is said.
        const auto bytes = fileio::read_file(path, 1 << 20, why, &opened);
        if (!bytes) {
            cli::report(err, kTool.name, path, "could not read it", why.text());
            return std::nullopt;
        }
        const auto parsed = parse_palettes(*bytes);
        if (const auto* reason = std::get_if<std::string>(&parsed)) {
            cli::report(err, kTool.name, path, *reason);
            return std::nullopt;
        }
        run.options.palettes = std::get<Palettes>(parsed);
        run.inputs.push_back(opened);
        run.input_names.emplace_back(path);
    }
    return run;
}

// The fitted picture, written whole or not at all.
bool write(const std::string& name, const Fit& fit, const Run& run, const char* picture,
           std::span<const struct stat> inputs, std::FILE* err) {
    const char* const paths[] = {name.c_str()};
    fileio::OutputSet outputs;
    fileio::OutputSet::Refusal refusal;
    using Step = fileio::OutputSet::Refusal::Step;
    bool open = outputs.open(paths, inputs, refusal);
    if (open) {
        const auto colours = png_palette(fit.palettes, run.table);
        if (const auto reason = indexed_png::write({fit.width, fit.height, fit.pixels, colours},
                                                   outputs.stream(0))) {
            cli::report(err, kTool.name, name, "could not write it", *reason);
            return false;
        }
    }
    if (open && outputs.commit(refusal)) {
        return true;
    }
    if (refusal.step == Step::replaces_input) {
        const bool of_run = refusal.input < run.input_names.size();
        cli::report(err, kTool.name, name,
                    std::string("will not write over the input ")
                        .append(of_run ? run.input_names[refusal.input] : picture));
    } else {
        cli::report(err, kTool.name, name,
                    refusal.step == Step::open ? "could not open it for writing"
                                               : "could not write it",
                    refusal.why.text());
    }
    return false;
}

bool fit_picture(const char* path, const Run& run, std::FILE* out, std::FILE* err) {
    std::vector<struct stat> inputs = run.inputs;
    inputs.emplace_back();
    const intake::Loaded<intake::ColourImage> image = intake::load_colour(path, &inputs.back());
    if (!image) {
        cli::report(err, kTool.name, path, "could not load the picture", image.error.text());
        return false;
    }
    const std::string name =
        run.output != nullptr ? run.output : fileio::sibling_name(path, "fit.png");
    if (name.empty()) {
        cli::report(err, kTool.name, path,
                    std::string("the output name would be longer than ")
                        .append(std::to_string(fileio::max_name))
                        .append(" bytes"));
        return false;
    }
    const PictureView view{image->width(), image->height(), image->pixels()};
    const Fit fitted = fit({&view, 1}, run.table, run.options).front();
    if (!write(name, fitted, run, path, inputs, err)) {
        return false;
    }
    if (!run.quiet) {
        std::fprintf(out, "tilefit: %s -> %s: %s\n", path, name.c_str(), summary(fitted).c_str());
    }
    if (fitted.stats.beyond > 0) {
        std::fprintf(err, "%s\n", tilefold::unplaced_warning(fitted.stats.beyond, name).c_str());
    }
    return true;
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
    bool all_done = true;
    for (const char* picture : line.operands()) {
        all_done = fit_picture(picture, *run, out, err) && all_done;
    }
    return std::fflush(out) == 0 && all_done ? 0 : 1;
}

} // namespace tilefit
