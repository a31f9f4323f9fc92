#include "cli.hpp"

#include "command_line.hpp"
#include "fileio.hpp"
#include "intake.hpp"
#include "nes_colours.hpp"
#include "tilepal.hpp"

#include <cstring>
#include <string>
#include <vector>

namespace tilepal {

namespace {

constexpr cli::Option kOptions[] = {
    nes::palette_file_option,
};

constexpr cli::Tool kTool{
    .name = "tilepal",
    .about = "Writes beside each paletted picture (BMP, PCX, PNG or TGA) its NES palette,\n"
             "PICTURE.pal (16 bytes for $3F00-$3F0F), and its attribute table, PICTURE.atr\n"
             "(one byte per 32x32 block). Palette index = 4 x palette + colour: at most 16\n"
             "colours, and one palette for the colours 1-3 of each 16x16 area.\n",
    .options = kOptions,
    .operands = "picture...",
    .missing_value = "file",
    .min_operands = 1,
};

// The outputs of one picture, written whole or not at all.
bool write_outputs(const char* path, const struct stat& picture, const Result& result,
                   std::FILE* err) {
    const std::string pal_name = fileio::sibling_name(path, "pal");
    const std::string atr_name = fileio::sibling_name(path, "atr");
    if (pal_name.empty() || atr_name.empty()) {
        std::fprintf(err, "tilepal: %s: the output names would be longer than %zu bytes\n", path,
                     fileio::max_name);
        return false;
    }
    fileio::Output pal;
    fileio::Output atr;
    fileio::Failure why;
    const auto fail = [&](const std::string& name, const char* what) {
        std::fprintf(err, "tilepal: %s: could not %s: %s\n", name.c_str(), what,
                     why.text().c_str());
        return false;
    };
    if (!pal.open(pal_name.c_str(), why)) {
        return fail(pal_name, "open it for writing");
    }
    if (!atr.open(atr_name.c_str(), why)) {
        return fail(atr_name, "open it for writing");
    }
    for (const auto& [output, name] : {std::pair{&pal, &pal_name}, std::pair{&atr, &atr_name}}) {
        if (output->replaces(picture)) {
            std::fprintf(err, "tilepal: %s: will not write over the input picture %s\n",
                         name->c_str(), path);
            return false;
        }
    }
    const auto write = [](fileio::Output& output, const auto& bytes) {
        return std::fwrite(bytes.data(), 1, bytes.size(), output.stream()) == bytes.size();
    };
    if (!write(pal, result.palette)) {
        why = fileio::Failure{errno, nullptr};
        return fail(pal_name, "write it");
    }
    if (!result.attributes.empty() && !write(atr, result.attributes)) {
        why = fileio::Failure{errno, nullptr};
        return fail(atr_name, "write it");
    }
    // Both are complete before either replaces what was there.
    if (!pal.finish(why)) {
        return fail(pal_name, "write it");
    }
    if (!atr.finish(why)) {
        return fail(atr_name, "write it");
    }
    if (!pal.commit(why)) {
        return fail(pal_name, "write it");
    }
    if (!atr.commit(why)) {
        return fail(atr_name, "write it");
    }
    return true;
}

bool convert(const char* path, const nes::Table& table, std::FILE* err) {
    struct stat opened {};
    const std::optional<intake::Image> image = intake::load(path, &opened);
    if (!image) {
        cli::report(err, kTool.name, path, "could not load the picture");
        return false;
    }
    const Result result = analyse(*image, table);
    for (const std::string& line : messages(result, path)) {
        std::fputs(line.c_str(), err);
    }
    return !result.refused() && write_outputs(path, opened, result, err);
}

} // namespace

int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    const cli::Line line = cli::parse(kTool, argc, argv, out, err);
    if (line.ended()) {
        return line.status();
    }
    std::string error;
    const std::optional<nes::Table> table =
        nes::load_table(kTool.name, line.value(nes::palette_file_option.long_name), error);
    if (!table) {
        std::fputs(error.c_str(), err);
        return 1;
    }
    if (!intake::start()) {
        std::fputs("tilepal: could not start the Allegro library\n", err);
        return 1;
    }
    // Every picture is tried, so that one run reports all that needs fixing.
    bool all_done = true;
    for (const char* picture : line.operands()) {
        all_done = convert(picture, *table, err) && all_done;
    }
    return all_done ? 0 : 1;
}

} // namespace tilepal
