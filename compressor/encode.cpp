#include "encode.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace runsquash {

namespace {

constexpr std::size_t kMaxLiteral = 127;
constexpr std::size_t kMaxRun = 128;
// The run scan counts start positions of three equal bytes; this many of
// them make a run of kMaxRun.
constexpr std::size_t kMaxRunScan = kMaxRun - 2;

// Gathers packets into one fixed block so the writer sees few, large writes
// rather than one call per packet. Packets may straddle two blocks: every
// block but the first and the last then ends on a whole multiple of the block
// size in the destination, which a file system takes faster than writes that
// start and end part-way through its pages.
class PacketBlock {
  public:
    // `offset` is where in the destination the packets start.
    PacketBlock(const BlockWriter& write, std::size_t offset)
        : write_(write), room_(block_size - offset % block_size) {}

    bool failed() const { return failed_; }
    unsigned long written() const { return written_; }

    void literal(const std::uint8_t* bytes, std::size_t n) {
        put(static_cast<std::uint8_t>(n - 1));
        while (n > 0) {
            if (used_ == room_) {
                flush();
            }
            const std::size_t part = std::min(n, room_ - used_);
            std::memcpy(block_.data() + used_, bytes, part);
            used_ += part;
            bytes += part;
            n -= part;
        }
    }

    void run(std::uint8_t value, std::size_t n) {
        put(static_cast<std::uint8_t>(257 - n));
        put(value);
    }

    void flush() {
        if (used_ != 0 && !failed_) {
            if (write_(std::span<const std::uint8_t>(block_.data(), used_))) {
                written_ += used_;
            } else {
                failed_ = true;
            }
        }
        used_ = 0;
        room_ = block_size;
    }

  private:
    static constexpr std::size_t block_size = 64 * 1024;

    void put(std::uint8_t byte) {
        if (used_ == room_) {
            flush();
        }
        block_[used_++] = byte;
    }

    const BlockWriter& write_;
    // Left uninitialised: only the bytes before used_ are ever read, and a
    // small input then touches only the first page of the block.
    std::array<std::uint8_t, block_size> block_;
    std::size_t used_ = 0;
    std::size_t room_; // bytes that make this block full
    unsigned long written_ = 0;
    bool failed_ = false;
};

std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The first p in [from, stop) where in[p], in[p + 1] and in[p + 2] are equal,
// or stop if there is none. Reads at most in[stop + 1]. Most of the input of
// a long literal starts no run, so this is where the encoder spends its time:
// it tests sixteen start positions at once where the processor allows, and
// eight otherwise, where a zero byte in (x ^ y) | (y ^ z) marks three equal
// bytes and the borrow trick flags the lowest zero byte exactly.
std::size_t next_run_start(const std::uint8_t* in, std::size_t from, std::size_t stop) {
    std::size_t p = from;
#if defined(__SSE2__)
    while (p + 16 <= stop) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + p));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + p + 1));
        const __m128i z = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + p + 2));
        const int equal =
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(x, y), _mm_cmpeq_epi8(y, z)));
        if (equal != 0) {
            return p + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(equal)));
        }
        p += 16;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t ones = 0x0101010101010101ULL;
        constexpr std::uint64_t highs = 0x8080808080808080ULL;
        while (p + 8 <= stop) {
            const std::uint64_t x = load64(in + p);
            const std::uint64_t y = load64(in + p + 1);
            const std::uint64_t z = load64(in + p + 2);
            const std::uint64_t differ = (x ^ y) | (y ^ z);
            const std::uint64_t zero = (differ - ones) & ~differ & highs;
            if (zero != 0) {
                return p + static_cast<std::size_t>(std::countr_zero(zero)) / 8;
            }
            p += 8;
        }
    }
    while (p < stop && !(in[p] == in[p + 1] && in[p + 1] == in[p + 2])) {
        ++p;
    }
    return p;
}

// How many bytes from `from` on equal in[from], counting no further than
// `limit` bytes.
std::size_t equal_stretch(const std::uint8_t* in, std::size_t from, std::size_t limit) {
    const std::uint8_t value = in[from];
    const std::uint64_t pattern = value * 0x0101010101010101ULL;
    std::size_t n = 0;
    while (n + 8 <= limit) {
        const std::uint64_t differ = load64(in + from + n) ^ pattern;
        if (differ != 0) {
            if constexpr (std::endian::native == std::endian::little) {
                return n + static_cast<std::size_t>(std::countr_zero(differ)) / 8;
            }
            break;
        }
        n += 8;
    }
    while (n < limit && in[from + n] == value) {
        ++n;
    }
    return n;
}

} // namespace

EncodeResult encode(std::span<const std::uint8_t> input, const BlockWriter& write,
                    std::size_t offset) {
    PacketBlock out(write, offset);
    const std::uint8_t* const in = input.data();
    const std::size_t length = input.size();
    // A run is only found or extended while at least one more byte follows
    // the three equal bytes compared, so a run touching the end of the input
    // is coded one byte short. Decoders in the field expect exactly that.
    const std::size_t run_end = length > 3 ? length - 3 : 0;
    // Pending literal bytes are always the input just before pos, so they are
    // kept as a start index instead of being copied aside.
    std::size_t literal_start = 0;
    std::size_t pos = 0;
    while (pos < length && !out.failed()) {
        if (pos - literal_start >= kMaxLiteral) {
            out.literal(in + literal_start, pos - literal_start);
            literal_start = pos;
        }
        // The bytes that start no run all join the pending literal, up to
        // its limit.
        const std::size_t literal_stop = std::min(literal_start + kMaxLiteral, length);
        const std::size_t scan_stop = std::min(literal_stop, run_end);
        pos = next_run_start(in, std::min(pos, scan_stop), scan_stop);
        if (pos >= scan_stop) {
            pos = literal_stop;
            continue;
        }
        // Three equal bytes start at pos. Every further start position that
        // also has three equal bytes lies inside one stretch of the same
        // value, so the run scan's count follows from the stretch's length:
        // a stretch of m bytes gives m - 2 start positions, of which only
        // those before run_end count, and at most kMaxRunScan.
        const std::size_t stretch = equal_stretch(in, pos, std::min(kMaxRun, length - pos));
        const std::size_t k = std::min({stretch - 2, run_end - pos, kMaxRunScan});
        if (pos > literal_start) {
            out.literal(in + literal_start, pos - literal_start);
        }
        const std::size_t n = k + 2;
        out.run(in[pos], n);
        pos += n;
        literal_start = pos;
    }
    if (pos > literal_start && !out.failed()) {
        out.literal(in + literal_start, pos - literal_start);
    }
    out.flush();
    return {out.written(), !out.failed()};
}

Bytes encode(std::span<const std::uint8_t> input) {
    Bytes packets;
    encode(input, [&packets](std::span<const std::uint8_t> block) {
        packets.insert(packets.end(), block.begin(), block.end());
        return true;
    });
    return packets;
}

EncodeResult encode(std::span<const std::uint8_t> input, std::FILE* out) {
    int error = 0;
    // A stream that cannot tell its position (a pipe) has no pages to align to.
    const long at = std::ftell(out);
    const std::size_t offset = at > 0 ? static_cast<std::size_t>(at) : 0;
    EncodeResult result = encode(
        input,
        [out, &error](std::span<const std::uint8_t> block) {
            if (std::fwrite(block.data(), 1, block.size(), out) == block.size()) {
                return true;
            }
            error = errno;
            return false;
        },
        offset);
    if (!result.ok) {
        errno = error;
    }
    return result;
}

} // namespace runsquash
