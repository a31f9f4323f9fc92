#include "problem.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tilefit::detail {

Candidates::Candidates(const nes::Table& table) {
    slot_of.fill(no_slot);
    std::size_t k = 0;
    for (std::size_t n = 0; n < nes::colour_count; ++n) {
        const auto value = static_cast<std::uint8_t>(n);
        if (nes::is_candidate(value)) {
            number[k] = value;
            lab[k] = nes::to_lab(table[n]);
            prepared[k] = nes::prepare(lab[k]);
            rgb[k] = table[n];
            slot_of[n] = static_cast<Slot>(k);
            ++k;
        }
    }
}

namespace {

std::uint32_t key_of(nes::Rgb colour) {
    return (std::uint32_t{colour.r} << 16 | std::uint32_t{colour.g} << 8 | colour.b) + 1;
}

std::size_t hash(std::uint32_t key, std::size_t mask) {
    return static_cast<std::size_t>((key * 0x9E3779B1U) >> 8) & mask;
}

} // namespace

void ColourIndex::grow() {
    const std::size_t capacity = keys_.empty() ? 4096 : 2 * keys_.size();
    std::vector<std::uint32_t> keys(capacity, 0);
    std::vector<std::uint32_t> values(capacity, 0);
    const std::size_t mask = capacity - 1;
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i] != 0) {
            std::size_t at = hash(keys_[i], mask);
            while (keys[at] != 0) {
                at = (at + 1) & mask;
            }
            keys[at] = keys_[i];
            values[at] = values_[i];
        }
    }
    keys_ = std::move(keys);
    values_ = std::move(values);
}

std::uint32_t ColourIndex::add(nes::Rgb colour, bool& added) {
    if (2 * (size_ + 1) > keys_.size()) {
        grow();
    }
    const std::uint32_t key = key_of(colour);
    const std::size_t mask = keys_.size() - 1;
    std::size_t at = hash(key, mask);
    while (keys_[at] != 0) {
        if (keys_[at] == key) {
            added = false;
            return values_[at];
        }
        at = (at + 1) & mask;
    }
    keys_[at] = key;
    values_[at] = static_cast<std::uint32_t>(size_);
    added = true;
    return static_cast<std::uint32_t>(size_++);
}

std::uint32_t ColourIndex::find(nes::Rgb colour) const {
    if (keys_.empty()) {
        return absent;
    }
    const std::uint32_t key = key_of(colour);
    const std::size_t mask = keys_.size() - 1;
    for (std::size_t at = hash(key, mask); keys_[at] != 0; at = (at + 1) & mask) {
        if (keys_[at] == key) {
            return values_[at];
        }
    }
    return absent;
}

bool opaque(const Rgba& pixel) {
    return pixel.a >= opaque_alpha;
}

nes::Rgb rgb(const Rgba& pixel) {
    return {pixel.r, pixel.g, pixel.b};
}

std::uint32_t areas_across(std::uint32_t width) {
    return (width + nes::area_side_px - 1) / nes::area_side_px;
}

std::uint32_t areas_down(std::uint32_t height) {
    return (height + nes::area_side_px - 1) / nes::area_side_px;
}

namespace {

// A colour difference in the search's units.
Distance rounded(double e) {
    return static_cast<Distance>(std::min(std::lround(e * distance_unit), long{0xFFFF}));
}

// A colour's distances to every candidate, into `out`, and its nearest: the
// lower of equals.
Slot distances(const Candidates& candidates, nes::Rgb colour, Distance* out) {
    std::array<double, candidate_count> e{};
    nes::delta_e2000(nes::prepare(nes::to_lab(colour)), candidates.prepared, e);
    Slot nearest = 0;
    for (std::size_t k = 0; k < candidate_count; ++k) {
        out[k] = rounded(e[k]);
        if (out[k] < out[nearest]) {
            nearest = static_cast<Slot>(k);
        }
    }
    return nearest;
}

// The pictures' areas as histograms of the numbers that `number` gives the
// colours of their opaque pixels; false, and given up, as soon as it gives
// ColourIndex::absent or the entries pass `entry_limit`.
template <typename Number>
bool gather(Problem& problem, std::span<const PictureView> pictures, std::size_t entry_limit,
            Number&& number) {
    problem.area_start.assign(1, 0);
    problem.picture_area.clear();
    problem.entries.clear();
    std::vector<std::uint32_t> colours;
    colours.reserve(nes::area_side_px * nes::area_side_px);
    for (const PictureView& picture : pictures) {
        problem.picture_area.push_back(static_cast<std::uint32_t>(problem.areas()));
        for (std::uint32_t ay = 0; ay < areas_down(picture.height); ++ay) {
            for (std::uint32_t ax = 0; ax < areas_across(picture.width); ++ax) {
                colours.clear();
                const std::uint32_t y_end = std::min(picture.height, (ay + 1) * nes::area_side_px);
                const std::uint32_t x_end = std::min(picture.width, (ax + 1) * nes::area_side_px);
                for (std::uint32_t y = ay * nes::area_side_px; y < y_end; ++y) {
                    const Rgba* line = picture.pixels.data() + std::size_t{y} * picture.width;
                    for (std::uint32_t x = ax * nes::area_side_px; x < x_end; ++x) {
                        if (!opaque(line[x])) {
                            continue;
                        }
                        const std::uint32_t n = number(rgb(line[x]));
                        if (n == ColourIndex::absent) {
                            return false;
                        }
                        colours.push_back(n);
                    }
                }
                std::sort(colours.begin(), colours.end());
                for (std::size_t i = 0; i < colours.size();) {
                    std::size_t j = i;
                    while (j < colours.size() && colours[j] == colours[i]) {
                        ++j;
                    }
                    problem.entries.push_back({static_cast<std::uint16_t>(colours[i]),
                                               static_cast<std::uint16_t>(j - i)});
                    i = j;
                }
                if (problem.entries.size() > entry_limit) {
                    return false;
                }
                problem.area_start.push_back(static_cast<std::uint32_t>(problem.entries.size()));
            }
        }
    }
    return true;
}

// Each colour's row, from its number.
void fill_rows(Problem& problem, std::span<const nes::Rgb> colours) {
    problem.distance.resize(colours.size() * candidate_count);
    problem.nearest.resize(colours.size());
    for (std::size_t n = 0; n < colours.size(); ++n) {
        problem.nearest[n] = distances(problem.candidates, colours[n],
                                       problem.distance.data() + n * candidate_count);
    }
}

// The bins' colours: the mean of each bin's pixels, rounded.
std::vector<nes::Rgb> binned(Problem& problem, std::span<const PictureView> pictures) {
    constexpr unsigned shift = 8 - bin_bits;
    std::vector<std::uint32_t> number_of(std::size_t{1} << (3 * bin_bits), ColourIndex::absent);
    struct Sum {
        std::uint64_t r = 0;
        std::uint64_t g = 0;
        std::uint64_t b = 0;
        std::uint64_t n = 0;
    };
    std::vector<Sum> sums;
    gather(problem, pictures, SIZE_MAX, [&](nes::Rgb c) {
        const std::size_t bin = std::size_t{c.r} >> shift << (2 * bin_bits) |
                                std::size_t{c.g} >> shift << bin_bits | std::size_t{c.b} >> shift;
        std::uint32_t& n = number_of[bin];
        if (n == ColourIndex::absent) {
            n = static_cast<std::uint32_t>(sums.size());
            sums.emplace_back();
        }
        Sum& sum = sums[n];
        sum.r += c.r;
        sum.g += c.g;
        sum.b += c.b;
        ++sum.n;
        return n;
    });
    std::vector<nes::Rgb> colours;
    colours.reserve(sums.size());
    const auto mean = [](std::uint64_t total, std::uint64_t n) {
        return static_cast<std::uint8_t>((total + n / 2) / n);
    };
    for (const Sum& sum : sums) {
        colours.push_back({mean(sum.r, sum.n), mean(sum.g, sum.n), mean(sum.b, sum.n)});
    }
    return colours;
}

} // namespace

Problem build_problem(std::span<const PictureView> pictures, const nes::Table& table) {
    Problem problem(table);
    std::size_t pixels = 0;
    for (const PictureView& picture : pictures) {
        pixels += picture.pixels.size();
    }
    std::vector<nes::Rgb> colours;
    const bool exact = gather(problem, pictures, exact_limit + pixels / 64, [&](nes::Rgb c) {
        bool added = false;
        const std::uint32_t n = problem.index.add(c, added);
        if (added) {
            if (colours.size() == exact_limit) {
                return ColourIndex::absent;
            }
            colours.push_back(c);
        }
        return n;
    });
    if (!exact) {
        problem.binned = true;
        problem.index = ColourIndex{};
        colours = binned(problem, pictures);
    }
    problem.entries.shrink_to_fit();
    fill_rows(problem, colours);
    return problem;
}

PixelRows::PixelRows(const Problem& problem, const Solution& solution) : problem_(problem) {
    for (std::size_t k = 0; k < candidate_count; ++k) {
        identity_[k] = static_cast<std::uint8_t>(k);
    }
    place_.fill(unused);
    const auto use = [&](Slot slot) {
        if (place_[slot] == unused) {
            place_[slot] = static_cast<std::uint8_t>(used_.size());
            used_.push_back(slot);
        }
    };
    use(solution.backdrop);
    for (const auto& sub : solution.sub) {
        for (Slot slot : sub) {
            use(slot);
        }
    }
}

PixelRows::Row PixelRows::of(nes::Rgb colour) {
    if (!problem_.binned) {
        const std::uint32_t n = problem_.index.find(colour);
        const Distance* row = problem_.row(n);
        return {row, identity_.data(), row[problem_.nearest[n]]};
    }
    if (keys_.empty()) {
        keys_.assign(cache_size, 0);
        rows_.resize(cache_size * stride);
        nearest_.resize(cache_size);
    }
    const std::uint32_t key = key_of(colour);
    const std::size_t at = hash(key, cache_size - 1);
    Distance* row = rows_.data() + at * stride;
    if (keys_[at] != key) {
        keys_[at] = key;
        // The answer's colours, then of the others only those that lightness
        // alone does not already rule out as the nearest.
        const Candidates& candidates = problem_.candidates;
        const nes::Prepared lab = nes::prepare(nes::to_lab(colour));
        std::array<nes::Prepared, candidate_count> some{};
        std::array<double, candidate_count> e{};
        std::transform(used_.begin(), used_.end(), some.begin(),
                       [&](Slot slot) { return candidates.prepared[slot]; });
        nes::delta_e2000(lab, std::span(some).first(used_.size()), e);
        Distance least = 0xFFFF;
        for (std::size_t i = 0; i < used_.size(); ++i) {
            row[i] = rounded(e[i]);
            least = std::min(least, row[i]);
        }
        std::size_t n = 0;
        for (std::size_t k = 0; k < candidate_count; ++k) {
            // A rounded distance is at most half a unit below the distance.
            if (place_[k] == unused &&
                nes::delta_e2000_at_least(lab.lab, candidates.lab[k]) * distance_unit <
                    least + 1.0) {
                some[n++] = candidates.prepared[k];
            }
        }
        nes::delta_e2000(lab, std::span(some).first(n), e);
        for (std::size_t i = 0; i < n; ++i) {
            least = std::min(least, rounded(e[i]));
        }
        nearest_[at] = least;
    }
    return {row, place_.data(), nearest_[at]};
}

Distance PixelRows::to(nes::Rgb colour, Slot slot) {
    if (!problem_.binned) {
        return problem_.row(problem_.index.find(colour))[slot];
    }
    const std::uint32_t key = key_of(colour);
    const std::size_t at = hash(key, cache_size - 1);
    if (!keys_.empty() && keys_[at] == key) {
        return rows_[at * stride + place_[slot]];
    }
    return rounded(
        nes::delta_e2000(nes::prepare(nes::to_lab(colour)), problem_.candidates.prepared[slot]));
}

} // namespace tilefit::detail
