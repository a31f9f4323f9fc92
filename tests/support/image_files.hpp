// Writers for the image files the intake tests feed in: BMP, PCX and TGA
// byte by byte, PNG through libpng. Pixels are given top row first.
#pragma once

#include <png.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<int>; // width * height values, row by row

// Stretches of equal values below `limit`, so that runs and literals of
// every length occur.
inline Pixels random_pixels(int w, int h, std::uint32_t limit, unsigned seed) {
    std::mt19937 rng(seed);
    Pixels px(static_cast<std::size_t>(w * h));
    for (std::size_t i = 0; i < px.size(); ++i) {
        px[i] = i > 0 && rng() % 3 != 0 ? px[i - 1] : static_cast<int>(rng() % limit);
    }
    return px;
}

inline Bytes cut(Bytes b, std::size_t size) {
    b.resize(size);
    return b;
}

inline Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline void le(Bytes& b, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) {
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

struct BmpKind {
    std::uint32_t info = 40; // info header size
    int bpp = 8;
    bool rle = false;
    bool top_down = false;
};

// Rows coded as runs of equal pixels, each row closed by end-of-row.
inline void rle_rows(const BmpKind& s, int w, int h, const Pixels& px, Bytes& out) {
    for (int r = 0; r < h; ++r) {
        const int y = s.top_down ? r : h - 1 - r;
        for (int x = 0; x < w;) {
            const int v = px[static_cast<std::size_t>(y * w + x)];
            int n = 1;
            while (x + n < w && n < 255 && px[static_cast<std::size_t>(y * w + x + n)] == v) {
                ++n;
            }
            out.push_back(static_cast<std::uint8_t>(n));
            out.push_back(static_cast<std::uint8_t>(s.bpp == 4 ? v * 17 : v));
            x += n;
        }
        le(out, 0, 2);
    }
    le(out, 0x100, 2);
}

inline Bytes bmp_file(const BmpKind& s, int w, int h, const Pixels& px) {
    const bool core = s.info == 12;
    const std::uint32_t colors = 1u << s.bpp;
    const std::uint32_t offset = 14 + s.info + colors * (core ? 3 : 4);
    Bytes data;
    if (s.rle) {
        rle_rows(s, w, h, px, data);
    } else {
        const int stride = (w * s.bpp + 31) / 32 * 4;
        for (int r = 0; r < h; ++r) {
            const int y = s.top_down ? r : h - 1 - r;
            Bytes row(static_cast<std::size_t>(stride), 0);
            for (int x = 0; x < w; ++x) {
                const int bit = x * s.bpp;
                row[static_cast<std::size_t>(bit / 8)] |= static_cast<std::uint8_t>(
                    px[static_cast<std::size_t>(y * w + x)] << (8 - s.bpp - bit % 8));
            }
            data.insert(data.end(), row.begin(), row.end());
        }
    }
    Bytes b{'B', 'M'};
    le(b, offset + static_cast<std::uint32_t>(data.size()), 4);
    le(b, 0, 4);
    le(b, offset, 4);
    le(b, s.info, 4);
    const int height = s.top_down ? -h : h;
    le(b, static_cast<std::uint32_t>(w), core ? 2 : 4);
    le(b, static_cast<std::uint32_t>(height), core ? 2 : 4);
    le(b, 1, 2);
    le(b, static_cast<std::uint32_t>(s.bpp), 2);
    if (!core) {
        le(b, s.rle ? (s.bpp == 8 ? 1 : 2) : 0, 4);
        le(b, static_cast<std::uint32_t>(data.size()), 4);
        b.resize(14 + s.info, 0); // resolution, colour counts, masks, colour space: zero
    }
    for (std::uint32_t i = 0; i < colors; ++i) {
        le(b, i * 0x010101u, core ? 3 : 4);
    }
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// The 128-byte header of a run-length coded PCX of 8 bits in each plane.
inline Bytes pcx_header(int w, int h, int planes, int line_bytes) {
    Bytes b{10, 5, 1, 8};
    le(b, 0, 4);
    le(b, static_cast<std::uint32_t>(w - 1), 2);
    le(b, static_cast<std::uint32_t>(h - 1), 2);
    b.resize(65, 0);
    b.push_back(static_cast<std::uint8_t>(planes));
    le(b, static_cast<std::uint32_t>(line_bytes), 2);
    b.resize(128, 0);
    return b;
}

// An 8-bit PCX of one plane, coded with runs that may cross scanlines,
// scanlines padded to `line_bytes`, and the 256-colour table at the end.
inline Bytes pcx_file(int w, int h, const Pixels& px, int line_bytes) {
    Bytes b = pcx_header(w, h, 1, line_bytes);
    Bytes flat;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < line_bytes; ++x) {
            flat.push_back(
                static_cast<std::uint8_t>(x < w ? px[static_cast<std::size_t>(y * w + x)] : 0));
        }
    }
    for (std::size_t i = 0; i < flat.size();) {
        std::size_t n = 1;
        while (i + n < flat.size() && n < 63 && flat[i + n] == flat[i]) {
            ++n;
        }
        b.push_back(static_cast<std::uint8_t>(0xC0 | n));
        b.push_back(flat[i]);
        i += n;
    }
    b.push_back(12);
    b.resize(b.size() + 768, 0x55);
    return b;
}

struct TgaKind {
    int type = 3; // 1, 2, 3 or, run-length coded, 9, 10, 11
    int bpp = 8;
    bool top_down = false;
    bool right_to_left = false;
    bool rows_apart = false; // no packet crosses a row, as the library expects
    int map_first = 0;       // colour-mapped only: the first index and the
    int map_entry = 24;      // bits of each entry; the map runs up to 255
};

// A TGA file. A pixel value is the index or gray level at 8 bits and the
// stored value (little-endian) at 15 to 32 bits.
inline Bytes tga_file(const TgaKind& s, int w, int h, const Pixels& px) {
    const bool mapped = (s.type & 7) == 1;
    const int map_length = mapped ? 256 - s.map_first : 0;
    Bytes b{0, static_cast<std::uint8_t>(mapped ? 1 : 0), static_cast<std::uint8_t>(s.type)};
    le(b, static_cast<std::uint32_t>(mapped ? s.map_first : 0), 2);
    le(b, static_cast<std::uint32_t>(map_length), 2);
    b.push_back(static_cast<std::uint8_t>(mapped ? s.map_entry : 0));
    le(b, 0, 4);
    le(b, static_cast<std::uint32_t>(w), 2);
    le(b, static_cast<std::uint32_t>(h), 2);
    b.push_back(static_cast<std::uint8_t>(s.bpp));
    b.push_back(static_cast<std::uint8_t>((s.top_down ? 0x20 : 0) | (s.right_to_left ? 0x10 : 0)));
    for (int i = 0; i < map_length; ++i) {
        le(b, static_cast<std::uint32_t>(i * 0x010101), (s.map_entry + 7) / 8);
    }
    const int size = (s.bpp + 7) / 8;
    std::vector<std::uint32_t> stored; // pixels in the order the file keeps them
    for (int r = 0; r < h; ++r) {
        const int y = s.top_down ? r : h - 1 - r;
        for (int c = 0; c < w; ++c) {
            const int x = s.right_to_left ? w - 1 - c : c;
            stored.push_back(static_cast<std::uint32_t>(px[static_cast<std::size_t>(y * w + x)]));
        }
    }
    if (s.type < 8) {
        for (const std::uint32_t v : stored) {
            le(b, v, size);
        }
        return b;
    }
    // Runs of two or more equal pixels, literals between them.
    const std::size_t row = s.rows_apart ? static_cast<std::size_t>(w) : stored.size();
    for (std::size_t i = 0; i < stored.size();) {
        const std::size_t limit = std::min({i + 128, stored.size(), (i / row + 1) * row});
        std::size_t n = 1;
        while (i + n < limit && stored[i + n] == stored[i]) {
            ++n;
        }
        if (n == 1) {
            while (i + n < limit && stored[i + n] != stored[i + n - 1]) {
                ++n;
            }
            b.push_back(static_cast<std::uint8_t>(n - 1));
            for (std::size_t k = 0; k < n; ++k) {
                le(b, stored[i + k], size);
            }
        } else {
            b.push_back(static_cast<std::uint8_t>(0x80 | (n - 1)));
            le(b, stored[i], size);
        }
        i += n;
    }
    return b;
}

// A PNG through libpng: `chunks(png, info)` sets what comes before the
// pixels (a palette, tRNS), `row(y, bytes, channels)` fills row y's bytes.
template <typename Chunks, typename Row>
Bytes png_written(int w, int h, int color_type, int depth, bool interlace, Chunks chunks, Row row) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep d, png_size_t n) {
            auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
            o->insert(o->end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), depth,
                 color_type, interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    chunks(png, info);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    const int channels = png_get_channels(png, info);
    std::vector<Bytes> rows;
    for (int y = 0; y < h; ++y) {
        Bytes bytes(static_cast<std::size_t>(png_get_rowbytes(png, info)), 0);
        row(y, bytes, channels);
        rows.push_back(std::move(bytes));
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (Bytes& r : rows) {
            png_write_row(png, r.data());
        }
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// A PNG of the given colour type and bit depth; each value is one sample
// (gray or index), repeated for every channel of the colour type.
inline Bytes png_file(int w, int h, int color_type, int depth, const Pixels& px,
                      bool interlace = false) {
    const auto chunks = [&](png_structp png, png_infop info) {
        std::vector<png_color> palette(256);
        for (int i = 0; i < 256; ++i) {
            palette[static_cast<std::size_t>(i)] = {static_cast<png_byte>(i), 0, 0};
        }
        if (color_type == PNG_COLOR_TYPE_PALETTE) {
            png_set_PLTE(png, info, palette.data(), 1 << depth);
        }
    };
    const int sample_bytes = depth == 16 ? 2 : 1;
    const auto row = [&](int y, Bytes& bytes, int channels) {
        // Samples of under 8 bits are packed into a byte row, high bits first.
        for (int x = 0; x < w; ++x) {
            const int v = px[static_cast<std::size_t>(y * w + x)];
            for (int c = 0; c < channels; ++c) {
                const int i = x * channels + c;
                if (depth < 8) {
                    const int bit = i * depth;
                    bytes[static_cast<std::size_t>(bit / 8)] |=
                        static_cast<std::uint8_t>(v << (8 - depth - bit % 8));
                } else {
                    for (int k = 0; k < sample_bytes; ++k) {
                        bytes[static_cast<std::size_t>(i * sample_bytes + k)] =
                            static_cast<std::uint8_t>(v >> (8 * (sample_bytes - 1 - k)));
                    }
                }
            }
        }
    };
    return png_written(w, h, color_type, depth, interlace, chunks, row);
}
