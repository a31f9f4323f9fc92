// Every line tilepal prints about a picture. Coordinates are pixels, x then
// y, from the picture's top-left corner.
#include "command_line.hpp"
#include "tilepal.hpp"

#include <cstdio>

namespace tilepal {

namespace {

// Each text starts as a string of its own and is appended to: GCC 12 warns
// falsely about "literal" + a temporary string when optimising.
std::string at(std::uint32_t x, std::uint32_t y) {
    std::string text("(");
    return text.append(std::to_string(x)).append(", ").append(std::to_string(y)).append(")");
}

std::string hex(unsigned value, int digits) {
    static constexpr char digit[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
        text.push_back(digit[(value >> shift) & 0xFU]);
    }
    return text;
}

std::string colour(nes::Rgb rgb) {
    std::string text("#");
    return text.append(hex(rgb.r, 2)).append(hex(rgb.g, 2)).append(hex(rgb.b, 2));
}

std::string number(std::uint8_t n) {
    std::string text("$");
    return text.append(hex(n, 2));
}

std::string tenths(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string index_and_place(const Pixel& pixel) {
    return "index " + std::to_string(pixel.index) + " at " + at(pixel.x, pixel.y);
}

std::vector<std::string> refusal_lines(const Result& result, std::string_view path) {
    const auto line = [path](const std::string& reason) {
        return cli::message(tool_name, path, reason);
    };
    switch (result.refusal) {
    case Refusal::none:
        break;
    case Refusal::grayscale:
        return {line("not a paletted picture (it is grayscale)")};
    case Refusal::truecolor:
        return {line("not a paletted picture (it is true colour)")};
    case Refusal::index_past_15:
        return {line(std::string("pixel ") + at(result.bad_pixel.x, result.bad_pixel.y) +
                     " has index " + std::to_string(result.bad_pixel.index) +
                     "; only indices 0-15 fit the four palettes")};
    case Refusal::conflicts: {
        std::vector<std::string> lines;
        for (const Conflict& c : result.conflicts) {
            lines.push_back(line(std::string("16x16 area at ") + at(c.x, c.y) + " uses palettes " +
                                 std::to_string(c.first.index / 4) + " and " +
                                 std::to_string(c.second.index / 4) + ": " +
                                 index_and_place(c.first) + ", " + index_and_place(c.second)));
        }
        const std::uint64_t more = result.conflict_count - result.conflicts.size();
        if (more == 1) {
            lines.push_back(line("1 more 16x16 area uses more than one palette"));
        } else if (more > 1) {
            lines.push_back(
                line(std::to_string(more) + " more 16x16 areas use more than one palette"));
        }
        return lines;
    }
    }
    return {};
}

} // namespace

std::vector<std::string> messages(const Result& result, std::string_view path) {
    if (result.refused()) {
        return refusal_lines(result, path);
    }
    const auto warning = [path](const std::string& text) {
        return cli::message(tool_name, path, std::string("warning: ").append(text));
    };
    std::vector<std::string> lines;
    for (const FarEntry& far : result.far) {
        lines.push_back(warning(std::string("entry ") + std::to_string(far.entry) + " (" +
                                colour(far.colour) + ") has no close NES colour: nearest is " +
                                number(far.number) + " at distance " + tenths(far.distance)));
    }
    for (const BackdropEntry& entry : result.backdrop) {
        const bool one = entry.pixels == 1;
        lines.push_back(warning(std::to_string(entry.pixels) + (one ? " pixel" : " pixels") +
                                " of index " + std::to_string(entry.entry) + " (" +
                                colour(entry.colour) + (one ? ") shows" : ") show") +
                                " the backdrop, entry 0 (" + colour(entry.backdrop) +
                                "), on the NES; " + (one ? "it is" : "the first is") + " at " +
                                at(entry.first.x, entry.first.y)));
    }
    return lines;
}

} // namespace tilepal
