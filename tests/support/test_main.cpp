#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Nothing in an unattended run may wait for a person: no Qt window on a display, no Wine dialog.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("WINEDEBUG", "-all", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
