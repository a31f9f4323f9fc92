// An independent reader of the packet stream, written from the packet table
// alone, for round-trip checks and fuzzing of the encoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace runsquash_test {

// Expands a packet stream (no length header). Returns nothing if the stream
// holds a header that is never written (127, 128, 255) or ends inside a packet.
inline std::optional<std::vector<std::uint8_t>> decode_packets(std::span<const std::uint8_t> in) {
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (i < in.size()) {
        const unsigned h = in[i++];
        if (h <= 126) {
            const std::size_t n = h + 1;
            if (in.size() - i < n) {
                return std::nullopt;
            }
            out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(i),
                       in.begin() + static_cast<std::ptrdiff_t>(i + n));
            i += n;
        } else if (h >= 129 && h <= 254) {
            if (i == in.size()) {
                return std::nullopt;
            }
            out.insert(out.end(), 257 - h, in[i++]);
        } else {
            return std::nullopt;
        }
    }
    return out;
}

} // namespace runsquash_test
