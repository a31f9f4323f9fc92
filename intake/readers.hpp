// The checked readers behind load() and decode(), and the pieces they share.
// Each reader checks a file's header before it decodes anything, and
// decodes straight into the one Image it returns: compressed data is read a
// window at a time and never held whole, so a small file cannot make the
// readers take more memory than the picture it describes.
#pragma once

#include "fileio.hpp"
#include "intake.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <variant>
#include <vector>

namespace intake {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Random access to a file's bytes without holding the whole file.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Fills dst with the n bytes at offset; false if they are not all there.
    virtual bool read(std::uint64_t offset, std::size_t n, std::uint8_t* dst) = 0;

    // n bytes at offset, or false. `out` is resized to n.
    bool read(std::uint64_t offset, std::size_t n, Bytes& out);
};

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(ByteView bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::size_t n, std::uint8_t* dst) override;
    using ByteSource::read;

  private:
    ByteView bytes_;
};

// A regular file; anything else (a directory, a pipe, a device) is refused
// when it is opened.
class FileSource final : public ByteSource {
  public:
    // Null, with the reason, when the file cannot be opened, is not a regular
    // file or its size cannot be learnt. `opened`, if given, receives the
    // file's identity.
    static std::unique_ptr<FileSource> open(const char* path, struct stat* opened, LoadError& why);
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::size_t n, std::uint8_t* dst) override;
    using ByteSource::read;

  private:
    static constexpr std::uint64_t kUnknownPosition = ~std::uint64_t{0};
    FileSource(fileio::Input file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
    fileio::Input file_;
    std::uint64_t size_;
    std::uint64_t position_ = kUnknownPosition;
};

// Reads forwards through a stretch of a source, a window at a time, up to
// `end` (the source's end unless given).
class Reader {
  public:
    Reader(ByteSource& src, std::uint64_t at, std::uint64_t end = ~std::uint64_t{0})
        : src_(src), at_(at), end_at_(std::min(end, src.size())) {}

    bool byte(std::uint8_t& value) {
        if (cur_ == end_ && !refill()) {
            return false;
        }
        value = *cur_++;
        return true;
    }
    // The next n bytes, copied to dst; false if the source ends first.
    bool take(std::size_t n, std::uint8_t* dst);

  private:
    bool refill();

    ByteSource& src_;
    std::uint64_t at_; // source offset of end_
    std::uint64_t end_at_;
    Bytes window_;
    const std::uint8_t* cur_ = nullptr;
    const std::uint8_t* end_ = nullptr;
};

// Little-endian fields.
inline std::uint32_t get16(ByteView b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t get32(ByteView b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
void put16(Bytes& b, std::uint32_t v);
void put32(Bytes& b, std::uint32_t v);

// What a caller asks a reader for: the picture at its own depth, as load()
// gives it, or its colours.
enum class Want : std::uint8_t { own_depth, colour };

// What a reader gives. Asked for colour, a reader of a true-colour file
// decodes straight into a ColourImage; indexed and gray pictures come at
// their own depth either way and are turned into colour by the caller, so
// that the picture is never held twice in colour.
using Picture = std::variant<Image, ColourImage>;
using Decoded = Loaded<Picture>;

inline LoadError malformed(const char* cause) {
    return LoadError{Reason::malformed, cause};
}
inline LoadError unsupported(const char* kind) {
    return LoadError{Reason::unsupported, kind};
}
inline LoadError out_of_memory() {
    return LoadError{Reason::out_of_memory, {}};
}

// An empty picture is malformed; one past the side limit, or with more
// pixels than the caller allows, is too large for the tools. Nothing when
// the size is fine.
std::optional<LoadError> size_refusal(const Limits& limits, std::uint32_t width,
                                      std::uint32_t height);

// Reads a fixed header of `size` bytes at the start of the file and checks
// it with check(bytes, header), then the picture's size. Nothing when all is
// well.
template <typename Header, typename Check>
std::optional<LoadError> read_fixed_header(ByteSource& src, std::size_t size, Bytes& bytes,
                                           Header& h, const Limits& limits, Check check) {
    if (!src.read(0, size, bytes)) {
        return malformed("the file ends in its header");
    }
    if (auto refused = check(bytes, h)) {
        return refused;
    }
    return size_refusal(limits, h.width, h.height);
}

// 5-bit colour channels to 8 bits.
inline std::uint8_t scale5(std::uint32_t v) {
    v &= 31;
    return static_cast<std::uint8_t>((v << 3) | (v >> 2));
}

// True-colour pictures carry no palette indices. With no palette selected,
// the image library's colour conversion turns every true-colour pixel into
// index 1, whatever its colour (measured over all 2^24 colours at every
// depth and in every format it reads), and that is what the tools have
// always read from them.
inline constexpr std::uint8_t kTrueColorIndex = 1;

// One stretch of a stream handed to the image library: bytes in memory, or a
// range of the source file read as the decoder gets to it, so that pixel
// rows are never copied whole before they are decoded.
struct Piece {
    ByteView memory;
    ByteSource* source = nullptr;
    std::uint64_t offset = 0;
    std::size_t length = 0;

    static Piece in_memory(ByteView bytes) { return Piece{bytes}; }
    static Piece file_range(ByteSource& src, std::uint64_t at, std::size_t n) {
        return Piece{{}, &src, at, n};
    }
    std::size_t size() const { return source != nullptr ? length : memory.size(); }
};

// Hands a plain, uncompressed BMP of 8 bits or fewer per pixel, given as
// consecutive pieces, to the image library's decoder; its bitmap becomes the
// Image's pixels. Refused if the decoder fails or a file range can no longer
// be read.
Decoded decode_bmp_with_library(const std::vector<Piece>& pieces, Kind kind);

// The readers, read_NAME for every format of formats.def.
#define INTAKE_FORMAT(name, ...)                                                                   \
    Decoded read_##name(ByteSource& src, const Limits& limits, Want want);
#include "formats.def"
#undef INTAKE_FORMAT

} // namespace intake
