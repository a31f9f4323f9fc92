// What the fuzz targets and the corpus replay share.
#pragma once

#include "intake.hpp"

#include <cstdint>
#include <span>
#include <type_traits>

// Valid pictures of 16384 x 16384 pixels fit in a few hundred bytes, and
// decoding one takes seconds: long enough for a fuzzer to report a hang where
// there is none. The harness keeps pictures small; the tools keep their own
// limits.
inline constexpr intake::Limits kFuzzLimits{intake::max_side, 2048 * 2048};

// An accepted picture must have every pixel there to read.
template <typename Picture> bool picture_is_whole(const Picture& image) {
    unsigned sum = 0;
    for (std::uint32_t y = 0; y < image.height(); ++y) {
        for (std::uint32_t x = 0; x < image.width(); ++x) {
            if constexpr (std::is_same_v<Picture, intake::ColourImage>) {
                const intake::Rgba c = image.at(x, y);
                sum += unsigned{c.r} + c.g + c.b + c.a;
            } else {
                sum += image.at(x, y);
            }
        }
    }
    // The sum keeps the reads from being optimised away.
    return image.width() > 0 && image.height() > 0 && sum != ~0u;
}

// Decodes the bytes at their own depth and in colour. False if either
// picture is not whole, or only one of the two is accepted: the colour
// decode takes every file the other takes, and true-colour PNG besides.
inline bool decodes_whole(intake::Format format, std::span<const std::uint8_t> bytes) {
    const auto image = intake::decode(format, bytes, kFuzzLimits);
    const auto colour = intake::decode_colour(format, bytes, kFuzzLimits);
    if (image && !picture_is_whole(*image)) {
        return false;
    }
    if (colour && !picture_is_whole(*colour)) {
        return false;
    }
    if (image && colour &&
        (image->width() != colour->width() || image->height() != colour->height())) {
        return false;
    }
    const bool png_colour = format == intake::Format::png && !image &&
                            image.error.reason == intake::Reason::unsupported;
    return static_cast<bool>(image) == static_cast<bool>(colour) || (png_colour && colour);
}
