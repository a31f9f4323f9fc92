// Fuzzes tilefit's search on small pictures whose pixels come from a handful
// of colours, so that both the exact packing and the local search are
// reached: every answer must be a legal screen (each pixel the backdrop or a
// colour of its area's sub-palette, every number a candidate), its figures
// consistent, its tiles within the budget the input sets, kept tiles
// included, and the same on a second run. The first 16 bytes are also read
// as an imposed palette file.
#include "tilefit.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

// Says which check failed, so that a finding reads at once.
void check(bool condition, int line) {
    if (!condition) {
        std::fprintf(stderr, "fit_fuzz: the check at line %d failed\n", line);
        std::abort();
    }
}

} // namespace

#define require(condition) check((condition), __LINE__)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 20) {
        return 0;
    }
    const std::span<const std::uint8_t> bytes(data, size);
    const nes::Table& table = nes::builtin_table();
    tilefit::Options options;
    const auto imposed = tilefit::parse_palettes(bytes.first(nes::palette_bytes));
    if (const auto* palettes = std::get_if<tilefit::Palettes>(&imposed);
        palettes && bytes[16] & 1) {
        options.palettes = *palettes;
    }
    if (bytes[16] & 2) {
        options.dither = tilefit::Dither::ordered;
    }
    // Budgets from 1 to 32 tiles, smaller than the 36 cells a picture may
    // have, and up to two kept tiles among them.
    options.max_tiles = 1 + (bytes[16] >> 3);
    for (std::size_t k = 0; k < ((bytes[16] >> 2) & 1U) + 1 && k < options.max_tiles; ++k) {
        tilebudget::Pattern kept{};
        for (std::size_t px = 0; px < kept.size(); ++px) {
            kept[px] = static_cast<std::uint8_t>(bytes[(k * 64 + px) % size] % 4);
        }
        options.kept.push_back(kept);
    }
    // Up to 48x48 pixels of up to 16 colours taken from the input.
    const std::uint32_t width = 1 + bytes[17] % 48;
    const std::uint32_t height = 1 + bytes[18] % 48;
    const std::size_t colours = 1 + bytes[19] % 16;
    const std::span<const std::uint8_t> rest = bytes.subspan(20);
    std::vector<tilefit::Rgba> palette(colours);
    for (std::size_t i = 0; i < colours; ++i) {
        const auto at = [&](std::size_t k) -> std::uint8_t {
            return rest.empty() ? 0 : rest[(4 * i + k) % rest.size()];
        };
        palette[i] = {at(0), at(1), at(2), static_cast<std::uint8_t>(at(3) | 0x70)};
    }
    std::vector<tilefit::Rgba> pixels(std::size_t{width} * height);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = rest.empty() ? palette[0] : palette[rest[i % rest.size()] % colours];
    }
    const tilefit::PictureView picture{width, height, pixels};
    const tilefit::Fits fits = tilefit::fit(std::span(&picture, 1), table, options);
    const std::vector<tilefit::Fit>& first = fits.pictures;
    require(first.size() == 1);
    const tilefit::Fit& fit = first[0];
    require(fit.pixels.size() == pixels.size());
    require(nes::is_candidate(fit.palettes.backdrop));
    for (const auto& sub : fit.palettes.sub) {
        for (const std::uint8_t number : sub) {
            require(nes::is_candidate(number));
        }
    }
    if (options.palettes) {
        require(fit.palettes == *options.palettes);
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t index = fit.pixels[std::size_t{y} * width + x];
            const std::uint8_t area =
                fit.areas[std::size_t{y / nes::area_side_px} * fit.areas_across +
                          x / nes::area_side_px];
            require(index < nes::palette_bytes && (index == 0 || index / 4 == area));
        }
    }
    require(fit.stats.mean + 1e-9 >= fit.stats.bound && fit.stats.max + 1e-9 >= fit.stats.p95);
    // The tiles tilecut will cut, its padding past the edges included.
    std::vector<tilebudget::Pattern> tiles = options.kept;
    for (std::uint32_t ty = 0; ty < height; ty += nes::cell_side_px) {
        for (std::uint32_t tx = 0; tx < width; tx += nes::cell_side_px) {
            tilebudget::Pattern tile{};
            for (std::size_t px = 0; px < tile.size(); ++px) {
                const auto x = static_cast<std::uint32_t>(tx + px % nes::cell_side_px);
                const auto y = static_cast<std::uint32_t>(ty + px / nes::cell_side_px);
                tile[px] =
                    x < width && y < height
                        ? static_cast<std::uint8_t>(fit.pixels[std::size_t{y} * width + x] % 4)
                        : 3;
            }
            tiles.push_back(tile);
        }
    }
    std::sort(tiles.begin(), tiles.end());
    const auto count =
        static_cast<std::size_t>(std::unique(tiles.begin(), tiles.end()) - tiles.begin());
    require(fits.within_budget == (count <= options.max_tiles));
    require(fits.within_budget ||
            (options.kept.size() == options.max_tiles &&
             (width % nes::cell_side_px != 0 || height % nes::cell_side_px != 0)));
    const std::vector<tilefit::Fit> again =
        tilefit::fit(std::span(&picture, 1), table, options).pictures;
    require(again[0].pixels == fit.pixels && again[0].palettes == fit.palettes &&
            again[0].areas == fit.areas);
    return 0;
}
