// The converter's tests draw and save bitmaps in memory, which needs the
// library started (without any screen) before the first test runs.
#include "intake.hpp"

#include <allegro.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

int main(int argc, char** argv) {
    install_allegro(SYSTEM_NONE, &errno, std::atexit);
    register_checked_readers();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
END_OF_MAIN()
