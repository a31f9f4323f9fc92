#include "render.hpp"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace tileshow {

namespace {

using nes::area_side_cells;
using nes::block_side_cells;

constexpr std::array<Rgb, 4> grays = {Rgb{0, 0, 0}, Rgb{85, 85, 85}, Rgb{170, 170, 170},
                                      Rgb{255, 255, 255}};

// The problem with its message, from a printf format.
[[gnu::format(printf, 2, 3)]] Error make_error(Problem problem, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return Error{problem, std::move(text)};
}

// "1 byte", "2 bytes": the counts in messages are often 1.
const char* plural(std::uint64_t count) {
    return count == 1 ? "" : "s";
}

// For "%.*s", which takes the length as an int.
int length(std::string_view s) {
    return static_cast<int>(std::min<std::size_t>(s.size(), 4096));
}

std::optional<Error> check_width(std::uint32_t width) {
    if (width == 0) {
        return make_error(Problem::zero_width,
                          "tileshow: the width (-w) must be at least 1 tile\n");
    }
    if (width > max_width) {
        return make_error(Problem::too_wide,
                          "tileshow: the width (-w) may be at most %u tiles (%u pixels)\n",
                          max_width, max_side);
    }
    return std::nullopt;
}

// The palette byte that entry i shows: colour 0 of every palette shows the
// backdrop, byte 0, so bytes 4, 8 and 12 are never drawn and may hold
// anything.
std::size_t shown_byte(std::size_t i) {
    return i % nes::colours_per_subpalette == 0 ? 0 : i;
}

std::optional<Error> check_palette(const Source& pal) {
    if (pal.bytes.size() != palette_bytes) {
        // The sizes of a whole NES colour table, plain or with its tinted
        // copies: the file went to the wrong option.
        const bool colour_table = nes::is_palette_file_size(pal.bytes.size());
        return make_error(
            Problem::palette_size, "tileshow: %.*s is %zu byte%s, but a palette is %zu%s\n",
            length(pal.name), pal.name.data(), pal.bytes.size(), plural(pal.bytes.size()),
            palette_bytes, colour_table ? " (NES colour tables go to --nes-palette)" : "");
    }
    for (std::size_t i = 0; i < palette_bytes; ++i) {
        if (shown_byte(i) == i && pal.bytes[i] >= nes::colour_count) {
            return make_error(
                Problem::palette_byte,
                "tileshow: %.*s byte %zu is $%02X, but NES colour numbers end at $3F\n",
                length(pal.name), pal.name.data(), i, unsigned{pal.bytes[i]});
        }
    }
    return std::nullopt;
}

// Where each cell's colours come from: palette index 4p + c, with p from the
// attribute table (0 without one).
class Areas {
  public:
    Areas(std::span<const std::uint8_t> atr, std::uint32_t width)
        : atr_(atr), across_((width + block_side_cells - 1) / block_side_cells) {}

    static std::uint64_t bytes_needed(std::uint32_t width, std::uint64_t rows) {
        return std::uint64_t{(width + block_side_cells - 1) / block_side_cells} *
               ((rows + block_side_cells - 1) / block_side_cells);
    }

    std::uint8_t base(std::uint32_t column, std::uint32_t row) const {
        if (atr_.empty()) {
            return 0;
        }
        const std::uint8_t byte =
            atr_[std::size_t{row / block_side_cells} * across_ + column / block_side_cells];
        const unsigned shift = (column / area_side_cells % 2) * 2 + (row / area_side_cells % 2) * 4;
        return static_cast<std::uint8_t>(((byte >> shift) & 3U) * 4);
    }

  private:
    std::span<const std::uint8_t> atr_;
    std::size_t across_;
};

// A plane byte spread out to one byte per pixel, each 0 or 1, laid out so
// that the leftmost pixel (the most significant bit) comes first in memory.
// A row of eight pixels is then worked out in one 64-bit word.
constexpr std::array<std::uint64_t, 256> spread = [] {
    std::array<std::uint64_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        for (unsigned x = 0; x < tile_side; ++x) {
            const unsigned byte = std::endian::native == std::endian::little ? x : 7 - x;
            table[b] |= std::uint64_t{(b >> (7 - x)) & 1U} << (8 * byte);
        }
    }
    return table;
}();

constexpr std::uint64_t ones = 0x0101010101010101;

void draw_tile(const std::uint8_t* tile, std::uint8_t base, std::uint8_t* at,
               std::uint32_t stride) {
    for (std::uint32_t y = 0; y < tile_side; ++y, at += stride) {
        const std::uint64_t colours = spread[tile[y]] | spread[tile[y + 8]] << 1;
        // Colour 0 stays 0 (the backdrop); the others move up to palette p's
        // entries. No byte carries into the next: 4p + c is at most 15.
        const std::uint64_t shown = (colours | colours >> 1) & ones;
        const std::uint64_t row = colours + shown * base;
        std::memcpy(at, &row, sizeof row);
    }
}

std::vector<Rgb> colours_of(const Request& request, const NesColours& colours) {
    if (!request.pal && !request.atr) {
        return {grays.begin(), grays.end()};
    }
    const std::span<const std::uint8_t> numbers =
        request.pal ? request.pal->bytes : std::span<const std::uint8_t>(attribute_palette);
    std::vector<Rgb> palette(palette_bytes);
    for (std::size_t i = 0; i < palette_bytes; ++i) {
        palette[i] = colours[numbers[shown_byte(i)]];
    }
    return palette;
}

} // namespace

std::variant<std::uint32_t, Error> parse_width(std::string_view text) {
    std::uint64_t value = 0;
    bool digits = !text.empty();
    for (const char ch : text) {
        if (ch < '0' || ch > '9') {
            digits = false;
            break;
        }
        // Anything this large is refused below; stop before it overflows.
        value =
            std::min<std::uint64_t>(value * 10 + static_cast<unsigned>(ch - '0'), max_width + 1);
    }
    if (!digits) {
        return make_error(Problem::width_not_a_number,
                          "tileshow: -w takes a number of tiles, not \"%.*s\"\n", length(text),
                          text.data());
    }
    const auto width = static_cast<std::uint32_t>(value);
    if (auto error = check_width(width)) {
        return *error;
    }
    return width;
}

std::variant<Picture, Error> render(const Request& request, const NesColours& colours) {
    const std::uint32_t width = request.width.value_or(request.nam ? screen_width : sheet_width);
    if (auto error = check_width(width)) {
        return *error;
    }
    const Source& chr = request.chr;
    const std::size_t tiles = chr.bytes.size() / tile_bytes;
    if (tiles == 0) {
        return make_error(
            Problem::no_whole_tile,
            "tileshow: %.*s holds no whole tile: it is %zu byte%s, and a tile is %zu\n",
            length(chr.name), chr.name.data(), chr.bytes.size(), plural(chr.bytes.size()),
            tile_bytes);
    }
    if (request.pal) {
        if (auto error = check_palette(*request.pal)) {
            return *error;
        }
    }
    const std::size_t cells = request.nam ? request.nam->bytes.size() : tiles;
    if (cells == 0) {
        return make_error(Problem::empty_name_table,
                          "tileshow: %.*s is empty: there is nothing to draw\n",
                          length(request.nam->name), request.nam->name.data());
    }
    const std::uint64_t rows = (std::uint64_t{cells} + width - 1) / width;
    if (rows > max_width) {
        return make_error(
            Problem::too_high,
            "tileshow: the picture would be %llu pixels high, but at most %u are drawn; a "
            "larger -w makes it lower\n",
            static_cast<unsigned long long>(rows * tile_side), max_side);
    }
    const std::uint32_t width_px = width * tile_side;
    const auto height_px = static_cast<std::uint32_t>(rows * tile_side);
    std::span<const std::uint8_t> atr;
    if (request.atr) {
        atr = request.atr->bytes;
        const std::uint64_t needed = Areas::bytes_needed(width, rows);
        if (atr.size() < needed) {
            return make_error(
                Problem::attributes_short,
                "tileshow: %.*s is %zu byte%s, but a %ux%u picture needs %llu (one per "
                "32x32 block)\n",
                length(request.atr->name), request.atr->name.data(), atr.size(), plural(atr.size()),
                width_px, height_px, static_cast<unsigned long long>(needed));
        }
    }
    if (request.nam) {
        const std::span<const std::uint8_t> names = request.nam->bytes;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] >= tiles) {
                return make_error(
                    Problem::tile_past_end,
                    "tileshow: %.*s byte %zu (column %zu, row %zu) names tile $%02X, but "
                    "%.*s holds only %zu tile%s\n",
                    length(request.nam->name), request.nam->name.data(), i, i % width, i / width,
                    unsigned{names[i]}, length(chr.name), chr.name.data(), tiles, plural(tiles));
            }
        }
    }

    Picture picture;
    try {
        picture.pixels.assign(std::size_t{width_px} * height_px, 0);
    } catch (const std::bad_alloc&) {
        return make_error(Problem::no_memory, "tileshow: not enough memory for a %ux%u picture\n",
                          width_px, height_px);
    }
    picture.width = width_px;
    picture.height = height_px;
    picture.palette = colours_of(request, colours);

    const Areas areas(atr, width);
    // Past the name table's end the screen holds tile 0, as a cleared name
    // table would; past a sheet's last tile there is nothing, so those cells
    // stay backdrop.
    const std::size_t drawn = request.nam ? std::size_t{width} * rows : cells;
    for (std::size_t i = 0; i < drawn; ++i) {
        const std::size_t tile = !request.nam ? i : i < cells ? request.nam->bytes[i] : 0;
        const auto column = static_cast<std::uint32_t>(i % width);
        const auto row = static_cast<std::uint32_t>(i / width);
        std::uint8_t* at =
            picture.pixels.data() + (std::size_t{row} * width_px + column) * tile_side;
        draw_tile(chr.bytes.data() + tile * tile_bytes, areas.base(column, row), at, width_px);
    }
    return picture;
}

} // namespace tileshow
