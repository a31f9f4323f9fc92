// Tests that draw and save pictures with the image library, or compare the
// intake with it, need the library started (without any screen) first.
#include "intake.hpp"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!intake::start()) {
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
