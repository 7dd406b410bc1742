#include "engine/registration_script.hpp"
#include "install_fixture.hpp"

#include <gmock/gmock.h>

namespace hotfix {
namespace {

using ::testing::ElementsAre;

TEST(RegistrationLines, nineLineExampleIsWrittenByteForByte) {
    test::TempDir program;
    const auto fs = makeFileSystem();
    test::RecordingMsgBox boxes;
    test::FakeLauncher launcher;
    launcher.contentOf = [&](const std::string& path) {
        return fs->readTextFile(path).value_or("<none>");
    };
    const EngineServices services{program.str(), *fs, boxes, launcher};
    RegistrationScript script(Side::Product, services, "/s ", std::make_shared<RunningScripts>());

    ASSERT_TRUE(script.AddLibrary("a.dll", "C:\\Program Files\\Vantrel\\Common\\"));
    ASSERT_TRUE(script.AddLibrary("b.DLL", "C:\\Program Files\\Vantrel\\Common\\"));
    ASSERT_TRUE(script.FinishScript());

    ASSERT_EQ(launcher.started.size(), 1U);
    EXPECT_EQ(launcher.started[0].path, program.str() + "\\Register.bat");
    EXPECT_EQ(launcher.started[0].contentAtStart, "cd\\\r\n"
                                                  "C:\r\n"
                                                  "cd C:\\Program Files\\Vantrel\\Common\\\r\n"
                                                  "regsvr32 -u /s a.dll\r\n"
                                                  "regsvr32 /s a.dll\r\n"
                                                  "C:\r\n"
                                                  "cd C:\\Program Files\\Vantrel\\Common\\\r\n"
                                                  "regsvr32 -u  /s b.DLL\r\n"
                                                  "regsvr32    /s b.DLL\r\n");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(RegistrationLines, emptySilentSwitchShowsRegsvr32Messages) {
    EXPECT_THAT(registrationLines(true, "", "a.dll", "C:\\X\\"),
                ElementsAre("cd\\", "C:", "cd C:\\X\\", "regsvr32 -u a.dll", "regsvr32 a.dll"));
    EXPECT_THAT(registrationLines(false, "", "b.DLL", "C:\\X\\"),
                ElementsAre("C:", "cd C:\\X\\", "regsvr32 -u  b.DLL", "regsvr32    b.DLL"));
}

TEST(RegistrationLines, namesThatCmdWouldReadAsCommandsAreQuoted) {
    EXPECT_THAT(
        registrationLines(false, "/s ", "my lib.dll", "C:\\A B\\"),
        ElementsAre("C:", "cd C:\\A B\\", "regsvr32 -u  /s \"my lib.dll\"", "regsvr32    /s \"my lib.dll\""));
    EXPECT_THAT(registrationLines(false, "", "x&calc.dll", "C:\\R&D (new)\\"),
                ElementsAre("C:", "cd \"C:\\R&D (new)\\\"", "regsvr32 -u  \"x&calc.dll\"",
                            "regsvr32    \"x&calc.dll\""));
    for (const char special : std::string_view("|<>^(),;=!")) {
        const std::string name = std::string("a") + special + "b.dll";
        EXPECT_EQ(registrationLines(false, "", name, "C:\\")[2], "regsvr32 -u  \"" + name + "\"");
    }
}

TEST(RegistrationLines, percentSignsAreDoubledEverywhere) {
    EXPECT_THAT(registrationLines(true, "", "100%.dll", "C:\\%PATH%\\"),
                ElementsAre("cd\\", "C:", "cd \"C:\\%%PATH%%\\\"", "regsvr32 -u \"100%%.dll\"",
                            "regsvr32 \"100%%.dll\""));
}

TEST(RegistrationLines, oddRootsGiveAQuotedDriveLineRatherThanACommand) {
    EXPECT_EQ(registrationLines(true, "", "a.dll", "&x\\bin\\")[1], "\"&x\"");
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

} // namespace
} // namespace hotfix
