#include "readers.hpp"

#include <strings.h>

#include <cstring>
#include <new>

namespace intake {

namespace {

std::optional<Image> read(Format format, ByteSource& src, const Limits& limits) {
    // Whatever runs out of memory while a picture is read, the picture is
    // refused like any other that cannot be read; the tool never aborts.
    try {
        switch (format) {
        case Format::bmp:
            return read_bmp(src, limits);
        case Format::pcx:
            return read_pcx(src, limits);
        case Format::png:
            return read_png(src, limits);
        case Format::tga:
            return read_tga(src, limits);
        }
    } catch (const std::bad_alloc&) {
    }
    return std::nullopt;
}

} // namespace

std::optional<Format> format_of(const char* path) {
    // The extension is what follows the last dot of the last path component.
    const char* slash = std::strrchr(path, '/');
    const char* dot = std::strrchr(slash != nullptr ? slash : path, '.');
    if (dot == nullptr) {
        return std::nullopt;
    }
    const struct {
        const char* extension;
        Format format;
    } known[] = {
        {"bmp", Format::bmp}, {"pcx", Format::pcx}, {"png", Format::png}, {"tga", Format::tga}};
    for (const auto& k : known) {
        if (strcasecmp(dot + 1, k.extension) == 0) {
            return k.format;
        }
    }
    return std::nullopt;
}

std::optional<Image> load(const char* path, struct stat* opened, const Limits& limits) {
    // Every other extension is refused: the image library's readers for them
    // trust their headers and can be driven to corrupt memory.
    const std::optional<Format> format = format_of(path);
    if (!format) {
        return std::nullopt;
    }
    std::unique_ptr<FileSource> src;
    try {
        src = FileSource::open(path, opened);
    } catch (const std::bad_alloc&) {
    }
    if (!src) {
        return std::nullopt;
    }
    return read(*format, *src, limits);
}

std::optional<Image> decode(Format format, std::span<const std::uint8_t> bytes,
                            const Limits& limits) {
    MemorySource src(bytes);
    return read(format, src, limits);
}

} // namespace intake
