// A decoded picture, one byte per pixel, as every tool of the suite reads it:
// a palette index, a gray level, or for true-colour pictures the index the
// image library's colour conversion gives. No library type appears here, so
// the tools' cores work on plain data.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace intake {

enum class Kind : std::uint8_t {
    indexed,   // pixel = palette index; palette() holds the colours
    gray,      // pixel = gray level 0-255; no palette
    truecolor, // pixel = what the library's conversion made of the colour
};

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

class Image {
  public:
    Image() = default;

    // A picture with its own pixel buffer, every pixel `fill`; nothing when
    // the memory cannot be had (callers refuse the picture then).
    static std::optional<Image> allocate(std::uint32_t width, std::uint32_t height, Kind kind,
                                         std::uint8_t fill = 0) {
        const std::size_t bytes = std::size_t{width} * height;
        auto* raw = static_cast<std::uint8_t*>(std::malloc(bytes == 0 ? 1 : bytes));
        if (raw == nullptr) {
            return std::nullopt;
        }
        std::fill(raw, raw + bytes, fill);
        Image image;
        image.width_ = width;
        image.height_ = height;
        image.kind_ = kind;
        image.stride_ = width;
        image.pixels_ = Storage(raw, Release{});
        return image;
    }

    // Takes over pixels held elsewhere (a decoder's own buffer): row y starts
    // at base + y * stride, and dropping `owner` frees them.
    static Image adopt(std::uint32_t width, std::uint32_t height, Kind kind, std::uint8_t* base,
                       std::size_t stride, std::shared_ptr<void> owner) {
        Image image;
        image.width_ = width;
        image.height_ = height;
        image.kind_ = kind;
        image.stride_ = stride;
        image.pixels_ = Storage(base, Release{std::move(owner)});
        return image;
    }

    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }
    Kind kind() const { return kind_; }

    // The file's colour table at full 8-bit precision (indexed pictures
    // only). Indices past its end have no colour of their own.
    const std::vector<Rgb>& palette() const { return palette_; }
    void set_palette(std::vector<Rgb> palette) { palette_ = std::move(palette); }

    std::uint8_t* row(std::uint32_t y) { return pixels_.get() + y * stride_; }
    const std::uint8_t* row(std::uint32_t y) const { return pixels_.get() + y * stride_; }
    std::uint8_t at(std::uint32_t x, std::uint32_t y) const { return row(y)[x]; }

  private:
    // Frees a buffer of its own; adopted pixels go when their owner does.
    struct Release {
        std::shared_ptr<void> owner;
        void operator()(std::uint8_t* p) const {
            if (!owner) {
                std::free(p);
            }
        }
    };
    // Move-only: a copy would share the pixels that the dither rewrites.
    using Storage = std::unique_ptr<std::uint8_t, Release>;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    Kind kind_ = Kind::indexed;
    std::size_t stride_ = 0;
    std::vector<Rgb> palette_;
    Storage pixels_;
};

} // namespace intake
