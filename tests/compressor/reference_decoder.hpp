// Independent references for the packet stream: a reader written from the
// packet table alone, and the greedy coding written plainly, for round-trip
// checks and fuzzing of the encoder.
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

// The greedy one-pass coding step by step, with its own literal buffer, as
// an oracle that holds the optimised encoder to exactly the same packets.
inline std::vector<std::uint8_t> reference_encode(std::span<const std::uint8_t> in) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> lit;
    const auto flush = [&] {
        out.push_back(static_cast<std::uint8_t>(lit.size() - 1));
        out.insert(out.end(), lit.begin(), lit.end());
        lit.clear();
    };
    std::size_t pos = 0;
    while (pos < in.size()) {
        std::size_t k = 0;
        while (k <= 125 && pos + k + 3 < in.size() && in[pos + k] == in[pos + k + 1] &&
               in[pos + k + 1] == in[pos + k + 2]) {
            ++k;
        }
        if ((k > 0 && !lit.empty()) || lit.size() >= 127) {
            flush();
        }
        if (k > 0) {
            out.push_back(static_cast<std::uint8_t>(257 - (k + 2)));
            out.push_back(in[pos]);
            pos += k + 2;
        } else {
            lit.push_back(in[pos++]);
        }
    }
    if (!lit.empty()) {
        flush();
    }
    return out;
}

} // namespace runsquash_test
