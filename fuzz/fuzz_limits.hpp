// What the fuzz targets and the corpus replay share.
#pragma once

#include "intake.hpp"

#include <cstdint>

// Valid pictures of 16384 x 16384 pixels fit in a few hundred bytes, and
// decoding one takes seconds: long enough for a fuzzer to report a hang where
// there is none. The harness keeps pictures small; the tools keep their own
// limits.
inline constexpr intake::Limits kFuzzLimits{intake::max_side, 2048 * 2048};

// An accepted picture must have every pixel there to read, and an indexed one
// a palette.
inline bool picture_is_whole(const intake::Image& image) {
    unsigned sum = 0;
    for (std::uint32_t y = 0; y < image.height(); ++y) {
        for (std::uint32_t x = 0; x < image.width(); ++x) {
            sum += image.at(x, y);
        }
    }
    // The sum keeps the reads from being optimised away.
    return image.width() > 0 && image.height() > 0 && sum != ~0u;
}
