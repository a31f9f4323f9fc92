// The words tilefit reads and writes about palettes: the imposed .pal, the
// fixed backdrop and the report.
#include "tilefit.hpp"

#include <cstdio>

namespace tilefit {

namespace {

std::string hex(std::uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

std::string number(std::uint8_t value) {
    std::string text("$");
    return text.append(hex(value));
}

// Why `value` cannot be a colour of the fit, starting with the value itself;
// empty when it can.
std::string refusal(std::uint8_t value) {
    std::string text = number(value);
    if (value >= nes::colour_count) {
        return text.append(", past $3F, the last NES colour");
    }
    if (nes::is_candidate(value)) {
        return {};
    }
    if (value == 0x0D) {
        return text.append(", which some televisions take for the sync pulse");
    }
    // The built-in table shows each such number as its group's representative.
    const std::string same =
        number(nes::nearest(nes::builtin_table(), nes::builtin_table()[value]).number);
    return text.append(", which shows as ").append(same).append("; write ").append(same);
}

} // namespace

std::variant<Palettes, std::string> parse_palettes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != nes::palette_bytes) {
        return "a palette file has " + std::to_string(nes::palette_bytes) +
               " bytes; this one has " + std::to_string(bytes.size());
    }
    Palettes palettes;
    for (std::size_t i = 0; i < nes::palette_bytes; ++i) {
        if (i != 0 && i % 4 == 0) {
            continue;
        }
        if (std::string why = refusal(bytes[i]); !why.empty()) {
            return "byte " + std::to_string(i) + " is " + why;
        }
    }
    palettes.backdrop = bytes[0];
    for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
        for (std::size_t c = 0; c < 3; ++c) {
            palettes.sub[p][c] = bytes[4 * p + 1 + c];
        }
    }
    return palettes;
}

std::variant<std::uint8_t, std::string> parse_backdrop(std::string_view text) {
    const std::string_view digits = text.starts_with('$') ? text.substr(1) : text;
    const auto value_of = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    if (digits.size() != 2 || value_of(digits[0]) < 0 || value_of(digits[1]) < 0) {
        std::string why("--backdrop takes a NES colour as two hex digits, such as 0F or $0F, not ");
        return why.append(text);
    }
    const auto value = static_cast<std::uint8_t>(value_of(digits[0]) * 16 + value_of(digits[1]));
    if (std::string why = refusal(value); !why.empty()) {
        return "--backdrop is " + why;
    }
    return value;
}

std::string summary(const Palettes& palettes, const Stats& stats) {
    // Hundredths, or tenths for the maximum, whose last digit says little.
    const auto figure = [](double value, bool tenths = false) {
        char text[32];
        if (tenths) {
            std::snprintf(text, sizeof text, "%.1f", value);
        } else {
            std::snprintf(text, sizeof text, "%.2f", value);
        }
        return std::string(text);
    };
    std::string text = "backdrop " + number(palettes.backdrop) + ", palettes ";
    for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
        const SubPalette& sub = palettes.sub[p];
        text.append(p == 0 ? "" : " / ")
            .append(hex(sub[0]))
            .append(" ")
            .append(hex(sub[1]))
            .append(" ")
            .append(hex(sub[2]));
    }
    const std::string delta = "\u0394E2000 mean ";
    text.append(", ").append(std::to_string(stats.tiles_before));
    text.append(stats.tiles_before == 1 ? " tile" : " tiles");
    if (stats.tiles != stats.tiles_before || stats.added != 0) {
        // A dithered picture's cells are shared as dithered, so the budget
        // can bring its mean down as well as up.
        char added[32];
        std::snprintf(added, sizeof added, "%+.2f", stats.added);
        text.append(" -> ").append(std::to_string(stats.tiles));
        text.append(" (").append(std::string_view(added) == "-0.00" ? "+0.00" : added);
        text.append(" ").append(delta, 0, delta.size() - 1).append(")");
    }
    text.append(", ").append(delta).append(figure(stats.mean));
    text.append(", 95% ").append(figure(stats.p95));
    text.append(", max ").append(figure(stats.max, true));
    text.append(" (bound ").append(figure(stats.bound)).append(")");
    return text;
}

} // namespace tilefit
