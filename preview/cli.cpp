#include "cli.hpp"

#include "command_line.hpp"
#include "fileio.hpp"
#include "nes_colours.hpp"
#include "png_write.hpp"
#include "render.hpp"

#include <string>
#include <vector>

namespace tileshow {

namespace {

constexpr cli::Option kOptions[] = {
    {.short_name = 'o',
     .value = "OUT.png",
     .help = "the picture to write (required)",
     .required = "no output named (-o OUT.png)"},
    {.short_name = 'w',
     .value = "TILES",
     .help = "tiles across (32 with a name table, 16 without)"},
    {.short_name = 'p',
     .value = "FILE.pal",
     .help = "the 16-byte palette for $3F00 (else four grays)"},
    {.short_name = 'a',
     .value = "FILE.atr",
     .help = "each 16x16 area's palette from the attribute table"},
    nes::palette_file_option,
};

constexpr cli::Tool kTool{
    .name = "tileshow",
    .about = "Draws the tiles of TILES.chr as the NES would show them, as an indexed PNG\n"
             "whose indices are the colour numbers a paletted picture needs (4 x palette +\n"
             "colour), so that it goes straight back into tilecut and tilepal.\n"
             "With NAMES.nam, each name-table byte is drawn as that tile, in raster order;\n"
             "without, the tiles are drawn in order as a sheet.\n",
    .options = kOptions,
    .operands = "TILES.chr [NAMES.nam]",
    .min_operands = 1,
    .too_few = "no CHR file named",
    .max_operands = 2,
    .too_many = "more than a CHR file and a name table named",
};

// The largest files worth reading: a CHR sheet of 16384 x 16384 pixels, and
// name and attribute tables to match; palettes are tiny.
constexpr std::uint64_t kMaxTable = std::uint64_t{max_width} * max_width;
constexpr std::uint64_t kMaxChr = kMaxTable * tile_bytes;
constexpr std::uint64_t kMaxPalette = 1 << 20;

// The inputs' bytes, kept for the render, and the files they came from. A
// Source points into an inner buffer, which stays put as the list grows.
struct Inputs {
    std::vector<std::vector<std::uint8_t>> bytes;
    // Every file read, the colour table's too, by name and by identity, so
    // that the output can be checked against each.
    std::vector<const char*> names;
    std::vector<struct stat> identities;

    void note(const char* path, const struct stat& st) {
        names.push_back(path);
        identities.push_back(st);
    }

    std::optional<Source> read(const char* path, std::uint64_t limit, std::FILE* err) {
        if (path == nullptr) {
            return std::nullopt;
        }
        fileio::Failure why;
        struct stat st {};
        auto read = fileio::read_file(path, limit, why, &st);
        if (!read) {
            cli::report(err, kTool.name, path, "could not read it", why.text());
            failed = true;
            return std::nullopt;
        }
        note(path, st);
        bytes.push_back(std::move(*read));
        return Source{path, bytes.back()};
    }
    bool failed = false;
};

} // namespace

int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    const cli::Line line = cli::parse(kTool, argc, argv, out, err);
    if (line.ended()) {
        return line.status();
    }
    const char* const output = line.value('o');
    const char* const width = line.value('w');
    const char* const nes_palette = line.value(nes::palette_file_option.long_name);
    Request request;
    if (width != nullptr) {
        const auto across = parse_width(width);
        if (const Error* e = std::get_if<Error>(&across)) {
            std::fputs(e->message.c_str(), err);
            return 1;
        }
        request.width = std::get<std::uint32_t>(across);
    }
    // The colour table file's identity, so that -o cannot name it.
    struct stat nes_palette_file {};
    std::string error;
    const std::optional<NesColours> table =
        nes::load_table(kTool.name, nes_palette, error, &nes_palette_file);
    if (!table) {
        std::fputs(error.c_str(), err);
        return 1;
    }
    Inputs inputs;
    if (nes_palette != nullptr) {
        inputs.note(nes_palette, nes_palette_file);
    }
    const std::vector<const char*>& files = line.operands();
    const auto chr = inputs.read(files[0], kMaxChr, err);
    request.nam = inputs.read(files.size() == 2 ? files[1] : nullptr, kMaxTable, err);
    request.pal = inputs.read(line.value('p'), kMaxPalette, err);
    request.atr = inputs.read(line.value('a'), kMaxTable, err);
    if (inputs.failed) {
        return 1;
    }
    request.chr = *chr;

    auto drawn = render(request, *table);
    if (const Error* e = std::get_if<Error>(&drawn)) {
        std::fputs(e->message.c_str(), err);
        return 1;
    }
    const Picture& picture = std::get<Picture>(drawn);

    fileio::OutputSet outputs;
    fileio::OutputSet::Refusal refusal;
    using Step = fileio::OutputSet::Refusal::Step;
    if (!outputs.open(std::span(&output, 1), inputs.identities, refusal)) {
        if (refusal.step == Step::replaces_input) {
            cli::report(
                err, kTool.name, output,
                std::string("will not write over the input ").append(inputs.names[refusal.input]));
        } else {
            cli::report(err, kTool.name, output, "could not open it for writing",
                        refusal.why.text());
        }
        return 1;
    }
    if (const std::optional<Error> e = write_png(picture, outputs.stream(0), output)) {
        std::fputs(e->message.c_str(), err);
        return 1;
    }
    if (!outputs.commit(refusal)) {
        cli::report(err, kTool.name, output, "could not write it", refusal.why.text());
        return 1;
    }
    return 0;
}

} // namespace tileshow
