// The one way pictures come into the suite. The readers (one per format of
// formats.def) check every header before decoding, so that a damaged or hostile file is
// refused instead of driving a decoder into absurd allocations or memory
// corruption. The pixels come back as an Image or a ColourImage (image.hpp),
// or the reason why there is none.
#pragma once

#include "image.hpp"

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace intake {

// No side may exceed this; it bounds every allocation a header can ask for.
inline constexpr std::uint32_t max_side = 16384;

enum class Format : std::uint8_t {
#define INTAKE_FORMAT(name, ...) name,
#include "formats.def"
#undef INTAKE_FORMAT
};

struct FormatInfo {
    const char* name; // as in formats.def, e.g. "bmp"
    Format format;
    std::span<const char* const> extensions; // without the dot, lower case
};

// Every format, in the order of formats.def.
std::span<const FormatInfo> formats();

// The format of that name; nothing for any other name.
std::optional<Format> format_named(std::string_view name);

struct Limits {
    std::uint32_t max_side = intake::max_side;
    // Pictures of more pixels than this are refused (a fuzzer's harness keeps
    // it small, so that valid but huge pictures do not pass for hangs).
    std::uint64_t max_pixels = std::uint64_t{intake::max_side} * intake::max_side;
};

// Why a picture could not be had.
enum class Reason : std::uint8_t {
    cannot_open,       // detail: the system's error text
    not_regular_file,  // a directory, a pipe, a device
    unknown_extension, // no reader takes it
    malformed,         // detail: what is wrong with the file
    unsupported,       // detail: the kind of picture that no reader here takes
    too_large,         // detail: the limit it goes past
    out_of_memory,
};

struct LoadError {
    Reason reason = Reason::malformed;
    std::string detail;
    // A short phrase for a message, e.g. "malformed: the pixel data ends early".
    std::string text() const;
};

// A picture, or why there is none.
template <typename Picture> struct Loaded {
    std::optional<Picture> picture;
    LoadError error; // meaningful only when there is no picture

    // From anything the picture is made from (for a variant, any of its
    // alternatives), or from the reason.
    template <typename From>
    requires std::is_constructible_v<Picture, From&&> Loaded(From&& from)
        : picture(std::forward<From>(from)) {}
    Loaded(LoadError e) : error(std::move(e)) {}

    explicit operator bool() const { return picture.has_value(); }
    Picture& operator*() { return *picture; }
    const Picture& operator*() const { return *picture; }
    Picture* operator->() { return &*picture; }
    const Picture* operator->() const { return &*picture; }
};

// Starts the image library the readers use. Call once before the first load;
// false if the library could not be started.
bool start();

// The format a path's extension names, in any case; nothing for any other
// extension, which no reader takes.
std::optional<Format> format_of(const char* path);

// Loads a picture, choosing the reader by the extension. `opened`, if given,
// receives the identity of the file that was read, so a caller can make sure
// not to write over it. True colour has no indices to give: a true-colour
// PNG is refused as unsupported, and the other formats give an Image of
// Kind::truecolor, as they always have.
Loaded<Image> load(const char* path, struct stat* opened = nullptr, const Limits& limits = {});

// Decodes a picture held in memory.
Loaded<Image> decode(Format format, std::span<const std::uint8_t> bytes, const Limits& limits = {});

// The same pictures in colour. Indexed pixels take their palette entry's
// colour, and an index past the palette's end is opaque black; gray levels
// become equal red, green and blue. Alpha is 255 wherever the file gives
// none: only PNG (its alpha channel or tRNS), 32-bit BMP with an alpha bit
// field of 0xFF000000, and TGA true colour whose header declares alpha bits
// (8 at 32 bits, 1 at 16 bits) carry it.
Loaded<ColourImage> load_colour(const char* path, struct stat* opened = nullptr,
                                const Limits& limits = {});
Loaded<ColourImage> decode_colour(Format format, std::span<const std::uint8_t> bytes,
                                  const Limits& limits = {});

// An indexed or gray picture in colour, by the rule above (a true-colour
// Image holds no colours and comes out black); nothing when the memory
// cannot be had.
std::optional<ColourImage> in_colour(const Image& image);

} // namespace intake
