// Fuzzes tilefit's search on small pictures whose pixels come from a handful
// of colours, so that both the exact packing and the local search are
// reached: every answer must be a legal screen (each pixel the backdrop or a
// colour of its area's sub-palette, every number a candidate), its figures
// consistent, and the same on a second run. The first 16 bytes are also
// read as an imposed palette file.
#include "tilefit.hpp"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

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
    const std::vector<tilefit::Fit> first =
        tilefit::fit(std::span(&picture, 1), table, options).pictures;
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
    const std::vector<tilefit::Fit> again =
        tilefit::fit(std::span(&picture, 1), table, options).pictures;
    require(again[0].pixels == fit.pixels && again[0].palettes == fit.palettes &&
            again[0].areas == fit.areas);
    return 0;
}
