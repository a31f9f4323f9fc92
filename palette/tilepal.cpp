#include "tilepal.hpp"

#include <cmath>
#include <optional>

namespace tilepal {

namespace {

constexpr std::size_t index_count = 16;

std::uint32_t blocks_of(std::uint32_t pixels, std::uint32_t side) {
    return pixels / side + (pixels % side != 0 ? 1U : 0U);
}

// What is known so far about one area of the row of areas being scanned.
struct AreaState {
    int palette = -1; // that of `first`; -1 while no pixel has c != 0
    Pixel first;
    bool conflict = false;
    Pixel second;
};

struct Usage {
    std::array<std::uint64_t, index_count> count{};
    std::array<Pixel, index_count> first{};
};

bool shows_backdrop(std::size_t entry) {
    return entry != 0 && entry % 4 == 0;
}

// As a user reads it: "10.04" is printed as 10.0 and must not be called
// further than 10.
double as_printed(double distance) {
    return std::round(distance * 10.0) / 10.0;
}

void choose_palette(const intake::Image& image, const nes::Table& table, const Usage& usage,
                    Result& result) {
    const std::vector<nes::Rgb>& colours = image.palette();
    const auto colour_of = [&](std::size_t entry) -> std::optional<nes::Rgb> {
        if (entry < colours.size()) {
            return colours[entry];
        }
        return std::nullopt;
    };

    const std::uint64_t backdrop_pixels =
        usage.count[0] + usage.count[4] + usage.count[8] + usage.count[12];
    for (std::size_t entry = 0; entry < index_count; ++entry) {
        if (shows_backdrop(entry)) {
            continue;
        }
        const std::optional<nes::Rgb> colour = colour_of(entry);
        if (!colour) {
            result.palette[entry] = nes::black;
            continue;
        }
        const nes::Match match = nes::nearest(table, *colour);
        result.palette[entry] = match.number;
        const bool used = entry == 0 ? backdrop_pixels > 0 : usage.count[entry] > 0;
        if (used && as_printed(match.distance) > far_distance) {
            result.far.push_back(
                {static_cast<std::uint8_t>(entry), *colour, match.number, match.distance});
        }
    }

    const std::optional<nes::Rgb> backdrop = colour_of(0);
    for (std::size_t entry = 4; entry < index_count; entry += 4) {
        result.palette[entry] = result.palette[0];
        const std::optional<nes::Rgb> colour = colour_of(entry);
        if (usage.count[entry] > 0 && colour && backdrop && *colour != *backdrop) {
            result.backdrop.push_back({static_cast<std::uint8_t>(entry), *colour, *backdrop,
                                       usage.count[entry], usage.first[entry]});
        }
    }
}

} // namespace

Result analyse(const intake::Image& image, const nes::Table& table) {
    Result result;
    if (image.kind() == intake::Kind::gray) {
        result.refusal = Refusal::grayscale;
        return result;
    }
    if (image.kind() == intake::Kind::truecolor) {
        result.refusal = Refusal::truecolor;
        return result;
    }

    const std::uint32_t width = image.width();
    const std::uint32_t height = image.height();
    const std::uint32_t block_columns = blocks_of(width, nes::block_side_px);
    std::vector<std::uint8_t> attributes(std::size_t{block_columns} *
                                         blocks_of(height, nes::block_side_px));
    std::vector<AreaState> areas(blocks_of(width, nes::area_side_px));
    std::vector<Conflict> conflicts;
    std::uint64_t conflict_count = 0;
    Usage usage;

    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = image.row(y);
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t index = row[x];
            if (index >= index_count) {
                result.refusal = Refusal::index_past_15;
                result.bad_pixel = {x, y, index};
                return result;
            }
            if (usage.count[index]++ == 0) {
                usage.first[index] = {x, y, index};
            }
            if (index % 4 == 0) {
                continue;
            }
            AreaState& area = areas[x / nes::area_side_px];
            const int palette = index / 4;
            if (area.palette < 0) {
                area.palette = palette;
                area.first = {x, y, index};
            } else if (palette != area.palette && !area.conflict) {
                area.conflict = true;
                area.second = {x, y, index};
            }
        }

        if (y % nes::area_side_px != nes::area_side_px - 1 && y + 1 != height) {
            continue;
        }
        // The row of areas is complete.
        const std::uint32_t area_y = y / nes::area_side_px;
        for (std::uint32_t area_x = 0; area_x < areas.size(); ++area_x) {
            AreaState& area = areas[area_x];
            if (area.conflict) {
                if (conflicts.size() < conflict_cap) {
                    conflicts.push_back({area_x * nes::area_side_px, area_y * nes::area_side_px,
                                         area.first, area.second});
                }
                ++conflict_count;
            } else if (area.palette > 0) {
                const std::size_t block =
                    std::size_t{area_y / 2} * block_columns + std::size_t{area_x / 2};
                const unsigned shift = 2 * ((area_y % 2) * 2 + area_x % 2);
                attributes[block] |= static_cast<std::uint8_t>(area.palette << shift);
            }
            area = AreaState{};
        }
    }

    if (conflict_count > 0) {
        result.refusal = Refusal::conflicts;
        result.conflicts = std::move(conflicts);
        result.conflict_count = conflict_count;
        return result;
    }
    result.attributes = std::move(attributes);
    choose_palette(image, table, usage, result);
    return result;
}

} // namespace tilepal
