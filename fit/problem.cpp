#include "problem.hpp"

#include <algorithm>
#include <cmath>

namespace tilefit::detail {

Candidates::Candidates(const nes::Table& table) {
    slot_of.fill(no_slot);
    std::size_t k = 0;
    for (std::size_t n = 0; n < nes::colour_count; ++n) {
        const auto value = static_cast<std::uint8_t>(n);
        if (nes::is_candidate(value)) {
            number[k] = value;
            lab[k] = nes::to_lab(table[n]);
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

void add_distances(Problem& problem, nes::Rgb colour) {
    const nes::Lab lab = nes::to_lab(colour);
    Distance best = 0;
    Slot nearest = 0;
    for (std::size_t k = 0; k < candidate_count; ++k) {
        const double e = nes::delta_e2000(lab, problem.candidates.lab[k]);
        const auto d =
            static_cast<Distance>(std::min(std::lround(e * distance_unit), long{0xFFFF}));
        problem.distance.push_back(d);
        if (k == 0 || d < best) {
            best = d;
            nearest = static_cast<Slot>(k);
        }
    }
    problem.nearest.push_back(nearest);
}

} // namespace

Problem build_problem(std::span<const PictureView> pictures, const nes::Table& table) {
    Problem problem(table);
    problem.area_start.push_back(0);
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
                        bool added = false;
                        colours.push_back(problem.index.add(rgb(line[x]), added));
                        if (added) {
                            add_distances(problem, rgb(line[x]));
                        }
                    }
                }
                std::sort(colours.begin(), colours.end());
                for (std::size_t i = 0; i < colours.size();) {
                    std::size_t j = i;
                    while (j < colours.size() && colours[j] == colours[i]) {
                        ++j;
                    }
                    problem.entries.push_back({colours[i], static_cast<std::uint32_t>(j - i)});
                    i = j;
                }
                problem.area_start.push_back(static_cast<std::uint32_t>(problem.entries.size()));
            }
        }
    }
    return problem;
}

} // namespace tilefit::detail
