#include "cli.hpp"

#include "command_line.hpp"
#include "fileio.hpp"
#include "intake.hpp"
#include "nes_colours.hpp"
#include "tilepal.hpp"

#include <cerrno>
#include <span>
#include <string>
#include <vector>

namespace tilepal {

namespace {

constexpr cli::Option kOptions[] = {
    nes::palette_file_option,
};

constexpr cli::Tool kTool{
    .name = tool_name,
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
    const std::string names[] = {fileio::sibling_name(path, "pal"),
                                 fileio::sibling_name(path, "atr")};
    if (names[0].empty() || names[1].empty()) {
        cli::report(err, kTool.name, path,
                    std::string("the output names would be longer than ")
                        .append(std::to_string(fileio::max_name))
                        .append(" bytes"));
        return false;
    }
    const char* const paths[] = {names[0].c_str(), names[1].c_str()};
    fileio::OutputSet outputs;
    fileio::OutputSet::Refusal refusal;
    using Step = fileio::OutputSet::Refusal::Step;
    const auto report_refusal = [&] {
        const std::string& name = names[refusal.output];
        if (refusal.step == Step::replaces_input) {
            cli::report(err, kTool.name, name,
                        std::string("will not write over the input picture ").append(path));
        } else {
            cli::report(err, kTool.name, name,
                        refusal.step == Step::open ? "could not open it for writing"
                                                   : "could not write it",
                        refusal.why.text());
        }
        return false;
    };
    if (!outputs.open(paths, std::span(&picture, 1), refusal)) {
        return report_refusal();
    }
    const std::span<const std::uint8_t> contents[] = {result.palette, result.attributes};
    for (std::size_t i = 0; i < std::size(contents); ++i) {
        const std::span<const std::uint8_t> bytes = contents[i];
        if (!bytes.empty() &&
            std::fwrite(bytes.data(), 1, bytes.size(), outputs.stream(i)) != bytes.size()) {
            refusal = {Step::write, i, 0, fileio::Failure{errno, nullptr}};
            return report_refusal();
        }
    }
    return outputs.commit(refusal) || report_refusal();
}

// Loads a picture, says what is wrong with it or what to look out for, and
// writes its palette and attribute table beside it unless it is refused.
bool write_palette_and_attributes(const char* path, const nes::Table& table, std::FILE* err) {
    struct stat opened {};
    const intake::Loaded<intake::Image> image = intake::load(path, &opened);
    if (!image) {
        cli::report(err, kTool.name, path, "could not load the picture", image.error.text());
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
        all_done = write_palette_and_attributes(picture, *table, err) && all_done;
    }
    return all_done ? 0 : 1;
}

} // namespace tilepal
