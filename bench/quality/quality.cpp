#include "quality.hpp"

#include "nes_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <set>
#include <string>
#include <unordered_map>

namespace quality {

namespace {

constexpr std::uint32_t area_side = nes::area_side_px;
constexpr std::uint32_t cell_side = nes::cell_side_px;

std::uint32_t key(nes::Rgb c) {
    return std::uint32_t{c.r} << 16 | std::uint32_t{c.g} << 8 | c.b;
}

} // namespace

Distances::Distances(const Picture& picture, const nes::Table& table) {
    for (std::size_t n = 0; n < nes::colour_count; ++n) {
        const auto number = static_cast<std::uint8_t>(n);
        if (nes::is_candidate(number)) {
            numbers_.push_back(number);
            labs_.push_back(nes::to_lab(table[n]));
        }
    }
    std::unordered_map<std::uint32_t, std::uint32_t> rows;
    row_of_.reserve(picture.pixels.size());
    for (const nes::Rgb& pixel : picture.pixels) {
        const auto [at, fresh] =
            rows.try_emplace(key(pixel), static_cast<std::uint32_t>(rows.size()));
        if (fresh) {
            const nes::Lab lab = nes::to_lab(pixel);
            for (const nes::Lab& candidate : labs_) {
                rows_.push_back(static_cast<float>(nes::delta_e2000(lab, candidate)));
            }
        }
        row_of_.push_back(at->second);
    }
}

double bound(const Distances& d) {
    double sum = 0;
    const std::size_t n = d.candidates();
    const std::size_t pixels = d.pixels();
    for (std::size_t i = 0; i < pixels; ++i) {
        float best = std::numeric_limits<float>::max();
        for (std::size_t s = 0; s < n; ++s) {
            best = std::min(best, d.at(i, s));
        }
        sum += best;
    }
    return pixels == 0 ? 0 : sum / static_cast<double>(pixels);
}

namespace {

// Colour counts over the candidates, by slot.
using Histogram = std::vector<std::uint32_t>;

// A set of up to three slots, with the error it leaves in the pixels counted
// by `hist` when each takes the nearest of the set and the backdrop, judged
// on the nearest colours themselves, as a simple converter sees the picture.
struct Set {
    std::vector<std::size_t> slots;
    double cost = 0;
};

class Merger {
  public:
    Merger(std::size_t backdrop, std::vector<std::vector<float>> between)
        : backdrop_(backdrop), between_(std::move(between)) {}

    Set set_of(const Histogram& hist) const {
        std::vector<std::size_t> order(hist.size());
        std::iota(order.begin(), order.end(), 0);
        // The most common first, the lower slot (number) first among equals.
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return hist[a] > hist[b]; });
        Set set;
        for (const std::size_t s : order) {
            if (set.slots.size() == 3 || hist[s] == 0) {
                break;
            }
            if (s != backdrop_) {
                set.slots.push_back(s);
            }
        }
        for (std::size_t q = 0; q < hist.size(); ++q) {
            if (hist[q] == 0) {
                continue;
            }
            float best = between_[q][backdrop_];
            for (const std::size_t s : set.slots) {
                best = std::min(best, between_[q][s]);
            }
            set.cost += static_cast<double>(hist[q]) * best;
        }
        return set;
    }

  private:
    std::size_t backdrop_;
    std::vector<std::vector<float>> between_; // candidate to candidate
};

Histogram operator+(Histogram a, const Histogram& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] += b[i];
    }
    return a;
}

} // namespace

Greedy greedy(const Picture& picture, const Distances& d, const nes::Table& table) {
    const std::size_t n = d.candidates();
    const std::size_t pixels = picture.pixels.size();
    const std::uint32_t across = (picture.width + area_side - 1) / area_side;
    const std::uint32_t down = (picture.height + area_side - 1) / area_side;
    const auto area_of = [&](std::size_t i) {
        const auto x = static_cast<std::uint32_t>(i % picture.width);
        const auto y = static_cast<std::uint32_t>(i / picture.width);
        return (y / area_side) * across + x / area_side;
    };

    std::vector<std::size_t> nearest(pixels);
    Histogram total(n, 0);
    std::vector<Histogram> per_area(std::size_t{across} * down, Histogram(n, 0));
    for (std::size_t i = 0; i < pixels; ++i) {
        std::size_t best = 0;
        for (std::size_t s = 1; s < n; ++s) {
            if (d.at(i, s) < d.at(i, best)) {
                best = s;
            }
        }
        nearest[i] = best;
        ++total[best];
        ++per_area[area_of(i)][best];
    }
    const auto backdrop = static_cast<std::size_t>(std::max_element(total.begin(), total.end()) -
                                                   total.begin()); // first of the most common

    std::vector<std::vector<float>> between(n, std::vector<float>(n));
    for (std::size_t a = 0; a < n; ++a) {
        for (std::size_t b = 0; b < n; ++b) {
            between[a][b] = static_cast<float>(nes::delta_e2000(d.lab(a), d.lab(b)));
        }
    }
    const Merger merger(backdrop, std::move(between));

    // One cluster per area to begin with; a merged cluster lives on in the
    // lower index and the other is emptied.
    std::vector<Histogram> hist = per_area;
    std::vector<Set> sets;
    std::vector<bool> alive(hist.size(), true);
    for (const Histogram& h : hist) {
        sets.push_back(merger.set_of(h));
    }
    const std::size_t k = hist.size();
    std::vector<double> delta(k * k, 0);
    const auto recompute = [&](std::size_t i, std::size_t j) {
        delta[i * k + j] = merger.set_of(hist[i] + hist[j]).cost - sets[i].cost - sets[j].cost;
    };
    for (std::size_t i = 0; i < k; ++i) {
        for (std::size_t j = i + 1; j < k; ++j) {
            recompute(i, j);
        }
    }
    for (std::size_t left = k; left > 4; --left) {
        std::size_t bi = 0;
        std::size_t bj = 0;
        double best = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < k; ++i) {
            for (std::size_t j = i + 1; alive[i] && j < k; ++j) {
                if (alive[j] && delta[i * k + j] < best) {
                    best = delta[i * k + j];
                    bi = i;
                    bj = j;
                }
            }
        }
        hist[bi] = hist[bi] + hist[bj];
        sets[bi] = merger.set_of(hist[bi]);
        alive[bj] = false;
        for (std::size_t o = 0; o < k; ++o) {
            if (alive[o] && o != bi) {
                recompute(std::min(o, bi), std::max(o, bi));
            }
        }
    }

    Greedy out;
    out.backdrop = d.number(backdrop);
    std::vector<std::array<std::size_t, 4>> four; // slot of each c, per sub-palette
    for (std::size_t i = 0; i < k; ++i) {
        if (!alive[i]) {
            continue;
        }
        std::array<std::size_t, 4> slots{backdrop, backdrop, backdrop, backdrop};
        std::copy(sets[i].slots.begin(), sets[i].slots.end(), slots.begin() + 1);
        four.push_back(slots);
    }
    four.resize(4, {backdrop, backdrop, backdrop, backdrop});
    for (std::size_t p = 0; p < 4; ++p) {
        for (std::size_t c = 0; c < 3; ++c) {
            out.sub[p][c] = d.number(four[p][c + 1]);
        }
    }

    // Each area's best sub-palette, and each pixel's best place in it, on
    // the picture's own colours; the lower place or sub-palette among equals.
    const auto place = [&](std::size_t i, std::size_t p) {
        std::size_t best = 0;
        for (std::size_t c = 1; c < 4; ++c) {
            if (d.at(i, four[p][c]) < d.at(i, four[p][best])) {
                best = c;
            }
        }
        return best;
    };
    std::vector<std::array<double, 4>> area_cost(per_area.size(), {0, 0, 0, 0});
    for (std::size_t i = 0; i < pixels; ++i) {
        for (std::size_t p = 0; p < 4; ++p) {
            area_cost[area_of(i)][p] += d.at(i, four[p][place(i, p)]);
        }
    }
    for (const auto& cost : area_cost) {
        out.areas.push_back(
            static_cast<std::uint8_t>(std::min_element(cost.begin(), cost.end()) - cost.begin()));
    }
    out.screen.colours.resize(pixels);
    out.screen.c.resize(pixels);
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::size_t c = place(i, out.areas[area_of(i)]);
        out.screen.c[i] = static_cast<std::uint8_t>(c);
        out.screen.colours[i] = table[d.number(four[out.areas[area_of(i)]][c])];
    }
    return out;
}

bool is_legal(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> indices,
              std::span<const nes::Rgb> palette, const nes::Table& table) {
    std::set<std::uint32_t> colours;
    for (std::size_t n = 0; n < nes::colour_count; ++n) {
        if (nes::is_candidate(static_cast<std::uint8_t>(n))) {
            colours.insert(key(table[n]));
        }
    }
    const std::uint32_t across = (width + area_side - 1) / area_side;
    std::vector<int> area_palette(std::size_t{across} * ((height + area_side - 1) / area_side), -1);
    constexpr std::size_t entries = nes::subpalette_count * nes::colours_per_subpalette;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const std::uint8_t index = indices[i];
        if (index >= entries || index >= palette.size() || !colours.contains(key(palette[index]))) {
            return false;
        }
        const std::size_t c = index % nes::colours_per_subpalette;
        if (c == 0) {
            if (palette[index] != palette[0]) {
                return false;
            }
            continue;
        }
        const auto x = static_cast<std::uint32_t>(i % width);
        const auto y = static_cast<std::uint32_t>(i / width);
        int& p = area_palette[(y / area_side) * across + x / area_side];
        const int mine = index / static_cast<int>(nes::colours_per_subpalette);
        if (p != -1 && p != mine) {
            return false;
        }
        p = mine;
    }
    return true;
}

std::size_t tile_count(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> c) {
    // A pattern is 64 places of two bits; cells past the edge are c = 0.
    std::set<std::string> patterns;
    std::string pattern(cell_side * cell_side, '\0');
    for (std::uint32_t cy = 0; cy < height; cy += cell_side) {
        for (std::uint32_t cx = 0; cx < width; cx += cell_side) {
            for (std::uint32_t y = 0; y < cell_side; ++y) {
                for (std::uint32_t x = 0; x < cell_side; ++x) {
                    const bool inside = cx + x < width && cy + y < height;
                    pattern[y * cell_side + x] =
                        static_cast<char>(inside ? c[std::size_t{cy + y} * width + cx + x] : 0);
                }
            }
            patterns.insert(pattern);
        }
    }
    return patterns.size();
}

namespace {

// Each pixel's CIEDE2000 between two pictures of the same size.
std::vector<double> errors(std::span<const nes::Rgb> a, std::span<const nes::Rgb> b) {
    std::vector<double> out;
    out.reserve(a.size());
    std::unordered_map<std::uint32_t, nes::Lab> labs;
    const auto lab = [&](nes::Rgb c) {
        const auto [at, fresh] = labs.try_emplace(key(c));
        if (fresh) {
            at->second = nes::to_lab(c);
        }
        return at->second;
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        out.push_back(nes::delta_e2000(lab(a[i]), lab(b[i])));
    }
    return out;
}

double mean(const std::vector<double>& values) {
    return values.empty() ? 0
                          : std::accumulate(values.begin(), values.end(), 0.0) /
                                static_cast<double>(values.size());
}

} // namespace

Scores score(const Picture& picture, const Screen& screen) {
    std::vector<double> e = errors(picture.pixels, screen.colours);
    Scores s;
    s.tiles = tile_count(picture.width, picture.height, screen.c);
    if (e.empty()) {
        return s;
    }
    s.mean = mean(e);
    std::sort(e.begin(), e.end());
    s.p95 = e[(e.size() * 95 + 99) / 100 - 1];
    s.max = e.back();
    return s;
}

namespace {

double to_linear(std::uint8_t v) {
    const double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

std::uint8_t to_srgb(double linear) {
    const double c =
        linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return static_cast<std::uint8_t>(std::lround(std::clamp(c, 0.0, 1.0) * 255.0));
}

std::vector<nes::Rgb> blur(std::uint32_t w, std::uint32_t h, std::span<const nes::Rgb> in) {
    constexpr int radius = 3;
    std::array<double, 2 * radius + 1> kernel{};
    for (int t = -radius; t <= radius; ++t) {
        kernel[static_cast<std::size_t>(t + radius)] = std::exp(-0.5 * t * t);
    }
    const double sum = std::accumulate(kernel.begin(), kernel.end(), 0.0);
    for (double& k : kernel) {
        k /= sum;
    }
    std::array<double, 256> linear{};
    for (std::size_t v = 0; v < 256; ++v) {
        linear[v] = to_linear(static_cast<std::uint8_t>(v));
    }
    const std::size_t n = in.size();
    std::vector<std::array<double, 3>> a(n);
    for (std::size_t i = 0; i < n; ++i) {
        a[i] = {linear[in[i].r], linear[in[i].g], linear[in[i].b]};
    }
    const auto pass = [&](const std::vector<std::array<double, 3>>& src, bool across) {
        std::vector<std::array<double, 3>> dst(n, {0, 0, 0});
        for (std::uint32_t y = 0; y < h; ++y) {
            for (std::uint32_t x = 0; x < w; ++x) {
                auto& out = dst[std::size_t{y} * w + x];
                for (int t = -radius; t <= radius; ++t) {
                    // Mirrored about the edge pixel, so that a pattern
                    // runs on past the edge as it does inside.
                    auto along = static_cast<std::int64_t>(across ? x : y) + t;
                    const auto limit = static_cast<std::int64_t>(across ? w : h) - 1;
                    along = along < 0 ? -along : along > limit ? 2 * limit - along : along;
                    const auto at =
                        static_cast<std::uint32_t>(std::clamp<std::int64_t>(along, 0, limit));
                    const auto& from =
                        src[across ? std::size_t{y} * w + at : std::size_t{at} * w + x];
                    const double k = kernel[static_cast<std::size_t>(t + radius)];
                    for (std::size_t ch = 0; ch < 3; ++ch) {
                        out[ch] += k * from[ch];
                    }
                }
            }
        }
        return dst;
    };
    const auto blurred = pass(pass(a, true), false);
    std::vector<nes::Rgb> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = {to_srgb(blurred[i][0]), to_srgb(blurred[i][1]), to_srgb(blurred[i][2])};
    }
    return out;
}

} // namespace

double blurred_mean(const Picture& picture, std::span<const nes::Rgb> screen) {
    return mean(errors(blur(picture.width, picture.height, picture.pixels),
                       blur(picture.width, picture.height, screen)));
}

} // namespace quality
