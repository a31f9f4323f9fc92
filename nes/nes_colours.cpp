#include "nes_colours.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace nes {

namespace {

constexpr double pi = std::numbers::pi;

double radians(double degrees) {
    return degrees * pi / 180.0;
}
double degrees(double radians) {
    return radians * 180.0 / pi;
}

// How the built-in table is decoded.
//
// The console draws colour $xy (row x = 0-3, column y = 0-15) as a square
// wave between two levels of its row, given here with black at 0 and white
// at 1. Columns 1-12 alternate between the levels, half a cycle each, at
// one of twelve phases of the 3.58 MHz colour subcarrier; column 0 is the
// high level alone, column 13 the low level alone, columns 14 and 15 black.
// The colour burst, which every set locks its colour decoding to, is the
// wave of column 8.
//
// A set sees such a signal through two filters. Its luma is the signal
// averaged over a subcarrier cycle, so Y = (low + high) / 2 for the waves and
// the level itself for the flat columns. Its chroma is what is left near the
// subcarrier: the wave's fundamental. The wave is sampled in twelve steps of
// a cycle, each holding one level, so the fundamental's coefficient is the
// exact integral of e^(-i phi) over each step, weighted by that step's level
// (decode() below); for a square wave of swing d its amplitude is (4 / pi)
// (d / 2). The set measures every colour's phase from the burst and puts the
// burst at 180 degrees, on the -U (yellow) axis, so that column y sits at
// 180 + 30 (y - 8) degrees on the U-V plane. Column numbers count against
// time: each step of y starts the wave one twelfth of a cycle earlier, which
// is the order in which the console's hues go round (blue near 1, red near
// 6, green near 10). Shown on the I and Q axes, 123 and 33 degrees, that is
// the pair I, Q a set demodulates.
//
// From Y, I and Q back to R'G'B': I and Q are U and V turned by 33 degrees,
// U = 0.492111 (B' - Y) and V = 0.877283 (R' - Y) are the scaled colour
// differences, and Y = 0.299 R' + 0.587 G' + 0.114 B' gives G'. Those
// R'G'B' are gamma-encoded for a display much as sRGB values are, and are
// taken as sRGB: clipped to 0-1, scaled to 0-255 and rounded. Nothing more
// is modelled: no hue or saturation control away from its centre, and no
// colour emphasis.

struct Levels {
    double low;
    double high;
};

constexpr std::array<Levels, 4> row_levels = {{
    {-0.117, 0.397},
    {0.000, 0.681},
    {0.308, 1.000},
    {0.715, 1.000},
}};

constexpr int steps = 12;
constexpr int burst_column = 8;

// The signal of colour $xy over one subcarrier cycle.
std::array<double, steps> wave(int row, int column) {
    const Levels levels = row_levels[static_cast<std::size_t>(row)];
    std::array<double, steps> out{};
    for (int k = 0; k < steps; ++k) {
        double level = 0.0;
        if (column == 0) {
            level = levels.high;
        } else if (column == 13) {
            level = levels.low;
        } else if (column <= 12) {
            level = (k + column) % steps < steps / 2 ? levels.high : levels.low;
        }
        out[static_cast<std::size_t>(k)] = level;
    }
    return out;
}

struct Decoded {
    double y;
    std::complex<double> chroma; // amplitude and phase, before the burst's reference
};

Decoded decode(const std::array<double, steps>& signal) {
    Decoded d{0.0, {0.0, 0.0}};
    const double step = 2.0 * pi / steps;
    for (int k = 0; k < steps; ++k) {
        const double level = signal[static_cast<std::size_t>(k)];
        d.y += level / steps;
        // (1 / pi) times the integral of e^(-i phi) from k step to (k + 1) step.
        const std::complex<double> i(0.0, 1.0);
        d.chroma += level / pi * i * (std::exp(-i * ((k + 1) * step)) - std::exp(-i * (k * step)));
    }
    return d;
}

std::uint8_t to_byte(double value) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

Table decode_table() {
    // The burst's phase as decoded; turning it onto 180 degrees references
    // every other colour the way a set does.
    const std::complex<double> burst = decode(wave(0, burst_column)).chroma;
    const std::complex<double> to_reference = -std::abs(burst) / burst;
    const double cos33 = std::cos(radians(33.0));
    const double sin33 = std::sin(radians(33.0));

    Table table{};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 16; ++column) {
            const Decoded d = decode(wave(row, column));
            // U along the real axis, V along the imaginary one.
            const std::complex<double> chroma = d.chroma * to_reference;
            const double i = std::real(chroma * std::polar(1.0, -radians(123.0)));
            const double q = std::real(chroma * std::polar(1.0, -radians(33.0)));

            const double u = q * cos33 - i * sin33;
            const double v = q * sin33 + i * cos33;
            const double r = d.y + v / 0.877283;
            const double b = d.y + u / 0.492111;
            const double g = (d.y - 0.299 * r - 0.114 * b) / 0.587;
            table[static_cast<std::size_t>(row * 16 + column)] = {to_byte(r), to_byte(g),
                                                                  to_byte(b)};
        }
    }
    return table;
}

// sRGB's transfer function, undone.
double linear(std::uint8_t value) {
    const double v = value / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double lab_f(double t) {
    constexpr double delta = 6.0 / 29.0;
    return t > delta * delta * delta ? std::cbrt(t) : t / (3.0 * delta * delta) + 4.0 / 29.0;
}

} // namespace

const Table& builtin_table() {
    static const Table table = decode_table();
    return table;
}

bool is_palette_file_size(std::uint64_t size) {
    return size == palette_file_size || size == emphasis_palette_file_size;
}

std::optional<Table> parse_palette_file(std::span<const std::uint8_t> bytes) {
    if (!is_palette_file_size(bytes.size())) {
        return std::nullopt;
    }
    Table table{};
    for (std::size_t n = 0; n < colour_count; ++n) {
        table[n] = {bytes[3 * n], bytes[3 * n + 1], bytes[3 * n + 2]};
    }
    return table;
}

std::string palette_file_size_message(std::string_view tool, std::string_view path,
                                      std::uint64_t size) {
    return cli::message(tool, path,
                        std::string("a NES palette file has 192 bytes, or 1536 with emphasis; "
                                    "this one has ")
                            .append(std::to_string(size)));
}

double to_linear(std::uint8_t value) {
    return linear(value);
}

Lab to_lab(Rgb colour) {
    const double r = linear(colour.r);
    const double g = linear(colour.g);
    const double b = linear(colour.b);
    // sRGB's primaries to XYZ, each divided by the D65 white's own X, Y, Z.
    const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
    const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
    const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
    const double fx = lab_f(x);
    const double fy = lab_f(y);
    const double fz = lab_f(z);
    return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

Prepared prepare(const Lab& colour) {
    return {colour, std::sqrt(colour.a * colour.a + colour.b * colour.b)};
}

// The formula is worked with vectors on the a'b' plane rather than with hue
// angles: the hue difference comes from DH'^2 = Da'^2 + Db^2 - DC'^2, its
// sign from the cross product, and the mean hue from the sum of the two unit
// vectors, which points along the shorter arc between them as the angles'
// mean does; T is its cosine and sine turned into multiples by the angle
// formulas. That leaves square roots, exact in IEEE arithmetic, where there
// were atan2, hypot, pow, sines and cosines, so that millions of differences
// are cheap and few results rest on libm, whose last digits may differ
// between machines. Only the blue term R_T needs the mean hue as an angle;
// it is taken where the term is not lost in rounding (above 126 degrees:
// below, 30 exp(-((h - 275) / 25)^2) is under 1.2e-14 degree). Series in
// place of its atan2, exp and sine were slower. Equal colours are exactly 0
// apart.
//
// All but that term is worked without a branch, every quantity computed and
// the right one selected, so that a loop of it runs on vector units, each
// lane rounding as a lone difference does.
namespace {

struct Partial {
    double sum = 0; // (DL'/SL)^2 + (DC'/SC)^2 + (DH'/SH)^2
    double tc = 0;  // DC'/SC
    double th = 0;  // DH'/SH
    double cos_h = 1;
    double sin_h = 0;
    double cp_mean = 0;
};

constexpr double pow25_7 = 6103515625.0; // 25^7

double pow7(double x) {
    const double x2 = x * x;
    return x2 * x2 * x2 * x;
}

[[gnu::always_inline]] inline Partial partial(const Lab& one, double chroma1, const Lab& two,
                                              double chroma2) {
    const double c_mean7 = pow7((chroma1 + chroma2) / 2.0);
    const double g = 0.5 * (1.0 - std::sqrt(c_mean7 / (c_mean7 + pow25_7)));
    const double a1 = (1.0 + g) * one.a;
    const double a2 = (1.0 + g) * two.a;
    const double cp1 = std::sqrt(a1 * a1 + one.b * one.b);
    const double cp2 = std::sqrt(a2 * a2 + two.b * two.b);

    const double dl = two.l - one.l;
    const double dc = cp2 - cp1;
    // With one colour neutral there is no hue difference, and the mean hue's
    // direction is the other's hue.
    const bool neutral = cp1 * cp2 == 0.0;
    const double da = a2 - a1;
    const double db = two.b - one.b;
    const double h = std::sqrt(std::max(0.0, da * da + db * db - dc * dc));
    // Exactly opposite hues have no turning sense; the sign of DC keeps the
    // result symmetric.
    const double cross = a1 * two.b - one.b * a2;
    const bool back = cross < 0.0 || (cross == 0.0 && dc < 0.0);
    const double signed_h = back ? -h : h;
    const double d_big_h = neutral ? 0.0 : signed_h;
    const double unit_a = a1 / cp1 + a2 / cp2;
    const double unit_b = one.b / cp1 + two.b / cp2;
    const double mean_a = neutral ? a1 + a2 : unit_a;
    const double mean_b = neutral ? one.b + two.b : unit_b;
    const double length = std::sqrt(mean_a * mean_a + mean_b * mean_b);
    const double divisor = length == 0.0 ? 1.0 : length;
    const double along = mean_a / divisor;
    const double across = mean_b / divisor;
    Partial out;
    out.cos_h = length == 0.0 ? 1.0 : along;
    out.sin_h = length == 0.0 ? 0.0 : across;
    const double cos_h = out.cos_h;
    const double sin_h = out.sin_h;

    // cos and sin of 30, 6 and 63 degrees.
    constexpr double cos30 = 0.8660254037844387;
    constexpr double sin30 = 0.5;
    constexpr double cos6 = 0.9945218953682733;
    constexpr double sin6 = 0.10452846326765347;
    constexpr double cos63 = 0.4539904997395468;
    constexpr double sin63 = 0.8910065241883678;
    const double cos2 = cos_h * cos_h - sin_h * sin_h;
    const double sin2 = 2.0 * sin_h * cos_h;
    const double cos3 = cos2 * cos_h - sin2 * sin_h;
    const double sin3 = sin2 * cos_h + cos2 * sin_h;
    const double cos4 = cos2 * cos2 - sin2 * sin2;
    const double sin4 = 2.0 * sin2 * cos2;
    const double t = 1.0 - 0.17 * (cos_h * cos30 + sin_h * sin30) + 0.24 * cos2 +
                     0.32 * (cos3 * cos6 - sin3 * sin6) - 0.20 * (cos4 * cos63 + sin4 * sin63);

    const double l_mean = (one.l + two.l) / 2.0;
    out.cp_mean = (cp1 + cp2) / 2.0;
    const double l50 = (l_mean - 50.0) * (l_mean - 50.0);
    const double sl = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
    const double sc = 1.0 + 0.045 * out.cp_mean;
    const double sh = 1.0 + 0.015 * out.cp_mean * t;
    const double tl = dl / sl;
    out.tc = dc / sc;
    out.th = d_big_h / sh;
    out.sum = tl * tl + out.tc * out.tc + out.th * out.th;
    return out;
}

bool has_blue_term(const Partial& p) {
    constexpr double cos126 = -0.587785252292473;
    return p.sin_h < 0.0 || p.cos_h < cos126;
}

// R_T DC'/SC DH'/SH, where has_blue_term says it counts.
double blue_term(const Partial& p) {
    double h_mean = degrees(std::atan2(p.sin_h, p.cos_h));
    if (h_mean < 0.0) {
        h_mean += 360.0;
    }
    const double x = (h_mean - 275.0) / 25.0;
    const double d_theta = 30.0 * std::exp(-x * x);
    const double cp_mean7 = pow7(p.cp_mean);
    const double rc = 2.0 * std::sqrt(cp_mean7 / (cp_mean7 + pow25_7));
    const double rt = -std::sin(radians(2.0 * d_theta)) * rc;
    return rt * p.tc * p.th;
}

} // namespace

double delta_e2000(const Prepared& first, const Prepared& second) {
    const Partial p = partial(first.lab, first.chroma, second.lab, second.chroma);
    return std::sqrt(has_blue_term(p) ? p.sum + blue_term(p) : p.sum);
}

__attribute__((target_clones("avx2", "default"))) void
delta_e2000(const Prepared& one, std::span<const Prepared> many, std::span<double> out) {
    constexpr std::size_t chunk = 64;
    std::array<double, chunk> l{};
    std::array<double, chunk> a{};
    std::array<double, chunk> b{};
    std::array<double, chunk> chroma{};
    std::array<double, chunk> sum{};
    std::array<double, chunk> tc{};
    std::array<double, chunk> th{};
    std::array<double, chunk> cos_h{};
    std::array<double, chunk> sin_h{};
    std::array<double, chunk> cp_mean{};
    for (std::size_t start = 0; start < many.size(); start += chunk) {
        const std::size_t n = std::min(chunk, many.size() - start);
        for (std::size_t i = 0; i < n; ++i) {
            l[i] = many[start + i].lab.l;
            a[i] = many[start + i].lab.a;
            b[i] = many[start + i].lab.b;
            chroma[i] = many[start + i].chroma;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const Partial p = partial(one.lab, one.chroma, Lab{l[i], a[i], b[i]}, chroma[i]);
            sum[i] = p.sum;
            tc[i] = p.tc;
            th[i] = p.th;
            cos_h[i] = p.cos_h;
            sin_h[i] = p.sin_h;
            cp_mean[i] = p.cp_mean;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const Partial p{sum[i], tc[i], th[i], cos_h[i], sin_h[i], cp_mean[i]};
            if (has_blue_term(p)) {
                sum[i] += blue_term(p);
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            out[start + i] = std::sqrt(sum[i]);
        }
    }
}

double delta_e2000_at_least(const Lab& first, const Lab& second) {
    return std::abs(second.l - first.l) / 1.75;
}

double delta_e2000(const Lab& first, const Lab& second) {
    return delta_e2000(prepare(first), prepare(second));
}

bool is_candidate(std::uint8_t number) {
    if (number >= colour_count) {
        return false;
    }
    const int column = number & 0x0F;
    if (number == black) {
        return true;
    }
    return number != 0x0D && number != 0x1D && number != 0x20 && column != 0x0E && column != 0x0F;
}

Match nearest(const Table& table, Rgb colour) {
    const Prepared target = prepare(to_lab(colour));
    Match best{black, 0.0};
    bool found = false;
    for (std::size_t n = 0; n < colour_count; ++n) {
        const auto number = static_cast<std::uint8_t>(n);
        if (!is_candidate(number)) {
            continue;
        }
        const double distance = delta_e2000(target, prepare(to_lab(table[n])));
        if (!found || distance < best.distance) {
            best = {number, distance};
            found = true;
        }
    }
    return best;
}

} // namespace nes
