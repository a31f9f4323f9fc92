// Feeds arbitrary bytes to one checked reader (FUZZ_READER), exactly as the
// reader registered for its extension gets them from a file.
#include "intake.hpp"
#include "intake_readers.hpp"

#include <allegro.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    install_allegro(SYSTEM_NONE, &errno, std::atexit);
    register_checked_readers();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    intake::MemorySource src({data, size});
    const BitmapPtr bmp = FUZZ_READER(src, nullptr);
    for (int y = 0; bmp && y < bmp->h; ++y) {
        for (int x = 0; x < bmp->w; ++x) {
            // Every pixel of an accepted picture must be there to read.
            if (getpixel(bmp.get(), x, y) < 0) {
                std::abort();
            }
        }
    }
    return 0;
}
