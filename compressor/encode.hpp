// Run-length packet encoder for name tables (and any other byte string).
//
// Packet stream: each packet starts with a header byte h.
//   h = 0..126    literal: h + 1 bytes follow and are copied as they are
//   h = 129..254  run: one byte follows and is repeated 257 - h times (128..3)
//   h = 127, 128, 255 are never written.
// The file that carries the stream puts a 2-byte big-endian length in front;
// that header is the caller's business, not the encoder's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <vector>

namespace runsquash {

using Bytes = std::vector<std::uint8_t>;

// Receives the packet stream in blocks of up to 64 KiB, in order. Returns
// false when the block could not be stored; the encoder then stops.
using BlockWriter = std::function<bool(std::span<const std::uint8_t>)>;

struct EncodeResult {
    unsigned long written = 0; // packet bytes accepted by the writer
    bool ok = true;            // false if the writer refused a block
};

// `offset` is where in its destination the stream starts (after a header,
// say): every block but the first and the last then ends on a multiple of
// 64 KiB there. It changes only where the blocks are cut, never the bytes.
EncodeResult encode(std::span<const std::uint8_t> input, const BlockWriter& write,
                    std::size_t offset = 0);

// The whole packet stream in memory.
Bytes encode(std::span<const std::uint8_t> input);

// Writes the packet stream to `out`, in blocks aligned to its current
// position. On a failed write, `ok` is false and
// errno holds the reason the stream gave. Does not flush or close `out`.
EncodeResult encode(std::span<const std::uint8_t> input, std::FILE* out);

} // namespace runsquash
