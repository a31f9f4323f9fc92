// Fuzzes the tile folding: the result must be what a first-match linear scan
// over the stored tiles gives, and wherever at most 256 distinct tiles occur
// the tile set and name table must rebuild the input's whole tiles exactly.
#include "fold.hpp"
#include "reference_fold.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace {

// Fuzzer inputs are short; stretching each byte into a tile of mostly fixed
// bytes makes repeats, and more than 256 distinct tiles, reachable.
std::vector<std::uint8_t> widen(std::span<const std::uint8_t> data) {
    if (data.empty() || (data[0] & 1) == 0) {
        return {data.begin(), data.end()};
    }
    std::vector<std::uint8_t> tiles;
    for (std::size_t i = 1; i + 1 < data.size(); i += 2) {
        for (std::size_t b = 0; b < 16; ++b) {
            tiles.push_back(b == 0    ? data[i]
                            : b == 15 ? static_cast<std::uint8_t>(data[i + 1] & 3)
                                      : 0x44);
        }
    }
    return tiles;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input = widen({data, size});
    const tilefold::Folded got = tilefold::fold(input);
    const tilefold_test::Folding want = tilefold_test::reference_fold(input);
    if (got.chr != want.chr || got.nam != want.nam || got.unplaced != want.unplaced) {
        std::abort();
    }
    if (got.unplaced == 0) {
        for (std::size_t i = 0; i < got.nam.size(); ++i) {
            if (std::memcmp(&got.chr[got.nam[i] * 16u], &input[i * 16], 16) != 0) {
                std::abort();
            }
        }
    }
    return 0;
}
