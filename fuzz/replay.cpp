// Runs every file of the fuzz corpora through the intake, uninstrumented, so
// that a memory checker sees what happens inside the image libraries, which
// the fuzzers' sanitizers do not instrument.
//   intake_replay DIR...     (each DIR named after its format: ..._bmp_fuzz)
#include "fuzz_limits.hpp"
#include "intake.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2 || !intake::start()) {
        std::fputs("syntax: intake_replay DIR...\n", stderr);
        return 2;
    }
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string dir = argv[i];
        std::optional<intake::Format> format;
        for (const intake::FormatInfo& f : intake::formats()) {
            if (dir.find(std::string("_") + f.name + "_") != std::string::npos) {
                format = f.format;
            }
        }
        if (!format) {
            std::fprintf(stderr, "intake_replay: no format in the name %s\n", dir.c_str());
            return 2;
        }
        for (const auto& entry : fs::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                                  std::istreambuf_iterator<char>());
            if (!decodes_whole(*format, bytes)) {
                std::fprintf(stderr, "intake_replay: %s\n", entry.path().c_str());
                return 1;
            }
            ++files;
        }
    }
    std::printf("intake_replay: %d files\n", files);
    return 0;
}
