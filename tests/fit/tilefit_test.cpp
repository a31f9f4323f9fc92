#include "tilefit.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

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
    return tilefit::fit({&view, 1}, table, options).pictures.front();
}

// What a user can check of any result: every area within the backdrop and
// one sub-palette, every colour a candidate, the figures in order, and
// transparent pixels on the backdrop unless a tile budget moved them.
void expect_legal(const Fit& fit, const Picture& picture, bool budget_met = false) {
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
            if (!budget_met && picture.pixels[y * fit.width + x].a < tilefit::opaque_alpha) {
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
            tilefit::Options options;
            options.dither = dither;
            const Fit fit = fit_one(picture, table, options);
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

// A legal picture too large for its areas' colours to fit the search's
// table as they are, with $09 and $0A, which one bin would merge: it is
// never binned, and comes back as it was.
TEST(Fit, LargeLegalPicturesComeBackUnchanged) {
    std::mt19937 rng(5);
    const nes::Table& table = nes::builtin_table();
    Palettes palettes = random_palettes(rng);
    palettes.sub[0] = {0x09, 0x0A, 0x30};
    Picture picture{2304, 2304, {}};
    std::vector<unsigned> area(144 * 144);
    for (unsigned& p : area) {
        p = rng() % 4;
    }
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const nes::Rgb rgb = colour_of(table, palettes, area[y / 16 * 144 + x / 16], rng() % 4);
            picture.pixels.push_back({rgb.r, rgb.g, rgb.b, 255});
        }
    }
    // The palettes are the point here, not the tiles: no budget.
    tilefit::Options options;
    options.max_tiles = 0;
    const Fit fit = fit_one(picture, table, options);
    EXPECT_EQ(fit.stats.max, 0.0);
}

// Seeded noise over smooth gradients, some of it transparent: legal under
// every option, the same twice, and the imposed palettes (order and all) or
// backdrop kept; the last rounds again under a budget smaller than the cells,
// which may move transparent pixels off the backdrop.
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
        const bool budget = round >= 3;
        if (budget) {
            options.max_tiles = 4 + rng() % 28; // fewer than the cells: the budget acts
        }
        if (round % 3 == 1) {
            options.backdrop = random_candidate(rng);
        } else if (round % 3 == 2) {
            options.palettes = random_palettes(rng);
        }
        const Fit fit = fit_one(picture, nes::builtin_table(), options);
        expect_legal(fit, picture, budget);
        if (options.backdrop) {
            EXPECT_EQ(fit.palettes.backdrop, *options.backdrop);
        }
        if (options.palettes) {
            EXPECT_EQ(fit.palettes, *options.palettes);
        }
        const Fit again = fit_one(picture, nes::builtin_table(), options);
        EXPECT_EQ(again.pixels, fit.pixels);
        EXPECT_EQ(again.palettes, fit.palettes);
        EXPECT_EQ(tilefit::summary(again.palettes, again.stats),
                  tilefit::summary(fit.palettes, fit.stats));
    }
}

// More colours than the search's table holds: the palettes are chosen over
// bins, but every figure is still each pixel's own, worked out here from
// the colour science alone, with no budget (each pixel the nearest of its
// four) and with one that changes the pixels.
TEST(Fit, FiguresStayExactBeyondTheTable) {
    // Gradients under a little noise: colours past the table, but few
    // patterns, which keeps the budget's work small.
    std::mt19937 rng(7);
    Picture picture{384, 192, {}};
    std::set<std::uint32_t> colours;
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const auto v = static_cast<std::uint32_t>(rng());
            const Rgba pixel{static_cast<std::uint8_t>(x * 2 / 3 + v % 8),
                             static_cast<std::uint8_t>(y + (v >> 3) % 8),
                             static_cast<std::uint8_t>((x + y) / 3 + (v >> 6) % 8), 255};
            picture.pixels.push_back(pixel);
            colours.insert(std::uint32_t{pixel.r} << 16 | std::uint32_t{pixel.g} << 8 | pixel.b);
        }
    }
    ASSERT_GT(colours.size(), 65536U);
    const nes::Table& table = nes::builtin_table();
    tilefit::Options options;
    options.palettes = random_palettes(rng);
    for (const std::size_t budget : {std::size_t{0}, std::size_t{8}}) {
        options.max_tiles = budget;
        const Fit fit = fit_one(picture, table, options);
        expect_legal(fit, picture);
        EXPECT_EQ(fit.palettes, *options.palettes);
        const bool budget_acted = fit.stats.tiles < fit.stats.tiles_before;
        EXPECT_EQ(budget_acted, budget != 0);
        std::uint64_t sum = 0;
        std::uint64_t bound = 0;
        long max = 0;
        const auto units = [](double e) { return std::lround(e * 256.0); };
        for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
            const nes::Rgb in{picture.pixels[i].r, picture.pixels[i].g, picture.pixels[i].b};
            const nes::Lab lab = nes::to_lab(in);
            const unsigned p =
                fit.areas[i / picture.width / 16 * fit.areas_across + i % picture.width / 16];
            long least = -1;
            for (unsigned c = 0; c < 4; ++c) {
                const long d = units(
                    nes::delta_e2000(lab, nes::to_lab(colour_of(table, *options.palettes, p, c))));
                least = least < 0 ? d : std::min(least, d);
            }
            const std::uint8_t index = fit.pixels[i];
            const long own = units(nes::delta_e2000(
                lab, nes::to_lab(colour_of(table, *options.palettes, p, index % 4))));
            if (budget == 0) {
                ASSERT_EQ(own, least) << i;
            }
            sum += static_cast<std::uint64_t>(own);
            max = std::max(max, own);
            bound += static_cast<std::uint64_t>(units(nes::nearest(table, in).distance));
        }
        const double n = static_cast<double>(picture.pixels.size());
        EXPECT_EQ(fit.stats.mean, static_cast<double>(sum) / 256.0 / n) << budget;
        EXPECT_EQ(fit.stats.bound, static_cast<double>(bound) / 256.0 / n) << budget;
        EXPECT_EQ(fit.stats.max, static_cast<double>(max) / 256.0) << budget;
    }
}

TEST(Fit, Summary) {
    Picture picture{16, 8, std::vector<Rgba>(128, Rgba{0, 0, 0, 255})};
    const nes::Rgb red = nes::builtin_table()[0x16];
    for (std::size_t i = 0; i < 8; i += 2) {
        picture.pixels[i] = {red.r, red.g, red.b, 255};
    }
    const Fit fit = fit_one(picture, nes::builtin_table());
    EXPECT_EQ(tilefit::summary(fit.palettes, fit.stats),
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

namespace {

using Pattern = tilebudget::Pattern;

// The tiles tilecut would cut from the pictures, with the kept ones.
std::set<Pattern> tiles_of(std::span<const Fit> fits, std::span<const Pattern> kept = {}) {
    std::set<Pattern> tiles(kept.begin(), kept.end());
    for (const Fit& fit : fits) {
        for (std::uint32_t ty = 0; ty < fit.height; ty += 8) {
            for (std::uint32_t tx = 0; tx < fit.width; tx += 8) {
                Pattern pattern{};
                for (std::uint32_t i = 0; i < 64; ++i) {
                    const std::uint32_t x = tx + i % 8;
                    const std::uint32_t y = ty + i / 8;
                    pattern[i] = static_cast<std::uint8_t>(
                        x < fit.width && y < fit.height ? fit.pixels[y * fit.width + x] % 4 : 3);
                }
                tiles.insert(pattern);
            }
        }
    }
    return tiles;
}

Pattern random_pattern(std::mt19937& rng) {
    Pattern pattern{};
    for (std::uint8_t& c : pattern) {
        c = static_cast<std::uint8_t>(rng() % 4);
    }
    return pattern;
}

} // namespace

// Noisy pictures fitted together into small budgets, with kept tiles or
// without: legal, one palette set, and no more tiles than the budget.
TEST(Budget, SharedPicturesFitTheBudget) {
    std::mt19937 rng(22);
    for (const std::size_t budget : {1U, 3U, 17U, 40U}) {
        std::vector<Picture> pictures;
        for (int i = 0; i < 2; ++i) {
            Picture picture{30 + static_cast<std::uint32_t>(rng() % 20),
                            20 + static_cast<std::uint32_t>(rng() % 20),
                            {}};
            for (std::size_t n = 0; n < std::size_t{picture.width} * picture.height; ++n) {
                picture.pixels.push_back({static_cast<std::uint8_t>(rng()),
                                          static_cast<std::uint8_t>(rng() % 64),
                                          static_cast<std::uint8_t>(n),
                                          static_cast<std::uint8_t>(rng() % 8 == 0 ? 0 : 255)});
            }
            pictures.push_back(std::move(picture));
        }
        tilefit::Options options;
        options.max_tiles = budget;
        options.dither = budget % 2 == 0 ? tilefit::Dither::none : tilefit::Dither::ordered;
        for (std::size_t k = 0; k < budget / 8; ++k) {
            options.kept.push_back(random_pattern(rng));
        }
        const std::vector<tilefit::PictureView> views = {pictures[0].view(), pictures[1].view()};
        const tilefit::Fits fits = tilefit::fit(views, nes::builtin_table(), options);
        for (std::size_t i = 0; i < 2; ++i) {
            expect_legal(fits.pictures[i], pictures[i], true);
            EXPECT_EQ(fits.pictures[i].palettes, fits.pictures[0].palettes);
        }
        EXPECT_LE(tiles_of(fits.pictures, options.kept).size(), budget);
        EXPECT_EQ(fits.total.tiles, tiles_of(fits.pictures).size());
        EXPECT_GT(fits.total.tiles_before, budget);
    }
}

// A legal picture whose sub-palettes list their colours in different
// orders: its cells share few tiles as drawn, all of them once the colours
// are reordered, and so it comes back unchanged within that many.
TEST(Budget, ReorderingIsFoundBeforeAnyLoss) {
    std::mt19937 rng(7);
    for (std::size_t round = 0; round < 6; ++round) {
        std::vector<std::uint8_t> numbers;
        while (numbers.size() < 13) {
            const std::uint8_t n = random_candidate(rng);
            if (std::find(numbers.begin(), numbers.end(), n) == numbers.end()) {
                numbers.push_back(n);
            }
        }
        std::vector<Pattern> patterns(4 + round);
        std::generate(patterns.begin(), patterns.end(), [&] { return random_pattern(rng); });
        std::array<std::array<std::uint8_t, 4>, 4> order{};
        for (auto& o : order) {
            o = {0, 1, 2, 3};
            std::shuffle(o.begin() + 1, o.end(), rng);
        }
        Picture picture{64, 48, {}};
        std::vector<unsigned> area(12);
        for (unsigned& p : area) {
            p = rng() % 4;
        }
        std::vector<std::size_t> cell(48);
        for (std::size_t& k : cell) {
            k = rng() % patterns.size();
        }
        for (std::uint32_t y = 0; y < 48; ++y) {
            for (std::uint32_t x = 0; x < 64; ++x) {
                const unsigned p = area[y / 16 * 4 + x / 16];
                const unsigned c = order[p][patterns[cell[y / 8 * 8 + x / 8]][y % 8 * 8 + x % 8]];
                const nes::Rgb rgb = nes::builtin_table()[numbers[c == 0 ? 0 : 1 + 3 * p + c - 1]];
                picture.pixels.push_back({rgb.r, rgb.g, rgb.b, 255});
            }
        }
        const std::set<std::size_t> used(cell.begin(), cell.end());
        tilefit::Options options;
        options.max_tiles = used.size();
        const Fit fit = fit_one(picture, nes::builtin_table(), options);
        EXPECT_EQ(fit.stats.mean, 0.0) << round;
        EXPECT_EQ(tiles_of({&fit, 1}).size(), used.size()) << round;
    }
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
        tilefit::Options options;
        options.palettes = palettes;
        options.dither = tilefit::Dither::ordered;
        const Fit fit = fit_one(picture, table, options);
        const auto white = std::count_if(fit.pixels.begin(), fit.pixels.end(),
                                         [](std::uint8_t index) { return index != 0; });
        EXPECT_NEAR(static_cast<double>(white) / 256, nes::to_linear(gray), 1.0 / 64) << level;
    }
}
