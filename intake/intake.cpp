#include "readers.hpp"

#include <strings.h>

#include <cstring>
#include <new>

namespace intake {

namespace {

// The format table, from formats.def: each format's extensions and reader.
#define INTAKE_FORMAT(name, ...) constexpr const char* name##_extensions[] = {__VA_ARGS__};
#include "formats.def"
#undef INTAKE_FORMAT

constexpr FormatInfo kFormats[] = {
#define INTAKE_FORMAT(name, ...) {#name, Format::name, name##_extensions},
#include "formats.def"
#undef INTAKE_FORMAT
};

using ReadFunction = Decoded (*)(ByteSource&, const Limits&, Want);
constexpr ReadFunction kReaders[] = {
#define INTAKE_FORMAT(name, ...) read_##name,
#include "formats.def"
#undef INTAKE_FORMAT
};

Decoded read(Format format, ByteSource& src, const Limits& limits, Want want) {
    // Whatever runs out of memory while a picture is read, the picture is
    // refused like any other that cannot be read; the tool never aborts.
    try {
        return kReaders[static_cast<std::size_t>(format)](src, limits, want);
    } catch (const std::bad_alloc&) {
    }
    return out_of_memory();
}

// "not a .bmp, .pcx, .png or .tga file", from the table.
std::string unknown_extension_text() {
    std::vector<std::string> names;
    for (const FormatInfo& f : kFormats) {
        for (const char* extension : f.extensions) {
            names.push_back(std::string(".") + extension);
        }
    }
    std::string text = "not a ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return text + " file";
}

Loaded<Image> at_own_depth(Decoded decoded) {
    if (!decoded) {
        return std::move(decoded.error);
    }
    return std::get<Image>(std::move(*decoded));
}

Loaded<ColourImage> colour_of(Decoded decoded) {
    if (!decoded) {
        return std::move(decoded.error);
    }
    if (auto* colour = std::get_if<ColourImage>(&*decoded)) {
        return std::move(*colour);
    }
    std::optional<ColourImage> colour = in_colour(std::get<Image>(*decoded));
    if (!colour) {
        return out_of_memory();
    }
    return std::move(*colour);
}

// Every other extension is refused: the image library's readers for them
// trust their headers and can be driven to corrupt memory.
Decoded load_file(const char* path, struct stat* opened, const Limits& limits, Want want) {
    const std::optional<Format> format = format_of(path);
    if (!format) {
        return LoadError{Reason::unknown_extension, {}};
    }
    LoadError why;
    std::unique_ptr<FileSource> src;
    try {
        src = FileSource::open(path, opened, why);
    } catch (const std::bad_alloc&) {
        return out_of_memory();
    }
    if (!src) {
        return why;
    }
    return read(*format, *src, limits, want);
}

Decoded decode_bytes(Format format, std::span<const std::uint8_t> bytes, const Limits& limits,
                     Want want) {
    MemorySource src(bytes);
    return read(format, src, limits, want);
}

} // namespace

std::string LoadError::text() const {
    switch (reason) {
    case Reason::cannot_open:
        return detail;
    case Reason::not_regular_file:
        return fileio::not_regular;
    case Reason::unknown_extension:
        return unknown_extension_text();
    case Reason::malformed:
        return "malformed: " + detail;
    case Reason::unsupported:
        return "not supported: " + detail;
    case Reason::too_large:
        return "too large: " + detail;
    case Reason::out_of_memory:
        return "out of memory";
    }
    return detail;
}

std::optional<LoadError> size_refusal(const Limits& limits, std::uint32_t width,
                                      std::uint32_t height) {
    if (width == 0 || height == 0) {
        return malformed("the picture has no pixels");
    }
    if (width > limits.max_side || height > limits.max_side) {
        return LoadError{Reason::too_large,
                         "more than " + std::to_string(limits.max_side) + " pixels a side"};
    }
    if (std::uint64_t{width} * height > limits.max_pixels) {
        return LoadError{Reason::too_large,
                         "more than " + std::to_string(limits.max_pixels) + " pixels"};
    }
    return std::nullopt;
}

std::span<const FormatInfo> formats() {
    return kFormats;
}

std::optional<Format> format_named(std::string_view name) {
    for (const FormatInfo& f : kFormats) {
        if (name == f.name) {
            return f.format;
        }
    }
    return std::nullopt;
}

std::optional<Format> format_of(const char* path) {
    // The extension is what follows the last dot of the last path component.
    const char* slash = std::strrchr(path, '/');
    const char* dot = std::strrchr(slash != nullptr ? slash : path, '.');
    if (dot == nullptr) {
        return std::nullopt;
    }
    for (const FormatInfo& f : kFormats) {
        for (const char* extension : f.extensions) {
            if (strcasecmp(dot + 1, extension) == 0) {
                return f.format;
            }
        }
    }
    return std::nullopt;
}

Loaded<Image> load(const char* path, struct stat* opened, const Limits& limits) {
    return at_own_depth(load_file(path, opened, limits, Want::own_depth));
}

Loaded<Image> decode(Format format, std::span<const std::uint8_t> bytes, const Limits& limits) {
    return at_own_depth(decode_bytes(format, bytes, limits, Want::own_depth));
}

Loaded<ColourImage> load_colour(const char* path, struct stat* opened, const Limits& limits) {
    return colour_of(load_file(path, opened, limits, Want::colour));
}

Loaded<ColourImage> decode_colour(Format format, std::span<const std::uint8_t> bytes,
                                  const Limits& limits) {
    return colour_of(decode_bytes(format, bytes, limits, Want::colour));
}

std::optional<ColourImage> in_colour(const Image& image) {
    std::optional<ColourImage> colour = ColourImage::allocate(image.width(), image.height());
    if (!colour) {
        return std::nullopt;
    }
    const std::vector<Rgb>& palette = image.palette();
    for (std::uint32_t y = 0; y < image.height(); ++y) {
        const std::uint8_t* from = image.row(y);
        Rgba* to = colour->row(y);
        for (std::uint32_t x = 0; x < image.width(); ++x) {
            const std::uint8_t v = from[x];
            switch (image.kind()) {
            case Kind::gray:
                to[x] = Rgba{v, v, v, 255};
                break;
            case Kind::indexed:
                if (v < palette.size()) {
                    const Rgb c = palette[v];
                    to[x] = Rgba{c.r, c.g, c.b, 255};
                } else {
                    to[x] = Rgba{0, 0, 0, 255};
                }
                break;
            case Kind::truecolor:
                to[x] = Rgba{0, 0, 0, 255};
                break;
            }
        }
    }
    return colour;
}

} // namespace intake
