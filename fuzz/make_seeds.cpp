// Writes the fuzzers' seed corpus into DIR/FORMAT, one folder for each
// format: small valid files of every kind the checked readers accept.
#include "image_files.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

Pixels stripes(int w, int h, int limit) {
    Pixels px(static_cast<std::size_t>(w * h));
    for (std::size_t i = 0; i < px.size(); ++i) {
        px[i] = static_cast<int>(i / 5 % static_cast<std::size_t>(limit));
    }
    return px;
}

void save(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("syntax: make_seeds DIR\n", stderr);
        return 1;
    }
    const fs::path dir = argv[1];
    int n = 0;
    for (const std::uint32_t info : {12u, 40u, 56u, 124u}) {
        for (const int bpp : {1, 4, 8}) {
            for (const bool rle : {false, true}) {
                if ((rle && bpp == 1) || (info == 12 && rle)) {
                    continue;
                }
                const BmpKind format{info, bpp, rle, info == 124 && !rle};
                save(dir / "bmp" / ("seed" + std::to_string(n++)),
                     bmp_file(format, 13, 5, stripes(13, 5, 1 << bpp)));
            }
        }
    }
    for (const int line_bytes : {9, 10}) {
        save(dir / "pcx" / ("seed" + std::to_string(line_bytes)),
             pcx_file(9, 4, stripes(9, 4, 256), line_bytes));
    }
    const struct {
        int type;
        int depth;
    } pngs[] = {{PNG_COLOR_TYPE_PALETTE, 1}, {PNG_COLOR_TYPE_PALETTE, 4},
                {PNG_COLOR_TYPE_PALETTE, 8}, {PNG_COLOR_TYPE_GRAY, 2},
                {PNG_COLOR_TYPE_GRAY, 16},   {PNG_COLOR_TYPE_GRAY_ALPHA, 8}};
    for (const auto& p : pngs) {
        const int limit = p.depth >= 8 ? 256 : 1 << p.depth;
        for (const bool interlace : {false, true}) {
            save(dir / "png" / ("seed" + std::to_string(n++)),
                 png_file(11, 6, p.type, p.depth, stripes(11, 6, limit), interlace));
        }
    }
    const struct {
        int type;
        int bpp;
        int map_entry;
    } tgas[] = {{1, 8, 24}, {1, 8, 15}, {2, 16, 0}, {2, 24, 0}, {2, 32, 0}, {3, 8, 0}};
    for (const auto& t : tgas) {
        for (const bool rle : {false, true}) {
            // Coded ones top-down, plain ones right-to-left.
            const TgaKind kind{.type = t.type | (rle ? 8 : 0),
                               .bpp = t.bpp,
                               .top_down = rle,
                               .right_to_left = !rle,
                               .map_first = rle ? 200 : 0,
                               .map_entry = t.map_entry};
            const std::uint32_t limit = t.bpp == 8 ? 256 : 1u << 15;
            Pixels px = stripes(9, 5, 256);
            for (int& v : px) {
                v = static_cast<int>(static_cast<std::uint32_t>(v * 4099) % limit);
            }
            save(dir / "tga" / ("seed" + std::to_string(n++)), tga_file(kind, 9, 5, px));
        }
    }
    return 0;
}
