#include "cli.hpp"

#include "convert.hpp"
#include "fileio.hpp"
#include "intake.hpp"

#include <cerrno>
#include <cstring>

namespace tilecut {

namespace {

const char kUsage[] = "tilecut by Quorvain: convert .bmp or .pcx files to NES .chr\n"
                      "syntax: tilecut file.bmp file2.bmp (convert from 4-color indexed)\n"
                      "        tilecut -d file3.bmp file4.bmp (dither from GIMP grayscale)";

// Says the output could not be written, and gives the exit status of a
// failed run.
int report_write_error(std::FILE* err, const std::string& name, const std::string& reason) {
    std::fprintf(err, "could not write %s: %s\n", name.c_str(), reason.c_str());
    return 1;
}

// Converts one image to a CHR file beside it. The output replaces an
// earlier one only once all of it has been written.
int convert_file(const char* path, bool dither, std::FILE* err) {
    struct stat opened {};
    intake::Loaded<intake::Image> image = intake::load(path, &opened);
    const std::string name = output_name(path);
    if (!image) {
        std::fprintf(err, "could not load bitmap %s\n", path);
        return 1;
    }
    fileio::Output output;
    fileio::Failure why;
    if (name.empty() || !output.open(name.c_str(), why)) {
        std::fputs("could not open destination file\n", err);
        return 1;
    }
    // pic.chr may be a link to pic.bmp, or another name for it.
    if (output.replaces(opened)) {
        std::fprintf(err, "will not write %s: it is the input image %s\n", name.c_str(), path);
        return 1;
    }
    int error = 0;
    const bool written = convert(*image, dither, [&](std::span<const std::uint8_t> tiles) {
        if (std::fwrite(tiles.data(), 1, tiles.size(), output.stream()) == tiles.size()) {
            return true;
        }
        error = errno;
        return false;
    });
    if (!written) {
        return report_write_error(err, name, std::strerror(error));
    }
    if (!output.commit(why)) {
        return report_write_error(err, name, why.text());
    }
    return 0;
}

} // namespace

int run(int argc, const char* const* argv, std::FILE*, std::FILE* err) {
    if (!intake::start()) {
        std::fputs("could not start the Allegro library\n", err);
        return 1;
    }
    bool dither = false;
    int converted = 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] == '-') {
            // Only the letter after the dash counts, so "-dark" also dithers.
            if (arg[1] == 'd') {
                dither = true;
            }
            continue;
        }
        if (convert_file(arg, dither, err) != 0) {
            return 1;
        }
        ++converted;
    }
    if (converted == 0) {
        std::fputs(kUsage, err);
        return 1;
    }
    return 0;
}

} // namespace tilecut
