// Decoded pictures as the tools read them. Image: one byte per pixel, a
// palette index, a gray level, or for true-colour pictures the index the
// image library's colour conversion gives. ColourImage: 8-bit red, green,
// blue and alpha per pixel. No library type appears here, so the tools' cores
// work on plain data.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <span>
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

// One pixel of a colour picture. Alpha 255 is opaque, 0 fully transparent.
struct Rgba {
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
    std::uint8_t a;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};
static_assert(sizeof(Rgba) == 4, "a colour picture is read as width * height Rgba");

// A picture in 8-bit colour: rows top to bottom, one after another with no
// padding, so that pixels() is all width * height of them.
class ColourImage {
  public:
    ColourImage() = default;

    // Every pixel is left for the caller to set; nothing when the memory
    // cannot be had.
    static std::optional<ColourImage> allocate(std::uint32_t width, std::uint32_t height) {
        const std::size_t count = std::size_t{width} * height;
        auto* raw = static_cast<Rgba*>(std::malloc(count == 0 ? 1 : count * sizeof(Rgba)));
        if (raw == nullptr) {
            return std::nullopt;
        }
        ColourImage image;
        image.width_ = width;
        image.height_ = height;
        image.pixels_.reset(raw);
        return image;
    }

    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }

    Rgba* row(std::uint32_t y) { return pixels_.get() + std::size_t{y} * width_; }
    const Rgba* row(std::uint32_t y) const { return pixels_.get() + std::size_t{y} * width_; }
    Rgba at(std::uint32_t x, std::uint32_t y) const { return row(y)[x]; }

    std::span<Rgba> pixels() { return {pixels_.get(), std::size_t{width_} * height_}; }
    std::span<const Rgba> pixels() const { return {pixels_.get(), std::size_t{width_} * height_}; }

  private:
    struct Free {
        void operator()(Rgba* p) const { std::free(p); }
    };
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::unique_ptr<Rgba, Free> pixels_;
};

} // namespace intake
