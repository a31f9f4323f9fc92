// Fuzzes the run-length encoder: every input must come back whole through an
// independent decoder, never use the headers 127, 128 or 255, report exactly
// the bytes it handed over, and match the plain one-pass greedy coding.
#include "encode.hpp"
#include "reference_decoder.hpp"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

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
    if (streamed != runsquash_test::reference_encode(input)) {
        std::abort();
    }
    return 0;
}
