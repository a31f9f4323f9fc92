// The one way pictures come into the suite. Readers for BMP, PCX, PNG and TGA
// screen every header before decoding, so that a damaged or hostile file is
// refused instead of driving a decoder into absurd allocations or memory
// corruption. The pixels come back as an Image (image.hpp).
#pragma once

#include "image.hpp"

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <span>

namespace intake {

// No side may exceed this; it bounds every allocation a header can ask for.
inline constexpr std::uint32_t max_side = 16384;

enum class Format : std::uint8_t { bmp, pcx, png, tga };

struct Limits {
    std::uint32_t max_side = intake::max_side;
    // Pictures of more pixels than this are refused (a fuzzer's harness keeps
    // it small, so that valid but huge pictures do not pass for hangs).
    std::uint64_t max_pixels = std::uint64_t{intake::max_side} * intake::max_side;
};

// Starts the image library the readers use. Call once before the first load;
// false if the library could not be started.
bool start();

// The format a path's extension names, in any case; nothing for any other
// extension, which no reader takes.
std::optional<Format> format_of(const char* path);

// Loads a picture, choosing the reader by the extension. Nothing when the
// file cannot be opened, is not a regular file, is refused as malformed, or
// does not fit in memory. `opened`, if given, receives the identity of the
// file that was read, so a caller can make sure not to write over it.
std::optional<Image> load(const char* path, struct stat* opened = nullptr,
                          const Limits& limits = {});

// Decodes a picture held in memory.
std::optional<Image> decode(Format format, std::span<const std::uint8_t> bytes,
                            const Limits& limits = {});

} // namespace intake
