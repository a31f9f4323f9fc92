#include "cli.hpp"

#include "fileio.hpp"
#include "png_write.hpp"
#include "render.hpp"

#include <string>
#include <vector>

namespace tileshow {

namespace {

const char kUsage[] =
    "usage: tileshow [-w TILES] [-p FILE.pal] [-a FILE.atr] [--nes-palette FILE]\n"
    "                TILES.chr [NAMES.nam] -o OUT.png\n";
const char kHelp[] =
    "Draws the tiles of TILES.chr as the NES would show them, as an indexed PNG\n"
    "whose indices are the colour numbers a paletted picture needs (4 x palette +\n"
    "colour), so that it goes straight back into tilecut and tilepal.\n"
    "With NAMES.nam, each name-table byte is drawn as that tile, in raster order;\n"
    "without, the tiles are drawn in order as a sheet.\n"
    "\n"
    "  -o OUT.png          the picture to write (required)\n"
    "  -w TILES            tiles across (32 with a name table, 16 without)\n"
    "  -p FILE.pal         the 16-byte palette for $3F00 (else four grays)\n"
    "  -a FILE.atr         each 16x16 area's palette from the attribute table\n"
    "  --nes-palette FILE  the console's colours from an emulator's palette file\n"
    "                      (192 bytes, or 1536 with emphasis), not the built-in ones\n"
    "  -h, --help          show this help and exit\n"
    "  --version           show the version and exit\n";

// The largest files worth reading: a CHR sheet of 16384 x 16384 pixels, and
// name and attribute tables to match; palettes are tiny.
constexpr std::uint64_t kMaxTable = std::uint64_t{max_width} * max_width;
constexpr std::uint64_t kMaxChr = kMaxTable * tile_bytes;
constexpr std::uint64_t kMaxPalette = 1 << 20;

struct Options {
    bool help = false;
    bool version = false;
    const char* chr = nullptr;
    const char* nam = nullptr;
    const char* out = nullptr;
    const char* width = nullptr;
    const char* pal = nullptr;
    const char* atr = nullptr;
    const char* nes_palette = nullptr;
};

// Nothing when the command line is wrong, after saying why. Help and the
// version are asked for anywhere on the line, but not as an option's value.
std::optional<Options> parse(int argc, const char* const* argv, std::FILE* err) {
    Options o;
    std::vector<const char*> files;
    std::string wrong;
    bool only_files = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char** value = nullptr;
        if (!only_files && arg == "--") {
            only_files = true;
            continue;
        }
        if (only_files || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(argv[i]);
            continue;
        }
        if (arg == "-h" || arg == "--help" || arg == "--version") {
            (arg == "--version" ? o.version : o.help) = true;
            continue;
        }
        if (arg == "-o") {
            value = &o.out;
        } else if (arg == "-w") {
            value = &o.width;
        } else if (arg == "-p") {
            value = &o.pal;
        } else if (arg == "-a") {
            value = &o.atr;
        } else if (arg == "--nes-palette") {
            value = &o.nes_palette;
        }
        if (value == nullptr || i + 1 == argc) {
            if (wrong.empty()) {
                wrong = (value == nullptr ? "unknown option " : "missing value after ") + arg;
            }
            continue;
        }
        *value = argv[++i];
    }
    if (o.help || o.version) {
        return o;
    }
    if (wrong.empty() && (files.empty() || files.size() > 2)) {
        wrong = files.empty() ? "no CHR file named" : "more than a CHR file and a name table named";
    }
    if (wrong.empty() && o.out == nullptr) {
        wrong = "no output named (-o OUT.png)";
    }
    if (!wrong.empty()) {
        std::fprintf(err, "tileshow: %s\n", wrong.c_str());
        std::fputs(kUsage, err);
        return std::nullopt;
    }
    o.chr = files[0];
    o.nam = files.size() == 2 ? files[1] : nullptr;
    return o;
}

// The inputs' bytes, kept for the render, and the files they came from. A
// Source points into an inner buffer, which stays put as the list grows.
struct Inputs {
    std::vector<std::vector<std::uint8_t>> bytes;
    std::vector<std::pair<const char*, struct stat>> files;

    std::optional<Source> read(const char* path, std::uint64_t limit, std::FILE* err) {
        if (path == nullptr) {
            return std::nullopt;
        }
        fileio::Failure why;
        struct stat st {};
        auto read = fileio::read_file(path, limit, why, &st);
        if (!read) {
            std::fprintf(err, "tileshow: %s: could not read it: %s\n", path, why.text().c_str());
            failed = true;
            return std::nullopt;
        }
        files.emplace_back(path, st);
        bytes.push_back(std::move(*read));
        return Source{path, bytes.back()};
    }
    bool failed = false;
};

} // namespace

int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    const std::optional<Options> o = parse(argc, argv, err);
    if (!o) {
        return 1;
    }
    if (o->help || o->version) {
        if (o->help) {
            std::fputs(kUsage, out);
            std::fputs(kHelp, out);
        } else {
            std::fputs("tileshow (" SUITE_NAME ") " SUITE_VERSION "\n", out);
        }
        return std::fflush(out) == 0 ? 0 : 1;
    }
    Request request;
    if (o->width != nullptr) {
        const auto width = parse_width(o->width);
        if (const Error* e = std::get_if<Error>(&width)) {
            std::fputs(e->message.c_str(), err);
            return 1;
        }
        request.width = std::get<std::uint32_t>(width);
    }
    // The colour table file's identity, so that -o cannot name it.
    struct stat nes_palette {};
    std::string error;
    const std::optional<NesColours> table =
        nes::load_table("tileshow", o->nes_palette, error, &nes_palette);
    if (!table) {
        std::fputs(error.c_str(), err);
        return 1;
    }
    Inputs inputs;
    if (o->nes_palette != nullptr) {
        inputs.files.emplace_back(o->nes_palette, nes_palette);
    }
    const auto chr = inputs.read(o->chr, kMaxChr, err);
    request.nam = inputs.read(o->nam, kMaxTable, err);
    request.pal = inputs.read(o->pal, kMaxPalette, err);
    request.atr = inputs.read(o->atr, kMaxTable, err);
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

    fileio::Output png;
    fileio::Failure why;
    if (!png.open(o->out, why)) {
        std::fprintf(err, "tileshow: %s: could not open it for writing: %s\n", o->out,
                     why.text().c_str());
        return 1;
    }
    for (const auto& [path, st] : inputs.files) {
        if (png.replaces(st)) {
            std::fprintf(err, "tileshow: %s: will not write over the input %s\n", o->out, path);
            return 1;
        }
    }
    if (const std::optional<Error> e = write_png(picture, png.stream(), o->out)) {
        std::fputs(e->message.c_str(), err);
        return 1;
    }
    if (!png.commit(why)) {
        std::fprintf(err, "tileshow: %s: could not write it: %s\n", o->out, why.text().c_str());
        return 1;
    }
    return 0;
}

} // namespace tileshow
