// A PNG read back for the tests straight through libpng: its header, its
// palette and one palette index per pixel, with nothing of tileshow's writer
// in between. Shared with tests/chain.
#pragma once

#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdint>
#include <optional>
#include <vector>

namespace png_read {

using Rgb = std::array<std::uint8_t, 3>;

struct Indexed {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bit_depth = 0;
    int colour_type = -1;
    std::vector<Rgb> palette;
    std::vector<std::uint8_t> pixels; // one index per pixel, rows top to bottom

    std::uint8_t at(std::uint32_t x, std::uint32_t y) const {
        return pixels.at(std::size_t{y} * width + x);
    }
};

namespace detail {

struct Memory {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

inline void from_memory(png_structp png, png_bytep out, png_size_t n) {
    auto* memory = static_cast<Memory*>(png_get_io_ptr(png));
    if (n > memory->size - memory->at) {
        png_error(png, "the file ends early");
    }
    std::copy_n(memory->data + memory->at, n, out);
    memory->at += n;
}

inline void quiet(png_structp, png_const_charp) {}

// libpng leaves by longjmp; this frame owns nothing that needs a destructor.
inline bool decode(png_structp png, png_infop info, Memory* memory) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_read_fn(png, memory, from_memory);
    // One byte per pixel; the values themselves stay as stored.
    png_read_png(png, info, PNG_TRANSFORM_PACKING, nullptr);
    return true;
}

struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    Reader() = default;
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    ~Reader() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

} // namespace detail

// Nothing when libpng refuses the bytes.
inline std::optional<Indexed> read(const std::vector<std::uint8_t>& file) {
    detail::Reader r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, detail::quiet);
    if (r.png == nullptr || (r.info = png_create_info_struct(r.png)) == nullptr) {
        return std::nullopt;
    }
    detail::Memory memory{file.data(), file.size()};
    if (!detail::decode(r.png, r.info, &memory)) {
        return std::nullopt;
    }
    Indexed image;
    image.width = png_get_image_width(r.png, r.info);
    image.height = png_get_image_height(r.png, r.info);
    // As stored: after the packing, libpng reports 8 bits. IHDR comes first,
    // after the signature and the chunk's length, type, width and height.
    image.bit_depth = file.at(24);
    image.colour_type = file.at(25);
    png_colorp colours = nullptr;
    int count = 0;
    if (png_get_PLTE(r.png, r.info, &colours, &count) != 0) {
        for (int i = 0; i < count; ++i) {
            image.palette.push_back({colours[i].red, colours[i].green, colours[i].blue});
        }
    }
    png_bytepp rows = png_get_rows(r.png, r.info);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        image.pixels.insert(image.pixels.end(), rows[y], rows[y] + image.width);
    }
    return image;
}

} // namespace png_read
