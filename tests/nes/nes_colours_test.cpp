#include "nes_colours.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

using nes::Rgb;

namespace {

Rgb colour(int n) {
    return nes::builtin_table()[static_cast<std::size_t>(n)];
}

// The checks' own yardsticks, independent of the module's colour science:
// relative luminance, and the hue of HSV (red 0, green 120, blue 240).
double luminance(Rgb c) {
    const auto lin = [](double v) {
        v /= 255;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.r) + 0.7152 * lin(c.g) + 0.0722 * lin(c.b);
}

double hue(Rgb c) {
    const double r = c.r, g = c.g, b = c.b, hi = std::max({r, g, b});
    const double d = hi - std::min({r, g, b});
    const double h = hi == r ? (g - b) / d : hi == g ? (b - r) / d + 2 : (r - g) / d + 4;
    return std::fmod(60.0 * h + 360.0, 360.0);
}

} // namespace

// Every colour of the built-in table, so that any change to its decode shows
// here first; the properties below say why the values are right.
TEST(BuiltinTable, EveryColourAsDecoded) {
    constexpr std::uint32_t golden[64] = {
        0x656565, 0x001FB7, 0x2403CD, 0x5300B7, 0x760078, 0x830024, 0x760A00, 0x532800,
        0x244500, 0x005800, 0x005E00, 0x005424, 0x003D78, 0x000000, 0x000000, 0x000000,
        0xAEAEAE, 0x1851FF, 0x572BFF, 0x9611FF, 0xC409C7, 0xD51757, 0xC43500, 0x965D00,
        0x578200, 0x189D00, 0x00A400, 0x009757, 0x0079C7, 0x000000, 0x000000, 0x000000,
        0xFFFFFF, 0x67A1FF, 0xA77AFF, 0xE760FF, 0xFF58FF, 0xFF66A7, 0xFF8435, 0xE7AD00,
        0xA7D300, 0x67EE00, 0x38F535, 0x27E8A7, 0x38C9FF, 0x4F4F4F, 0x000000, 0x000000,
        0xFFFFFF, 0xC0D8FF, 0xDBC8FF, 0xF5BDFF, 0xFFBAFF, 0xFFC0DB, 0xFFCDAC, 0xF5DD89,
        0xDBED7D, 0xC0F889, 0xADFBAC, 0xA6F6DB, 0xADE9FF, 0xB6B6B6, 0x000000, 0x000000,
    };
    for (int n = 0; n < 64; ++n) {
        const Rgb c = colour(n);
        const std::uint32_t rgb = std::uint32_t{c.r} << 16 | std::uint32_t{c.g} << 8 | c.b;
        EXPECT_EQ(rgb, golden[n]) << "colour $" << std::hex << n;
    }
}

// Each row is brighter than the one above, except where the levels are the
// same: $20 and $30, and $0D, below black, which shows as black like $1D.
TEST(BuiltinTable, BlacksGraysAndLuminance) {
    for (int n = 0; n < 64; ++n) {
        const Rgb c = colour(n);
        if (n % 16 >= 14 || n == 0x1D) {
            EXPECT_EQ(c, (Rgb{0, 0, 0})) << n;
        }
        if (n % 16 == 0 || n % 16 == 13) {
            EXPECT_TRUE(c.r == c.g && c.g == c.b) << n;
        }
        if (n < 48 && n % 16 < 14 && n != 0x20 && n != 0x0D) {
            EXPECT_LT(luminance(c), luminance(colour(n + 16))) << n;
        }
        if (n != 0x20 && n != 0x30) {
            EXPECT_LT(luminance(c), luminance(colour(0x30))) << n;
        }
    }
    EXPECT_EQ(colour(0x20), colour(0x30));
}

// A decode that turns the wrong way, or references the wrong phase, shows
// here: the hues go round once, in the console's order. The dark row clips
// to pure primaries, which may flatten a step.
TEST(BuiltinTable, HueAdvancesWithColumn) {
    for (int row = 0; row < 64; row += 16) {
        double travelled = 0;
        for (int n = row + 1; n < row + 12; ++n) {
            const double step = std::fmod(hue(colour(n + 1)) - hue(colour(n)) + 360.0, 360.0);
            EXPECT_TRUE(step < 90.0 && (step > 0.0 || row == 0)) << n << ": " << step;
            travelled += step;
        }
        EXPECT_LT(travelled, 360.0) << row;
        EXPECT_NEAR(hue(colour(row + 2)), 250.0, 25.0) << row;                      // blue-violet
        EXPECT_NEAR(std::remainder(hue(colour(row + 6)), 360.0), 0.0, 30.0) << row; // red
        EXPECT_NEAR(hue(colour(row + 10)), 120.0, 25.0) << row;                     // green
    }
}

// Pairs from the formula's published test data, for the branches where hue
// angles wrap and chroma is zero, and a neutral pair worked by hand: L 50
// and 60 give S_L = 1 + 0.015 * 25 / sqrt(45), so the difference is 10 / S_L.
TEST(Lab, ReferencePairsAndPrimaries) {
    const std::tuple<nes::Lab, nes::Lab, double> cases[] = {
        {{50, 2.6772, -79.7751}, {50, 0, -82.7485}, 2.0425},
        {{50, 0, 0}, {50, -1, 2}, 2.3669},
        {{50, 2.49, -0.001}, {50, -2.49, 0.0009}, 7.1792},
        {{50, 2.49, -0.001}, {50, -2.49, 0.0011}, 7.2195},
        {{50, -0.001, 2.49}, {50, 0.0011, -2.49}, 4.7461},
        {{50, 2.5, 0}, {56, -27, -3}, 31.9030},
        {{2.0776, 0.0795, -1.1350}, {0.9033, -0.0636, -0.5514}, 0.9082},
        {{50, 0, 0}, {60, 0, 0}, 10.0 / (1.0 + 0.375 / std::sqrt(45.0))},
    };
    for (const auto& [first, second, want] : cases) {
        EXPECT_NEAR(nes::delta_e2000(first, second), want, 1e-4) << want;
        EXPECT_NEAR(nes::delta_e2000(second, first), want, 1e-4) << want;
    }
    // sRGB's white, red and blue, in CIELAB under D65.
    EXPECT_LT(nes::delta_e2000(nes::to_lab({255, 255, 255}), {100, 0, 0}), 0.01);
    EXPECT_LT(nes::delta_e2000(nes::to_lab({255, 0, 0}), {53.2408, 80.0925, 67.2032}), 0.01);
    EXPECT_LT(nes::delta_e2000(nes::to_lab({0, 0, 255}), {32.2970, 79.1875, -107.8602}), 0.01);
}

// Over seeded sRGB colours, neutral ones included: a colour is exactly 0
// from itself (tilefit gives a legal picture back at 0 only so), and the
// difference is the same both ways, prepared or not, one at a time or many,
// and never below what lightness alone says it is at least.
TEST(Lab, ExactlyZeroAndSymmetric) {
    std::uint32_t seed = 1;
    const auto next = [&seed] {
        seed = seed * 1664525U + 1013904223U;
        return static_cast<std::uint8_t>(seed >> 24);
    };
    std::vector<nes::Prepared> ones;
    std::vector<nes::Prepared> many;
    for (int i = 0; i < 2000; ++i) {
        const std::uint8_t grey = next();
        const Rgb x = i % 8 == 0 ? Rgb{grey, grey, grey} : Rgb{next(), next(), next()};
        const std::uint8_t other = next();
        const Rgb y = i % 7 == 0   ? x
                      : i % 8 == 0 ? Rgb{other, other, other}
                                   : Rgb{next(), next(), next()};
        const nes::Lab lx = nes::to_lab(x);
        const nes::Lab ly = nes::to_lab(y);
        EXPECT_EQ(nes::delta_e2000(lx, lx), 0.0) << i;
        EXPECT_EQ(nes::delta_e2000(lx, ly), nes::delta_e2000(ly, lx)) << i;
        EXPECT_EQ(nes::delta_e2000(nes::prepare(lx), nes::prepare(ly)), nes::delta_e2000(lx, ly));
        EXPECT_GE(nes::delta_e2000(lx, ly), nes::delta_e2000_at_least(lx, ly)) << i;
        (i < 16 ? ones : many).push_back(nes::prepare(i % 2 == 0 ? lx : ly));
    }
    std::vector<double> out(many.size());
    for (const nes::Prepared& one : ones) {
        nes::delta_e2000(one, many, out);
        for (std::size_t i = 0; i < many.size(); ++i) {
            ASSERT_EQ(out[i], nes::delta_e2000(one, many[i])) << i;
        }
    }
}

// Every candidate finds itself in the built-in table and every other number
// gives way to its representative. A loaded table may give the others
// colours of their own; they are still never chosen, and of equally near
// candidates the lowest number wins.
TEST(Nearest, CandidatesAndRepresentatives) {
    for (int n = 0; n < 64; ++n) {
        const bool chosen = n == 0x0F || (n % 16 < 14 && n != 0x0D && n != 0x1D && n != 0x20);
        EXPECT_EQ(nes::is_candidate(static_cast<std::uint8_t>(n)), chosen) << n;
        EXPECT_EQ(nes::nearest(nes::builtin_table(), colour(n)).number, chosen      ? n
                                                                        : n == 0x20 ? 0x30
                                                                                    : 0x0F);
    }
    nes::Table t{};
    for (std::size_t n = 0; n < 64; ++n) {
        t[n] = {static_cast<std::uint8_t>(n * 4), 128, 0};
    }
    t[0x0D] = t[0x1D] = t[0x20] = t[0x1E] = t[0x3F] = {250, 10, 10};
    t[0x05] = t[0x06] = t[0x2A] = {10, 250, 10};
    EXPECT_EQ(nes::nearest(t, {10, 250, 10}).number, 0x05);
    EXPECT_GT(nes::nearest(t, {250, 10, 10}).distance, 1.0);
}

TEST(PaletteFile, OnlyTwoSizes) {
    std::vector<std::uint8_t> bytes(1537, 7);
    std::iota(bytes.begin(), bytes.begin() + 192, std::uint8_t{0});
    for (std::size_t size : {0U, 191U, 192U, 193U, 1535U, 1536U, 1537U}) {
        const auto table = nes::parse_palette_file(std::span(bytes).first(size));
        EXPECT_EQ(nes::is_palette_file_size(size), table.has_value()) << size;
        ASSERT_EQ(table.has_value(), size == 192 || size == 1536) << size;
        EXPECT_TRUE(!table || ((*table)[0] == Rgb{0, 1, 2} && (*table)[63] == Rgb{189, 190, 191}));
    }
    EXPECT_EQ(nes::palette_file_size_message("tilepal", "pal/odd.pal", 1537),
              "tilepal: pal/odd.pal: a NES palette file has 192 bytes, or 1536 with emphasis; "
              "this one has 1537\n");
}
