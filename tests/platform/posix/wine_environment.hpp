#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace hotfix::test {

// The first executable of that name on the PATH; empty when there is none.
std::string findOnPath(std::string_view name);

// Runs a program to its end in folder (the current one when empty), its output and errors written to the
// file output (thrown away when empty); its exit status, or -1 when it did not exit normally.
int runProgram(const std::vector<std::string>& arguments, const std::string& folder = {},
               const std::string& output = {});

// A throw-away Wine prefix shared by every test of one executable, made once: creating one takes Wine a
// while. WINEPREFIX points at it for the whole process, so the platform's own factories find it. A process
// that a test starts as a second installer gets the prefix in HOTFIX_WINE_TEST_PREFIX and uses it as it is.
class WineEnvironment final : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

    // Empty when Wine is ready; otherwise why the tests that need it are skipped.
    static const std::string& missing();
    static const std::string& prefix();
    // Runs wine with the arguments and waits until the prefix's registry is written out.
    static int wine(std::vector<std::string> arguments);
    // Sets a registry value through Wine's own reg; empty when it was set, else what reg said. A start of
    // wine that meets the previous server as it ends fails now and then on a busy machine, so a failure is
    // tried again twice (the value is written whole or not at all).
    static std::string regAdd(std::vector<std::string> arguments);
    static void flushRegistry();
};

// Skips the current test when Wine is not there.
#define HOTFIX_REQUIRE_WINE()                                                                                \
    do {                                                                                                     \
        if (!::hotfix::test::WineEnvironment::missing().empty()) {                                           \
            GTEST_SKIP() << ::hotfix::test::WineEnvironment::missing();                                      \
        }                                                                                                    \
    } while (false)

} // namespace hotfix::test
