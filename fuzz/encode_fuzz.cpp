// Fuzzes the run-length encoder: every input must come back whole through an
// independent decoder, never use the headers 127, 128 or 255, report exactly
// the bytes it handed over, and match the plain one-pass greedy coding.
#include "encode.hpp"
#include "reference_decoder.hpp"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

// The greedy coding written as plainly as possible, to hold the optimised
// encoder to exactly the same packets.
std::vector<std::uint8_t> plain_greedy(std::span<const std::uint8_t> in) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> literal;
    auto flush = [&] {
        out.push_back(static_cast<std::uint8_t>(literal.size() - 1));
        out.insert(out.end(), literal.begin(), literal.end());
        literal.clear();
    };
    std::size_t pos = 0;
    while (pos < in.size()) {
        std::size_t k = 0;
        while (k <= 125 && pos + k + 3 < in.size() && in[pos + k] == in[pos + k + 1] &&
               in[pos + k] == in[pos + k + 2]) {
            ++k;
        }
        if ((k > 0 && !literal.empty()) || literal.size() >= 127) {
            flush();
        }
        if (k > 0) {
            out.push_back(static_cast<std::uint8_t>(257 - (k + 2)));
            out.push_back(in[pos]);
            pos += k + 2;
        } else {
            literal.push_back(in[pos++]);
        }
    }
    if (!literal.empty()) {
        flush();
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    std::vector<std::uint8_t> streamed;
    const auto result = runsquash::encode(input, [&](std::span<const std::uint8_t> block) {
        streamed.insert(streamed.end(), block.begin(), block.end());
        return true;
    });
    if (!result.ok || result.written != streamed.size()) {
        std::abort();
    }
    const auto decoded = runsquash_test::decode_packets(streamed);
    if (!decoded || !std::equal(decoded->begin(), decoded->end(), input.begin(), input.end())) {
        std::abort();
    }
    if (streamed != plain_greedy(input)) {
        std::abort();
    }
    return 0;
}
