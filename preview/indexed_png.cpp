// libpng reports errors by longjmp. The calls that may jump live in
// write_all, whose frame holds nothing with a destructor; everything that
// must be released is owned by write's frame, which never jumps.
#include "indexed_png.hpp"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

namespace indexed_png {

namespace {

// Shared by the callbacks and the frame that owns the libpng structures.
struct Sink {
    std::FILE* out = nullptr;
    int error = 0;     // errno of a failed write, if one failed
    char message[256]; // libpng's words for any other failure
};

[[noreturn]] void on_error(png_structp png, png_const_charp message) {
    auto* sink = static_cast<Sink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {
    // Nothing a warning says would change the file written.
}

void on_write(png_structp png, png_bytep data, png_size_t size) {
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    errno = 0;
    if (std::fwrite(data, 1, size, sink->out) != size) {
        sink->error = errno != 0 ? errno : EIO;
        png_error(png, "write failed");
    }
}

// libpng flushes only when asked to, which this writer never does; the
// stream is flushed once, after the whole file. A callback of our own is
// still needed: the default would take the sink for a FILE*.
void on_flush(png_structp) {}

struct WriteStruct {
    png_structp png = nullptr;
    png_infop info = nullptr;
    WriteStruct() = default;
    WriteStruct(const WriteStruct&) = delete;
    WriteStruct& operator=(const WriteStruct&) = delete;
    ~WriteStruct() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

int depth_for(std::size_t colours) {
    int depth = 1;
    while ((std::size_t{1} << depth) < colours) {
        depth *= 2;
    }
    return depth;
}

// Several pixels to a byte, the leftmost in the high bits. Done here rather
// than by libpng, whose packing takes more instructions than compressing
// the packed rows.
template <unsigned depth>
void pack_at(const std::uint8_t* pixels, std::uint32_t width, std::uint8_t* out) {
    constexpr unsigned per_byte = 8 / depth;
    constexpr unsigned mask = (1U << depth) - 1;
    std::uint32_t x = 0;
    for (; x + per_byte <= width; x += per_byte) {
        unsigned byte = 0;
        for (unsigned k = 0; k < per_byte; ++k) {
            byte = (byte << depth) | (pixels[x + k] & mask);
        }
        *out++ = static_cast<std::uint8_t>(byte);
    }
    if (x < width) {
        unsigned byte = 0;
        for (unsigned k = 0; k < per_byte; ++k) {
            byte = (byte << depth) | (x + k < width ? pixels[x + k] & mask : 0U);
        }
        *out = static_cast<std::uint8_t>(byte);
    }
}

void pack(const std::uint8_t* pixels, std::uint32_t width, int depth, std::uint8_t* out) {
    switch (depth) {
    case 1:
        return pack_at<1>(pixels, width, out);
    case 2:
        return pack_at<2>(pixels, width, out);
    case 4:
        return pack_at<4>(pixels, width, out);
    default:
        std::memcpy(out, pixels, width);
    }
}

bool write_all(png_structp png, png_infop info, const Picture& picture, png_const_colorp palette,
               int colours, std::uint8_t* row) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    const int depth = depth_for(picture.palette.size());
    png_set_IHDR(png, info, picture.width, picture.height, depth, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, palette, colours);
    // Tiles repeat so much that the fastest setting already packs a screen
    // into a few kilobytes. A run costs mostly the pages it first touches,
    // so the compressor also gets a small window (a tile row repeats within
    // a few rows of pixels) and small tables: about 40 fewer page faults for
    // a screen, at a few percent of the file's size.
    png_set_compression_level(png, 1);
    png_set_compression_window_bits(png, 12);
    png_set_compression_mem_level(png, 4);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    const std::uint8_t* pixels = picture.pixels.data();
    for (std::uint32_t y = 0; y < picture.height; ++y, pixels += picture.width) {
        pack(pixels, picture.width, depth, row);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

} // namespace

std::optional<std::string> write(const Picture& picture, std::FILE* out) {
    Sink sink;
    sink.out = out;
    std::strcpy(sink.message, "out of memory");
    WriteStruct ws;
    png_color palette[PNG_MAX_PALETTE_LENGTH] = {};
    const std::size_t colours =
        std::min<std::size_t>(picture.palette.size(), PNG_MAX_PALETTE_LENGTH);
    for (std::size_t i = 0; i < colours; ++i) {
        palette[i] = {picture.palette[i].r, picture.palette[i].g, picture.palette[i].b};
    }
    bool written = false;
    if (picture.pixels.size() != std::size_t{picture.width} * picture.height) {
        std::strcpy(sink.message, "the picture's size does not match its pixels");
    } else {
        ws.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, on_error, on_warning);
        if (ws.png != nullptr) {
            ws.info = png_create_info_struct(ws.png);
        }
        // A whole byte for every pixel is more than any depth needs.
        std::vector<std::uint8_t> row(std::size_t{picture.width} + 1);
        if (ws.info != nullptr) {
            png_set_write_fn(ws.png, &sink, on_write, on_flush);
            written =
                write_all(ws.png, ws.info, picture, palette, static_cast<int>(colours), row.data());
        }
    }
    // What the stream still buffers can fail to reach the file only now.
    errno = 0;
    if (written && std::fflush(out) != 0) {
        sink.error = errno != 0 ? errno : EIO;
        written = false;
    }
    if (written) {
        return std::nullopt;
    }
    return sink.error != 0 ? std::strerror(sink.error) : sink.message;
}

} // namespace indexed_png
