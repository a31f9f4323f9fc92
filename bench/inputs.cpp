#include "inputs.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace bench {

std::uint64_t Rng::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

namespace {

void fill_rect(Picture& pic, int x0, int y0, int x1, int y1, std::uint8_t colour) {
    x0 = std::clamp(x0, 0, pic.w);
    x1 = std::clamp(x1, 0, pic.w);
    y0 = std::clamp(y0, 0, pic.h);
    y1 = std::clamp(y1, 0, pic.h);
    for (int y = y0; y < y1; ++y) {
        auto* row =
            pic.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(pic.w);
        std::fill(row + x0, row + x1, colour);
    }
}

void fill_disc(Picture& pic, int cx, int cy, int r, std::uint8_t colour) {
    for (int dy = -r; dy <= r; ++dy) {
        int dx = 0;
        while ((dx + 1) * (dx + 1) + dy * dy <= r * r) {
            ++dx;
        }
        fill_rect(pic, cx - dx, cy + dy, cx + dx + 1, cy + dy + 1, colour);
    }
}

Picture blank(int w, int h, std::uint8_t colour) {
    return {w, h, Bytes(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), colour)};
}

void put_le(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

} // namespace

Picture screen(int w, int h, std::uint64_t seed) {
    Rng rng(seed);
    Picture pic = blank(w, h, 0);
    // A frame two tiles in from the edge.
    fill_rect(pic, 16, 16, w - 16, 20, 1);
    fill_rect(pic, 16, h - 20, w - 16, h - 16, 1);
    fill_rect(pic, 16, 16, 20, h - 16, 1);
    fill_rect(pic, w - 20, 16, w - 16, h - 16, 1);
    // Lines of "letters": a handful of glyph shapes on the tile grid.
    std::uint8_t glyphs[12][8];
    for (auto& glyph : glyphs) {
        for (auto& bits : glyph) {
            bits = static_cast<std::uint8_t>(rng.next() & 0x7E);
        }
    }
    for (int line = 0; line < 6; ++line) {
        const int y0 = 48 + line * 16;
        for (int x0 = 32; x0 + 8 <= w - 32; x0 += 8) {
            if (rng.below(5) == 0) {
                continue; // a space between words
            }
            const auto& glyph = glyphs[rng.below(12)];
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    if ((glyph[y] >> (7 - x)) & 1) {
                        fill_rect(pic, x0 + x, y0 + y, x0 + x + 1, y0 + y + 1, 2);
                    }
                }
            }
        }
    }
    // A checkered panel and a striped one below the text.
    for (int y = 160; y < 200; ++y) {
        for (int x = 32; x < 112; ++x) {
            fill_rect(pic, x, y, x + 1, y + 1,
                      static_cast<std::uint8_t>(((x / 4 + y / 4) & 1) * 3));
        }
        fill_rect(pic, 144, y, w - 32, y + 1, static_cast<std::uint8_t>(y / 2 % 4));
    }
    return pic;
}

Picture scene(int w, int h, std::uint64_t seed) {
    Rng rng(seed);
    Picture pic = blank(w, h, 0);
    const int shapes = w / 4 + h / 4;
    const auto span = [&rng](int n) {
        return static_cast<int>(rng.below(static_cast<std::uint32_t>(n)));
    };
    for (int i = 0; i < shapes; ++i) {
        const auto colour = static_cast<std::uint8_t>(rng.below(4));
        const int x = span(w);
        const int y = span(h);
        const int size = 8 + span(248);
        if (rng.below(2) == 0) {
            fill_rect(pic, x, y, x + size, y + 8 + span(248), colour);
        } else {
            fill_disc(pic, x, y, size / 2, colour);
        }
    }
    return pic;
}

Bytes to_bmp(const Picture& pic) {
    constexpr std::uint32_t headers = 14 + 40 + 256 * 4;
    const auto stride = static_cast<std::uint32_t>((pic.w + 3) / 4 * 4);
    const auto image = stride * static_cast<std::uint32_t>(pic.h);
    Bytes out;
    out.reserve(headers + image);
    out.push_back('B');
    out.push_back('M');
    put_le(out, headers + image, 4);
    put_le(out, 0, 4);
    put_le(out, headers, 4);
    put_le(out, 40, 4); // BITMAPINFOHEADER
    put_le(out, static_cast<std::uint32_t>(pic.w), 4);
    put_le(out, static_cast<std::uint32_t>(pic.h), 4); // positive: bottom-up
    put_le(out, 1, 2);
    put_le(out, 8, 2);
    put_le(out, 0, 4); // no compression
    put_le(out, image, 4);
    put_le(out, 2835, 4);
    put_le(out, 2835, 4);
    put_le(out, 256, 4);
    put_le(out, 0, 4);
    // Four distinct colours (blue, green, red, reserved) for indices 0-3.
    static const std::uint8_t colours[4][4] = {
        {0, 0, 0, 0}, {0x55, 0xAA, 0x55, 0}, {0xAA, 0x55, 0xFF, 0}, {0xFF, 0xFF, 0xFF, 0}};
    for (int i = 0; i < 256; ++i) {
        const auto& c = colours[i % 4];
        out.insert(out.end(), c, c + 4);
    }
    for (int y = pic.h - 1; y >= 0; --y) {
        const auto* row =
            pic.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(pic.w);
        out.insert(out.end(), row, row + pic.w);
        out.insert(out.end(), stride - static_cast<std::uint32_t>(pic.w), 0);
    }
    return out;
}

namespace {

constexpr std::uint32_t kSide = 16384;

void put_be(Bytes& out, std::uint32_t value) {
    for (int i = 3; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// A PNG of one IDAT chunk holding `data`, the deflated filtered rows.
Bytes png_file(std::uint32_t width, std::uint32_t height, std::uint8_t colour_type,
               const Bytes& data) {
    Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&out](const char* type, const Bytes& body) {
        put_be(out, static_cast<std::uint32_t>(body.size()));
        Bytes typed(type, type + 4);
        typed.insert(typed.end(), body.begin(), body.end());
        out.insert(out.end(), typed.begin(), typed.end());
        put_be(out,
               static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
    };
    Bytes header;
    put_be(header, width);
    put_be(header, height);
    header.insert(header.end(), {8, colour_type, 0, 0, 0}); // 8 bits a sample, no interlace
    chunk("IHDR", header);
    chunk("IDAT", data);
    chunk("IEND", {});
    return out;
}

} // namespace

Bytes largest_rle8_bmp() {
    Bytes out{'B', 'M'};
    put_le(out, 0, 4); // the file size, which no reader needs
    put_le(out, 0, 4);
    put_le(out, 14 + 40 + 1024, 4);
    put_le(out, 40, 4);
    put_le(out, kSide, 4);
    put_le(out, kSide, 4);
    put_le(out, 1, 2);
    put_le(out, 8, 2);
    put_le(out, 1, 4); // RLE8
    out.resize(14 + 40 + 1024, 0);
    for (std::uint32_t y = 0; y < kSide; ++y) {
        for (std::uint32_t x = 0; x < kSide; x += 256) {
            const auto colour = static_cast<std::uint8_t>((x / 256 + y / 8) % 4);
            out.insert(out.end(), {255, colour, 1, colour}); // 256 pixels
        }
        out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), {0, 1});
    return out;
}

Bytes largest_pcx(int planes) {
    Bytes out{10, 5, 1, 8};
    put_le(out, 0, 4);
    put_le(out, kSide - 1, 2);
    put_le(out, kSide - 1, 2);
    out.resize(65, 0);
    out.push_back(static_cast<std::uint8_t>(planes));
    put_le(out, kSide, 2);
    out.resize(128, 0);
    for (std::uint32_t line = 0; line < kSide * static_cast<std::uint32_t>(planes); ++line) {
        for (std::uint32_t x = 0; x < kSide; x += 63) {
            const std::uint32_t n = std::min<std::uint32_t>(63, kSide - x);
            out.push_back(static_cast<std::uint8_t>(0xC0 | n));
            out.push_back(static_cast<std::uint8_t>((x / 63 + line / 8) % 4));
        }
    }
    if (planes == 1) {
        out.push_back(12);
        out.resize(out.size() + 768, 0x40);
    }
    return out;
}

Bytes largest_rle32_tga() {
    Bytes out{0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    put_le(out, kSide, 2);
    put_le(out, kSide, 2);
    out.insert(out.end(), {32, 0x28});
    for (std::uint32_t i = 0; i < kSide * kSide / 128; ++i) {
        out.insert(out.end(), {0xFF, static_cast<std::uint8_t>(i), 0x40, 0x80, 0xFF});
    }
    return out;
}

Bytes largest_gray_png() {
    // A first row of stripes, then rows filtered as "up" with no difference:
    // 256 MiB of pixels that deflate to a few hundred kilobytes.
    Bytes row(kSide + 1, 0);
    for (std::uint32_t x = 0; x < kSide; ++x) {
        row[x + 1] = static_cast<std::uint8_t>(x / 64 % 4 * 60);
    }
    Bytes data;
    z_stream z{};
    deflateInit(&z, 6);
    Bytes window(1 << 16);
    for (std::uint32_t y = 0; y < kSide; ++y) {
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        do {
            z.next_out = window.data();
            z.avail_out = static_cast<uInt>(window.size());
            deflate(&z, y + 1 == kSide ? Z_FINISH : Z_NO_FLUSH);
            data.insert(data.end(), window.data(), z.next_out);
        } while (z.avail_out == 0);
        if (y == 0) {
            std::fill(row.begin() + 1, row.end(), 0);
            row[0] = 2;
        }
    }
    deflateEnd(&z);

    return png_file(kSide, kSide, 0, data);
}

Bytes random_bytes(std::size_t n, std::uint64_t seed) {
    Rng rng(seed);
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::uint8_t>(rng.next() >> 56);
    }
    return out;
}

Bytes shared_prefix_tiles(std::size_t n, std::size_t distinct, std::uint64_t seed) {
    Rng rng(seed);
    Bytes prefix(14);
    for (auto& b : prefix) {
        b = static_cast<std::uint8_t>(rng.next());
    }
    Bytes out;
    out.reserve(n);
    for (std::size_t i = 0; out.size() + 16 <= n; ++i) {
        const auto tail = static_cast<std::uint16_t>(i % distinct);
        out.insert(out.end(), prefix.begin(), prefix.end());
        out.push_back(static_cast<std::uint8_t>(tail >> 8));
        out.push_back(static_cast<std::uint8_t>(tail));
    }
    out.resize(n, 0);
    return out;
}

Bytes long_runs(std::size_t n, std::uint64_t seed) {
    Rng rng(seed);
    Bytes out;
    out.reserve(n);
    std::uint8_t value = 0;
    while (out.size() < n) {
        value = static_cast<std::uint8_t>(value + 1 + rng.below(255));
        const std::size_t length = std::min<std::size_t>(64 + rng.below(4032), n - out.size());
        out.insert(out.end(), length, value);
    }
    return out;
}

ColourPicture photo(int w, int h, std::uint64_t seed, int grain) {
    Rng rng(seed);
    const auto channel = [&rng] { return static_cast<int>(rng.below(256)); };
    const int sky_top[3] = {channel(), channel(), channel()};
    const int sky_low[3] = {channel(), channel(), channel()};
    const int land[3] = {channel(), channel(), channel()};
    // The skyline: a height every 32 pixels, straight lines between.
    std::vector<int> ridge(static_cast<std::size_t>(w / 32 + 2));
    for (int& r : ridge) {
        r = h / 3 + static_cast<int>(rng.below(static_cast<std::uint32_t>(h / 3 + 1)));
    }
    struct Disc {
        int x, y, r, colour[3];
    };
    std::vector<Disc> discs(6);
    for (Disc& d : discs) {
        d = {static_cast<int>(rng.below(static_cast<std::uint32_t>(w))),
             static_cast<int>(rng.below(static_cast<std::uint32_t>(h))),
             8 + static_cast<int>(rng.below(static_cast<std::uint32_t>(w / 6 + 1))),
             {channel(), channel(), channel()}};
    }
    ColourPicture pic{w, h, Bytes(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3)};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const auto at = static_cast<std::size_t>(x / 32);
            const int ground = ridge[at] + (ridge[at + 1] - ridge[at]) * (x % 32) / 32;
            int c[3];
            for (int i = 0; i < 3; ++i) {
                c[i] = y < ground ? sky_top[i] + (sky_low[i] - sky_top[i]) * y / h
                                  : land[i] * (2 * h - y) / (2 * h);
            }
            for (const Disc& d : discs) {
                const int d2 = (x - d.x) * (x - d.x) + (y - d.y) * (y - d.y);
                if (d2 < d.r * d.r) {
                    // Fading out towards the rim, as a lit ball or a sun.
                    const int weight = 256 - 256 * d2 / (d.r * d.r);
                    for (int i = 0; i < 3; ++i) {
                        c[i] += (d.colour[i] - c[i]) * weight / 256;
                    }
                }
            }
            for (int i = 0; i < 3; ++i) {
                const int noise =
                    static_cast<int>(rng.below(static_cast<std::uint32_t>(2 * grain + 1))) - grain;
                pic.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                         static_cast<std::size_t>(x)) *
                            3 +
                        static_cast<std::size_t>(i)] =
                    static_cast<std::uint8_t>(std::clamp(c[i] + noise, 0, 255));
            }
        }
    }
    return pic;
}

Bytes to_png(const ColourPicture& pic) {
    const std::size_t stride = static_cast<std::size_t>(pic.w) * 3;
    Bytes rows;
    rows.reserve((stride + 1) * static_cast<std::size_t>(pic.h));
    for (int y = 0; y < pic.h; ++y) {
        rows.push_back(0); // filter: none
        const auto* row = pic.rgb.data() + static_cast<std::size_t>(y) * stride;
        rows.insert(rows.end(), row, row + stride);
    }
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    Bytes data(size);
    compress2(data.data(), &size, rows.data(), static_cast<uLong>(rows.size()), 6);
    data.resize(size);
    return png_file(static_cast<std::uint32_t>(pic.w), static_cast<std::uint32_t>(pic.h), 2, data);
}

bool write_file(const std::string& path, const Bytes& bytes) {
    struct Closer {
        void operator()(std::FILE* f) const noexcept { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> f(std::fopen(path.c_str(), "wb"));
    if (!f) {
        return false;
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
        return false;
    }
    return std::fclose(f.release()) == 0;
}

} // namespace bench
