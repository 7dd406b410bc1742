#include "cli/command_line.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hotfix::cli {
namespace {

using ::testing::HasSubstr;

std::string errorOf(const std::vector<std::string>& arguments) {
    const auto parsed = parseCommandLine(arguments);
    const auto* error = std::get_if<ArgumentError>(&parsed);
    return error != nullptr ? error->message : "<parsed>";
}

Options optionsOf(const std::vector<std::string>& arguments) {
    const auto parsed = parseCommandLine(arguments);
    const auto* options = std::get_if<Options>(&parsed);
    if (options != nullptr) {
        return *options;
    }
    Options refused;
    refused.mode = Mode::Help;
    return refused;
}

TEST(CommandLine, withoutModeArgumentsTheWindowOpensAndTheToolkitKeepsItsOwn) {
    EXPECT_EQ(optionsOf({}).mode, Mode::Window);
    EXPECT_EQ(optionsOf({"-platform", "offscreen"}).mode, Mode::Window);
}

TEST(CommandLine, readsEveryOptionOfAnInstall) {
    const Options options = optionsOf({"--install", "--vantrel-root", "D:\\Vantrel", "--windows-root",
                                       "C:\\WINNT", "--suffix", "hf12", "--register-dlls", "--log", "x.log"});
    EXPECT_EQ(options.mode, Mode::Install);
    EXPECT_EQ(options.productRoot, "D:\\Vantrel");
    EXPECT_EQ(options.windowsRoot, "C:\\WINNT");
    EXPECT_EQ(options.suffix, "hf12");
    EXPECT_TRUE(options.registerDlls);
    EXPECT_FALSE(options.dateSuffix);
    EXPECT_EQ(options.logFile, "x.log");
    EXPECT_EQ(optionsOf({"--check", "--date-suffix"}).dateSuffix, true);
    EXPECT_EQ(optionsOf({"/?"}).mode, Mode::Help);
}

TEST(CommandLine, refusesWhatCannotBeRunAndSaysWhy) {
    EXPECT_THAT(errorOf({"--install", "--suffix", "a", "--date-suffix"}), HasSubstr("exclude each other"));
    EXPECT_THAT(errorOf({"--install", "--restore"}), HasSubstr("one mode only"));
    EXPECT_THAT(errorOf({"--vantrel-root", "C:\\x"}), HasSubstr("Give a mode"));
    EXPECT_THAT(errorOf({"--install", "--vantrel-root"}), HasSubstr("--vantrel-root needs a value"));
    EXPECT_THAT(errorOf({"--install", "--log", "--register-dlls"}), HasSubstr("--log needs a value"));
    EXPECT_THAT(errorOf({"--install", "--suffix", "  "}), HasSubstr("not blank"));
    EXPECT_THAT(errorOf({"--install", "--suffix", "a:b"}), HasSubstr("cannot hold"));
    EXPECT_THAT(errorOf({"--install", "--suffix", "a\x7f"}), HasSubstr("cannot hold"));
    EXPECT_THAT(errorOf({"--install", "--register-dlls", "--register-dlls"}), HasSubstr("given twice"));
    EXPECT_THAT(errorOf({"--install", "--windows-root", "a", "--windows-root", "b"}),
                HasSubstr("given twice"));
    EXPECT_THAT(errorOf({"--install", "--force"}), HasSubstr("Unknown argument: --force"));
    EXPECT_THAT(errorOf({"--install", "stray"}), HasSubstr("Unknown argument: stray"));
    EXPECT_THAT(errorOf({"--restore", "--vantrel-root", "C:\\x"}),
                HasSubstr("works from the install record"));
    EXPECT_THAT(errorOf({"--check", "--bogus"}), HasSubstr("--help"));
}

struct RootCase {
    std::string root;
    bool accepted;
};

class CommandLineRoot : public ::testing::TestWithParam<RootCase> {};

// Files go nowhere but below a root that says where it is, whatever folder the program was started in.
TEST_P(CommandLineRoot, eitherRootIsTakenOnlyAsAnAbsolutePathWithoutDotFolders) {
    for (const std::string option : {"--vantrel-root", "--windows-root"}) {
        const std::string error = errorOf({"--install", option, GetParam().root});
        if (GetParam().accepted) {
            EXPECT_EQ(error, "<parsed>") << option;
        } else {
            EXPECT_THAT(error, HasSubstr(option + " needs an absolute path")) << option;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Roots, CommandLineRoot,
                         ::testing::Values(RootCase{"C:\\x", true}, RootCase{"c:/x", true},
                                           RootCase{"/tmp/x", true}, RootCase{"\\\\srv\\share", true},
                                           RootCase{"C:\\...\\x", true}, RootCase{"Vantrel", false},
                                           RootCase{"x\\bin", false}, RootCase{"C:x", false},
                                           RootCase{"C:", false}, RootCase{".\\x", false},
                                           RootCase{"C:\\x\\..\\y", false}, RootCase{"/tmp/./x", false},
                                           RootCase{"/tmp/x/ .. ", false}, RootCase{"C:\\x\x01", false}));

} // namespace
} // namespace hotfix::cli
