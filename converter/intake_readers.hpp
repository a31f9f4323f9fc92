// The checked image readers behind load_image, and the pieces they share.
// Each reader screens a file's header before it decodes anything, so that a
// damaged or hostile file is refused instead of driving the decoder into
// absurd allocations, made-up rows or memory corruption.
#pragma once

#include "allegro_handles.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace intake {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// No side may exceed this; it bounds every allocation a header can ask for.
constexpr std::uint32_t kMaxSide = 16384;

// Random access to a file's bytes without holding the whole file: a header
// cannot make the readers load more than the picture it describes.
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

class FileSource final : public ByteSource {
  public:
    // Null when the file cannot be opened or its size cannot be learnt.
    static std::unique_ptr<FileSource> open(const char* path);
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::size_t n, std::uint8_t* dst) override;
    using ByteSource::read;

  private:
    static constexpr std::uint64_t kUnknownPosition = ~std::uint64_t{0};
    FileSource(FilePtr file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
    FilePtr file_;
    std::uint64_t size_;
    std::uint64_t position_ = kUnknownPosition;
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

// One stretch of a stream handed to the library: bytes in memory, or a range
// of the source file read as the decoder gets to it, so that pixel rows are
// never copied whole before they are decoded.
struct Piece {
    ByteView memory;
    ByteSource* source = nullptr;
    std::uint64_t offset = 0;
    std::size_t length = 0;

    static Piece of(ByteView bytes) { return Piece{bytes}; }
    static Piece from(ByteSource& src, std::uint64_t at, std::size_t n) {
        return Piece{{}, &src, at, n};
    }
    std::size_t size() const { return source != nullptr ? length : memory.size(); }
};

// Hands a file the library can read safely, given as consecutive pieces, to
// one of its stream decoders (load_bmp_pf, load_pcx_pf, load_tga_pf) without a disk file.
// Null if the decoder fails or a file range can no longer be read.
using StreamLoader = BITMAP* (*)(PACKFILE*, RGB*);
BitmapPtr decode_with_library(const std::vector<Piece>& pieces, StreamLoader loader, RGB* pal);

// The readers. Each returns null for a file it refuses or cannot read.
BitmapPtr read_bmp(ByteSource& src, RGB* pal);
BitmapPtr read_pcx(ByteSource& src, RGB* pal);
BitmapPtr read_png(ByteSource& src, RGB* pal);
BitmapPtr read_tga(ByteSource& src, RGB* pal);

} // namespace intake
