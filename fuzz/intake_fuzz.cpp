// Feeds arbitrary bytes to one checked reader (FUZZ_FORMAT), as the intake
// gets them from a file, at the picture's own depth and in colour.
#include "fuzz_limits.hpp"
#include "intake.hpp"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return intake::start() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!decodes_whole(intake::Format::FUZZ_FORMAT, {data, size})) {
        std::abort();
    }
    return 0;
}
