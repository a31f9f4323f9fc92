#include "convert.hpp"
#include "intake.hpp"

#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

const char kUsage[] = "tilecut by Quorvain: convert .bmp or .pcx files to NES .chr\n"
                      "syntax: tilecut file.bmp file2.bmp (convert from 4-color indexed)\n"
                      "        tilecut -d file3.bmp file4.bmp (dither from GIMP grayscale)";

} // namespace

int main(int argc, char** argv) {
    install_allegro(SYSTEM_NONE, &errno, std::atexit);
    register_checked_readers();

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
        if (convert(arg, dither) != 0) {
            return 1;
        }
        ++converted;
    }
    if (converted == 0) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    return 0;
}
END_OF_MAIN()
