#include "tilefit.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using tilefit::Fit;
using tilefit::Palettes;
using tilefit::Rgba;

namespace {

struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<Rgba> pixels;
    tilefit::PictureView view() const { return {width, height, pixels}; }
};

std::uint8_t random_candidate(std::mt19937& rng) {
    for (;;) {
        const auto n = static_cast<std::uint8_t>(rng() % nes::colour_count);
        if (nes::is_candidate(n)) {
            return n;
        }
    }
}

Palettes random_palettes(std::mt19937& rng) {
    Palettes palettes;
    palettes.backdrop = random_candidate(rng);
    for (auto& sub : palettes.sub) {
        for (auto& n : sub) {
            n = random_candidate(rng);
        }
    }
    return palettes;
}

nes::Rgb colour_of(const nes::Table& table, const Palettes& palettes, unsigned p, unsigned c) {
    return table[c == 0 ? palettes.backdrop : palettes.sub[p][c - 1]];
}

// A legal picture at a size cut by the areas' and cells' edges: each area
// under one random sub-palette, each pixel a random colour of it.
Picture legal(std::mt19937& rng, const nes::Table& table, const Palettes& palettes) {
    Picture picture{
        56 + static_cast<std::uint32_t>(rng() % 9), 40 + static_cast<std::uint32_t>(rng() % 9), {}};
    const std::uint32_t across = (picture.width + 15) / 16;
    std::vector<unsigned> area(across * ((picture.height + 15) / 16));
    for (unsigned& p : area) {
        p = rng() % 4;
    }
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const nes::Rgb rgb =
                colour_of(table, palettes, area[y / 16 * across + x / 16], rng() % 4);
            picture.pixels.push_back({rgb.r, rgb.g, rgb.b, 255});
        }
    }
    return picture;
}

nes::Table random_table(std::mt19937& rng) {
    nes::Table table{};
    for (nes::Rgb& rgb : table) {
        rgb = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
               static_cast<std::uint8_t>(rng())};
    }
    return table;
}

Fit fit_one(const Picture& picture, const nes::Table& table, const tilefit::Options& options = {}) {
    const tilefit::PictureView view = picture.view();
    return tilefit::fit({&view, 1}, table, options).front();
}

// What a user can check of any result: every area within the backdrop and
// one sub-palette, every colour a candidate, the figures in order.
void expect_legal(const Fit& fit, const Picture& picture) {
    ASSERT_EQ(fit.pixels.size(), picture.pixels.size());
    EXPECT_TRUE(nes::is_candidate(fit.palettes.backdrop));
    for (const auto& sub : fit.palettes.sub) {
        for (std::uint8_t n : sub) {
            EXPECT_TRUE(nes::is_candidate(n));
        }
    }
    for (std::uint32_t y = 0; y < fit.height; ++y) {
        for (std::uint32_t x = 0; x < fit.width; ++x) {
            const std::uint8_t index = fit.pixels[y * fit.width + x];
            const unsigned p = fit.areas[y / 16 * fit.areas_across + x / 16];
            EXPECT_TRUE(index == 0 || (index / 4 == p && index % 4 != 0)) << x << ", " << y;
            if (picture.pixels[y * fit.width + x].a < tilefit::opaque_alpha) {
                EXPECT_EQ(index, 0);
            }
        }
    }
    EXPECT_GE(fit.stats.mean, fit.stats.bound);
    EXPECT_LE(fit.stats.mean, fit.stats.max);
    EXPECT_LE(fit.stats.p95, fit.stats.max);
    EXPECT_GE(fit.stats.tiles, 1U);
}

} // namespace

// Legal pictures come back pixel for pixel, in the built-in colours and in a
// random table's; moved off the table's colours by a little, they still have
// at most 13 colours that fit, and come out exactly at the bound.
TEST(Fit, LegalPicturesComeBackUnchanged) {
    std::mt19937 rng(21);
    for (int round = 0; round < 24; ++round) {
        const nes::Table table = round % 2 == 0 ? nes::builtin_table() : random_table(rng);
        const Palettes palettes = random_palettes(rng);
        Picture picture = legal(rng, table, palettes);
        for (const auto dither : {tilefit::Dither::none, tilefit::Dither::ordered}) {
            const Fit fit = fit_one(picture, table, {{}, {}, dither});
            expect_legal(fit, picture);
            const auto colours = tilefit::png_palette(fit.palettes, table);
            for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
                const nes::Rgb out = colours[fit.pixels[i]];
                const Rgba& in = picture.pixels[i];
                ASSERT_TRUE(out.r == in.r && out.g == in.g && out.b == in.b) << round << ": " << i;
            }
            EXPECT_EQ(fit.stats.max, 0.0);
        }
        for (Rgba& pixel : picture.pixels) {
            pixel.g = static_cast<std::uint8_t>(pixel.g < 128 ? pixel.g + 1 : pixel.g - 1);
        }
        const Fit moved = fit_one(picture, table);
        EXPECT_EQ(moved.stats.mean, moved.stats.bound) << round;
        EXPECT_GT(moved.stats.mean, 0.0) << round;
    }
}

// Seeded noise over smooth gradients, some of it transparent: legal under
// every option, the same twice, and the imposed palettes or backdrop kept.
TEST(Fit, AnyPictureComesOutLegal) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 6; ++round) {
        Picture picture{40 + static_cast<std::uint32_t>(rng() % 40),
                        24 + static_cast<std::uint32_t>(rng() % 40),
                        {}};
        for (std::uint32_t y = 0; y < picture.height; ++y) {
            for (std::uint32_t x = 0; x < picture.width; ++x) {
                const auto noise = [&](std::uint32_t base) {
                    return static_cast<std::uint8_t>((base + rng() % 48) % 256);
                };
                picture.pixels.push_back({noise(x * 5), noise(y * 7), noise((x + y) * 3),
                                          static_cast<std::uint8_t>(rng() % 16 == 0 ? 0 : 255)});
            }
        }
        tilefit::Options options;
        options.dither = round % 2 == 0 ? tilefit::Dither::none : tilefit::Dither::ordered;
        if (round % 3 == 1) {
            options.backdrop = random_candidate(rng);
        } else if (round % 3 == 2) {
            options.palettes = random_palettes(rng);
        }
        const Fit fit = fit_one(picture, nes::builtin_table(), options);
        expect_legal(fit, picture);
        if (options.backdrop) {
            EXPECT_EQ(fit.palettes.backdrop, *options.backdrop);
        }
        if (options.palettes) {
            EXPECT_EQ(fit.palettes, *options.palettes);
        }
        const Fit again = fit_one(picture, nes::builtin_table(), options);
        EXPECT_EQ(again.pixels, fit.pixels);
        EXPECT_EQ(again.palettes, fit.palettes);
        EXPECT_EQ(tilefit::summary(again), tilefit::summary(fit));
    }
}

TEST(Fit, Summary) {
    Picture picture{16, 8, std::vector<Rgba>(128, Rgba{0, 0, 0, 255})};
    const nes::Rgb red = nes::builtin_table()[0x16];
    for (std::size_t i = 0; i < 8; i += 2) {
        picture.pixels[i] = {red.r, red.g, red.b, 255};
    }
    EXPECT_EQ(tilefit::summary(fit_one(picture, nes::builtin_table())),
              "backdrop $0F, palettes 16 0F 0F / 0F 0F 0F / 0F 0F 0F / 0F 0F 0F, 2 tiles, "
              "\u0394E2000 mean 0.00, 95% 0.00, max 0.0 (bound 0.00)");
}

TEST(Fit, PaletteFiles) {
    std::vector<std::uint8_t> pal = {0x0F, 0x21, 0x30, 0x31, 0x40, 0x17, 0x07, 0x26,
                                     0xFF, 0x01, 0x27, 0x37, 0x0D, 0x19, 0x0A, 0x29};
    const auto read = std::get<Palettes>(tilefit::parse_palettes(pal));
    EXPECT_EQ(read.backdrop, 0x0F);
    EXPECT_EQ(read.sub[3], (tilefit::SubPalette{0x19, 0x0A, 0x29}));
    const std::vector<std::pair<std::size_t, std::string>> wrong = {
        {2, "byte 2 is $40, past $3F, the last NES colour"},
        {15, "byte 15 is $0D, which some televisions take for the sync pulse"},
        {0, "byte 0 is $20, which shows as $30; write $30"},
    };
    for (const auto& [at, message] : wrong) {
        std::vector<std::uint8_t> bad = pal;
        bad[at] = message.find("$40") != std::string::npos   ? 0x40
                  : message.find("$0D") != std::string::npos ? 0x0D
                                                             : 0x20;
        EXPECT_EQ(std::get<std::string>(tilefit::parse_palettes(bad)), message);
    }
    pal.pop_back();
    EXPECT_EQ(std::get<std::string>(tilefit::parse_palettes(pal)),
              "a palette file has 16 bytes; this one has 15");

    for (const char* text : {"0F", "$0F", "0f", "$0f"}) {
        EXPECT_EQ(std::get<std::uint8_t>(tilefit::parse_backdrop(text)), 0x0F) << text;
    }
    for (const char* text : {"F", "$", "0x0F", "10F", "", "$0G"}) {
        EXPECT_TRUE(std::holds_alternative<std::string>(tilefit::parse_backdrop(text))) << text;
    }
    EXPECT_EQ(std::get<std::string>(tilefit::parse_backdrop("1D")),
              "--backdrop is $1D, which shows as $0F; write $0F");
}

// A pattern of black and white looks like the mean of their light, so the
// ordered dither must show a flat gray with the share of white pixels that
// its light gives, not the share its CIELAB lightness would.
TEST(Fit, OrderedDitherKeepsTheLight) {
    nes::Table table = nes::builtin_table();
    table[nes::black] = {0, 0, 0};
    table[nes::white] = {255, 255, 255};
    Palettes palettes;
    palettes.backdrop = nes::black;
    palettes.sub.fill({nes::white, nes::white, nes::white});
    for (const int level : {40, 90, 128, 200}) {
        const auto gray = static_cast<std::uint8_t>(level);
        const Picture picture{16, 16, std::vector<Rgba>(256, Rgba{gray, gray, gray, 255})};
        const Fit fit = fit_one(picture, table, {{}, palettes, tilefit::Dither::ordered});
        const auto white = std::count_if(fit.pixels.begin(), fit.pixels.end(),
                                         [](std::uint8_t index) { return index != 0; });
        EXPECT_NEAR(static_cast<double>(white) / 256, nes::to_linear(gray), 1.0 / 64) << level;
    }
}
