// The fitted picture as the rest of the chain sees it. A legal picture,
// saved as an indexed PNG whose palette lists its colours in a shuffled
// order, comes back with every pixel's colour; tilepal takes the result with
// nothing to say, and tileshow draws exactly its pixels from tilecut's tiles
// and tilepal's files.
#include "e2e.hpp"
#include "indexed_png.hpp"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

namespace {

struct Indexed {
    std::vector<std::uint8_t> pixels;
    std::vector<nes::Rgb> palette;
};

Indexed read_png(const std::filesystem::path& path) {
    const e2e::Bytes png = e2e::read_file(path);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Indexed out;
    if (png_image_begin_read_from_memory(&image, png.data(), png.size()) == 0) {
        return out;
    }
    image.format = PNG_FORMAT_RGB_COLORMAP;
    out.pixels.resize(PNG_IMAGE_SIZE(image));
    std::vector<std::uint8_t> rgb(PNG_IMAGE_COLORMAP_SIZE(image));
    png_image_finish_read(&image, nullptr, out.pixels.data(), 0, rgb.data());
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
        out.palette.push_back({rgb[i], rgb[i + 1], rgb[i + 2]});
    }
    return out;
}

std::uint8_t random_candidate(std::mt19937& rng) {
    for (;;) {
        if (const auto n = static_cast<std::uint8_t>(rng() % nes::colour_count);
            nes::is_candidate(n)) {
            return n;
        }
    }
}

} // namespace

TEST(FitChain, LegalPicturesGoThroughTheChainUnchanged) {
    constexpr std::uint32_t width = 64;
    constexpr std::uint32_t height = 48;
    const nes::Table& table = nes::builtin_table();
    for (unsigned seed = 0; seed < 4; ++seed) {
        e2e::Scratch s;
        std::mt19937 rng(seed);
        // Entry 0 the backdrop, then three per sub-palette, listed shuffled.
        std::vector<std::uint8_t> numbers(13);
        std::generate(numbers.begin(), numbers.end(), [&] { return random_candidate(rng); });
        std::vector<std::uint8_t> order(numbers.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = static_cast<std::uint8_t>(i);
        }
        std::shuffle(order.begin(), order.end(), rng);
        std::vector<nes::Rgb> palette(16);
        for (std::size_t i = 0; i < order.size(); ++i) {
            palette[order[i]] = table[numbers[i]];
        }
        std::vector<std::uint8_t> area(width / 16 * (height / 16));
        std::generate(area.begin(), area.end(),
                      [&] { return static_cast<std::uint8_t>(rng() % 4); });
        std::vector<std::uint8_t> pixels;
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const unsigned c = rng() % 4;
                const unsigned p = area[y / 16 * (width / 16) + x / 16];
                pixels.push_back(order[c == 0 ? 0U : 1U + 3U * p + c - 1U]);
            }
        }
        {
            const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
                std::fopen((s / "in.png").c_str(), "wb"), std::fclose);
            ASSERT_FALSE(indexed_png::write({width, height, pixels, palette}, file.get()));
        }

        const e2e::Result fitted = e2e::run(TILEFIT_BIN, {"in.png"}, s.dir());
        ASSERT_EQ(fitted.status, 0) << fitted.err;
        EXPECT_TRUE(fitted.out.starts_with("tilefit: in.png -> in.fit.png: backdrop $"));
        EXPECT_NE(fitted.out.find("max 0.0 (bound 0.00)\n"), std::string::npos) << fitted.out;
        const Indexed out = read_png(s / "in.fit.png");
        ASSERT_EQ(out.pixels.size(), pixels.size());
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            ASSERT_EQ(out.palette.at(out.pixels[i]), palette[pixels[i]]) << seed << ": " << i;
        }

        const e2e::Result pal = e2e::run(TILEPAL_BIN, {"in.fit.png"}, s.dir());
        EXPECT_EQ(pal.status, 0);
        EXPECT_EQ(pal.err, "");
        ASSERT_EQ(e2e::run(TILECUT_BIN, {"in.fit.png"}, s.dir()).status, 0);
        const e2e::Result shown = e2e::run(
            TILESHOW_BIN,
            {"-w", "8", "-p", "in.fit.pal", "-a", "in.fit.atr", "in.fit.chr", "-o", "show.png"},
            s.dir());
        ASSERT_EQ(shown.status, 0) << shown.err;
        const Indexed drawn = read_png(s / "show.png");
        EXPECT_EQ(drawn.pixels, out.pixels);
        EXPECT_EQ(drawn.palette, out.palette);
    }
}
