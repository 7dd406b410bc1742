#include "engine/messages.hpp"
#include "engine/registration_script.hpp"
#include "install_fixture.hpp"
#include "platform/package_text.hpp"
#include "support/code_pages.hpp"

#include <algorithm>

#include <gmock/gmock.h>

namespace hotfix {
namespace {

using ::testing::ElementsAre;

// The nine lines of two libraries: each library's regsvr32 lines inside "if not errorlevel 1 ( ... )" after
// its cd, the first "cd\" as "pushd \", the exit code cleared before the second library, and the script's
// self-removal at the end.
TEST(RegistrationLines, nineLineExampleIsWrittenByteForByte) {
    test::TempDir program;
    const auto fs = makeFileSystem();
    test::RecordingMsgBox boxes;
    test::FakeLauncher launcher;
    launcher.contentOf = [&](const std::string& path) {
        return readWholeFile(*fs, path).value_or("<none>");
    };
    const EngineServices services{program.str(), *fs, boxes, launcher, test::machineCodePages()};
    RegistrationScript script(Side::Product, services, "/s ");

    ASSERT_TRUE(script.AddLibrary("a.dll", "C:\\Program Files\\Vantrel\\Common\\"));
    ASSERT_TRUE(script.AddLibrary("b.DLL", "C:\\Program Files\\Vantrel\\Common\\"));
    ASSERT_TRUE(script.FinishScript());

    ASSERT_EQ(launcher.started.size(), 1U);
    EXPECT_EQ(launcher.started[0].path, program.str() + "\\Register.bat");
    EXPECT_EQ(launcher.started[0].contentAtStart, "pushd \\\r\n"
                                                  "C:\r\n"
                                                  "cd C:\\Program Files\\Vantrel\\Common\\\r\n"
                                                  "if not errorlevel 1 (\r\n"
                                                  "regsvr32 -u /s a.dll\r\n"
                                                  "regsvr32 /s a.dll\r\n"
                                                  ")\r\n"
                                                  "(call )\r\n"
                                                  "C:\r\n"
                                                  "cd C:\\Program Files\\Vantrel\\Common\\\r\n"
                                                  "if not errorlevel 1 (\r\n"
                                                  "regsvr32 -u  /s b.DLL\r\n"
                                                  "regsvr32    /s b.DLL\r\n"
                                                  ")\r\n"
                                                  "popd & del Register.bat & exit\r\n");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(RegistrationLines, emptySilentSwitchShowsRegsvr32Messages) {
    EXPECT_THAT(registrationLines(LibraryInScript::First, "", "a.dll", "C:\\X\\"),
                ElementsAre("pushd \\", "C:", "cd C:\\X\\", "if not errorlevel 1 (", "regsvr32 -u a.dll",
                            "regsvr32 a.dll", ")"));
    EXPECT_THAT(registrationLines(LibraryInScript::Further, "", "b.DLL", "C:\\X\\"),
                ElementsAre("(call )", "C:", "cd C:\\X\\", "if not errorlevel 1 (", "regsvr32 -u  b.DLL",
                            "regsvr32    b.DLL", ")"));
}

TEST(RegistrationLines, namesThatCmdWouldReadAsCommandsAreQuoted) {
    EXPECT_THAT(registrationLines(LibraryInScript::Further, "/s ", "my lib.dll", "C:\\A B\\"),
                ElementsAre("(call )", "C:", "cd C:\\A B\\", "if not errorlevel 1 (",
                            "regsvr32 -u  /s \"my lib.dll\"", "regsvr32    /s \"my lib.dll\"", ")"));
    EXPECT_THAT(registrationLines(LibraryInScript::Further, "", "x&calc.dll", "C:\\R&D (new)\\"),
                ElementsAre("(call )", "C:", "cd \"C:\\R&D (new)\\\"", "if not errorlevel 1 (",
                            "regsvr32 -u  \"x&calc.dll\"", "regsvr32    \"x&calc.dll\"", ")"));
    // ")" would also end the block the lines stand in.
    for (const char special : std::string_view("|<>^(),;=!")) {
        const std::string name = std::string("a") + special + "b.dll";
        EXPECT_EQ(registrationLines(LibraryInScript::Further, "", name, "C:\\")[4],
                  "regsvr32 -u  \"" + name + "\"");
    }
}

TEST(RegistrationLines, percentSignsAreDoubledEverywhere) {
    EXPECT_THAT(registrationLines(LibraryInScript::First, "", "100%.dll", "C:\\%PATH%\\"),
                ElementsAre("pushd \\", "C:", "cd \"C:\\%%PATH%%\\\"", "if not errorlevel 1 (",
                            "regsvr32 -u \"100%%.dll\"", "regsvr32 \"100%%.dll\"", ")"));
}

TEST(RegistrationLines, oddRootsGiveAQuotedDriveLineRatherThanACommand) {
    EXPECT_EQ(registrationLines(LibraryInScript::First, "", "a.dll", "&x\\bin\\")[1], "\"&x\"");
}

TEST(RegistrationLines, quoteMarksAndLineBreaksCannotBeWritten) {
    EXPECT_TRUE(unsafeForScript("a\".dll"));
    EXPECT_TRUE(unsafeForScript("a\nregsvr32 evil.dll"));
    EXPECT_TRUE(unsafeForScript("a\r.dll"));
    EXPECT_FALSE(unsafeForScript("C:\\Program Files\\R&D\\"));
}

TEST(RegistrationLines, libraryTestLooksAtTheLastThreeCharactersOnly) {
    EXPECT_TRUE(isLibrary("a.dll"));
    EXPECT_TRUE(isLibrary("a.DLL"));
    EXPECT_TRUE(isLibrary("mydll"));
    EXPECT_TRUE(isLibrary("dll"));
    EXPECT_FALSE(isLibrary("ll"));
    EXPECT_FALSE(isLibrary("a.dll.bak"));
    EXPECT_FALSE(isLibrary("a.ocx"));
}

class UnsafeLibraryName : public test::InstallFixture {};

TEST_F(UnsafeLibraryName, isReplacedButNotRegisteredAndTheRunFails) {
    listed(Side::Windows, "system32/", "ok.dll", "new");
    installed(Side::Windows, "system32/ok.dll", "old");
    const std::string evil = "x\"&calc&\".dll";
    listed(Side::Windows, "system32/", evil, "new");
    installed(Side::Windows, "system32/" + evil, "old");
    install();
    ASSERT_EQ(launcher.started.size(), 1U);
    EXPECT_EQ(launcher.started[0].contentAtStart.find("calc"), std::string::npos);
    EXPECT_EQ(boxes.shown.size(), 2U);
    EXPECT_EQ(boxes.shown[0].title, std::string("Error"));
    EXPECT_EQ(boxes.shown[1].prompt, " HotFix Failed, Please try again  ");
}

// Best fit would make cmd read U+FF06 as "&" (x＆calc.dll: "regsvr32 -u /s x&calc.dll" runs calc), U+FF02
// as a quote mark and "ł" as "l". Where the interpreter's code page has the character (a DBCS one), the name
// is registered exactly; elsewhere the library is replaced but not registered, and the user is told.
class ScriptCodePage : public test::InstallFixture {};

TEST_F(ScriptCodePage, namesOutsideTheInterpretersCodePageAreRegisteredExactlyOrRefused) {
    const std::vector<std::pair<std::string, std::string>> items{{"system32/", "x\xEF\xBC\x86"
                                                                               "calc.dll"},
                                                                 {"system32/", "q\xEF\xBC\x82"
                                                                               "x.dll"},
                                                                 {"system32/", "\xC5\x82"
                                                                               "ib.dll"},
                                                                 {"C\xEF\xBC\x86"
                                                                  "D/",
                                                                  "ok.dll"}};
    for (const auto& [folder, name] : items) {
        listed(Side::Windows, folder, name, "new");
        installed(Side::Windows, folder + name, "old");
    }
    install();
    const std::string script = launcher.started.empty() ? "" : launcher.started[0].contentAtStart;
    bool anyRefused = false;
    for (const auto& [folder, name] : items) {
        SCOPED_TRACE(folder + name);
        EXPECT_EQ(contentAt(Side::Windows, folder + name), "new");
        const bool refused =
            std::count(boxes.shown.begin(), boxes.shown.end(),
                       messages::cannotRegister(destination(Side::Windows, folder, name))) == 1;
        anyRefused = anyRefused || refused;
        EXPECT_TRUE(refused || scriptText(folder + name, test::machineCodePages()).has_value());
    }
    for (const std::string bestFit : {"x&calc", "q\"x", "/s lib.dll", "C&D"}) {
        EXPECT_EQ(script.find(bestFit), std::string::npos) << bestFit;
    }
    EXPECT_EQ(prompts().back(),
              anyRefused ? " HotFix Failed, Please try again  " : "Sucessfully Applied the HotFix");
}

} // namespace
} // namespace hotfix
