#include "intake.hpp"

BitmapPtr load_image(const char* path) {
    // No palette is asked for: only the indices matter, never the colours.
    return BitmapPtr(load_bitmap(path, nullptr));
}
