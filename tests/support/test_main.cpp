#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

namespace {

#ifdef _WIN32
void setDefaultEnvironment(const char* name, const char* value) {
    if (std::getenv(name) == nullptr) {
        ::_putenv_s(name, value);
    }
}

// A crash must fail its test, not wait on an error box.
void suppressErrorBoxes() {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}
#else
void setDefaultEnvironment(const char* name, const char* value) {
    ::setenv(name, value, 0);
}

void suppressErrorBoxes() {}
#endif

} // namespace

int main(int argc, char** argv) {
    // Nothing in an unattended run may wait for a person: no Qt window on a display, no Wine dialog.
    setDefaultEnvironment("QT_QPA_PLATFORM", "offscreen");
    setDefaultEnvironment("WINEDEBUG", "-all");
    suppressErrorBoxes();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
