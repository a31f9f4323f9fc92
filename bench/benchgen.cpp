// benchgen DIR: writes the benchmark's inputs into DIR (which must exist).
#include "inputs.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace {

constexpr std::size_t mib = 1024 * 1024;

struct Input {
    const char* name;
    std::function<bench::Bytes()> make;
};

int generate(const std::string& dir) {
    const Input inputs[] = {
        {"screen.bmp", [] { return bench::to_bmp(bench::screen(256, 240, 1)); }},
        {"photo.png", [] { return bench::to_png(bench::photo(256, 240, 8)); }},
        {"photo-large.png", [] { return bench::to_png(bench::photo(1024, 1024, 9)); }},
        {"cells.png", [] { return bench::to_png(bench::photo(256, 240, 10, 40)); }},
        {"share-1.png", [] { return bench::to_png(bench::photo(256, 240, 11, 40)); }},
        {"share-2.png", [] { return bench::to_png(bench::photo(256, 240, 12, 40)); }},
        {"share-3.png", [] { return bench::to_png(bench::photo(256, 240, 13, 40)); }},
        {"share-4.png", [] { return bench::to_png(bench::photo(256, 240, 14, 40)); }},
        {"share-5.png", [] { return bench::to_png(bench::photo(256, 240, 15, 40)); }},
        {"share-6.png", [] { return bench::to_png(bench::photo(256, 240, 16, 40)); }},
        {"share-7.png", [] { return bench::to_png(bench::photo(256, 240, 17, 40)); }},
        {"share-8.png", [] { return bench::to_png(bench::photo(256, 240, 18, 40)); }},
        {"picture.bmp", [] { return bench::to_bmp(bench::scene(4096, 4096, 2)); }},
        {"picture-small.bmp", [] { return bench::to_bmp(bench::scene(1024, 1024, 2)); }},
        {"sheet.bmp", [] { return bench::to_bmp(bench::scene(8192, 8192, 3)); }},
        {"random.chr", [] { return bench::random_bytes(16 * mib, 4); }},
        {"random-small.chr", [] { return bench::random_bytes(mib, 4); }},
        {"prefix.chr", [] { return bench::shared_prefix_tiles(16 * mib, 300, 5); }},
        {"random.bin", [] { return bench::random_bytes(16 * mib, 6); }},
        {"random-small.bin", [] { return bench::random_bytes(mib, 6); }},
        {"runs.bin", [] { return bench::long_runs(16 * mib, 7); }},
        {"largest-rle8.bmp", [] { return bench::largest_rle8_bmp(); }},
        {"largest-8bit.pcx", [] { return bench::largest_pcx(1); }},
        {"largest-24bit.pcx", [] { return bench::largest_pcx(3); }},
        {"largest-rle32.tga", [] { return bench::largest_rle32_tga(); }},
        {"largest-gray.png", [] { return bench::largest_gray_png(); }},
    };
    for (const Input& input : inputs) {
        const std::string path = dir + "/" + input.name;
        if (!bench::write_file(path, input.make())) {
            std::fprintf(stderr, "benchgen could not write %s: %s\n", path.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("syntax: benchgen DIR\n", stderr);
        return 1;
    }
    return generate(argv[1]);
}
