#include "encode.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace runsquash {

namespace {

constexpr std::size_t kMaxLiteral = 127;
constexpr std::size_t kMaxRun = 128;
// The run scan counts start positions of three equal bytes; this many of
// them make a run of kMaxRun.
constexpr std::size_t kMaxRunScan = kMaxRun - 2;

// Gathers packets into one fixed block so the writer sees few, large writes
// rather than one call per packet.
class PacketBlock {
  public:
    explicit PacketBlock(const BlockWriter& write) : write_(write) {}

    bool failed() const { return failed_; }
    unsigned long written() const { return written_; }

    void literal(const std::uint8_t* bytes, std::size_t n) {
        make_room(1 + n);
        block_[used_++] = static_cast<std::uint8_t>(n - 1);
        std::memcpy(block_.data() + used_, bytes, n);
        used_ += n;
    }

    void run(std::uint8_t value, std::size_t n) {
        make_room(2);
        block_[used_++] = static_cast<std::uint8_t>(257 - n);
        block_[used_++] = value;
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
    }

  private:
    void make_room(std::size_t n) {
        if (used_ + n > block_.size()) {
            flush();
        }
    }

    const BlockWriter& write_;
    std::array<std::uint8_t, 64 * 1024> block_{};
    std::size_t used_ = 0;
    unsigned long written_ = 0;
    bool failed_ = false;
};

} // namespace

EncodeResult encode(std::span<const std::uint8_t> input, const BlockWriter& write) {
    PacketBlock out(write);
    const std::uint8_t* const in = input.data();
    const std::size_t length = input.size();
    // A run is only found or extended while at least one more byte follows
    // the three equal bytes compared, so a run touching the end of the input
    // is coded one byte short. Decoders in the field expect exactly that.
    const std::size_t run_end = length > 3 ? length - 3 : 0;
    const auto run_at = [in](std::size_t p) {
        return in[p] == in[p + 1] && in[p + 1] == in[p + 2];
    };
    // Pending literal bytes are always the input just before pos, so they are
    // kept as a start index instead of being copied aside.
    std::size_t literal_start = 0;
    std::size_t pos = 0;
    while (pos < length && !out.failed()) {
        if (pos - literal_start >= kMaxLiteral) {
            out.literal(in + literal_start, pos - literal_start);
            literal_start = pos;
        }
        // Skip in one tight loop over the bytes that start no run: they all
        // join the pending literal, up to its limit.
        const std::size_t literal_stop = std::min(literal_start + kMaxLiteral, length);
        const std::size_t scan_stop = std::min(literal_stop, run_end);
        while (pos < scan_stop && !run_at(pos)) {
            ++pos;
        }
        if (pos >= scan_stop) {
            pos = literal_stop;
            continue;
        }
        std::size_t k = 1;
        while (k < kMaxRunScan && pos + k < run_end && run_at(pos + k)) {
            ++k;
        }
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
    EncodeResult result = encode(input, [out, &error](std::span<const std::uint8_t> block) {
        if (std::fwrite(block.data(), 1, block.size(), out) == block.size()) {
            return true;
        }
        error = errno;
        return false;
    });
    if (!result.ok) {
        errno = error;
    }
    return result;
}

} // namespace runsquash
