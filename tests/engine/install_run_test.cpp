#include "engine/file_replacement.hpp"
#include "install_fixture.hpp"
#include "support/fake_files_in_use.hpp"

#include <gmock/gmock.h>

namespace hotfix {
namespace {

using test::errorBox;
using test::readFile;
using test::writeFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kSuccess = "Sucessfully Applied the HotFix";
const std::string kFailed = " HotFix Failed, Please try again  ";
const std::string kDate = "-2005.5.1.9.7";

class InstallRun : public test::InstallFixture {};

TEST_F(InstallRun, wholeHotFixAppliesInTheOrderOfItsEffects) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    listed(Side::Product, "bin/", "b.txt", "new b");
    listed(Side::Windows, "system32/", "c.dll", "new c");
    installed(Side::Product, "bin/a.dll", "old a");
    installed(Side::Windows, "system32/c.dll", "old c");
    window.chkRegisterDlls = true;

    install();

    const std::string a = destination(Side::Product, "bin/", "a.dll");
    const std::string b = destination(Side::Product, "bin/", "b.txt");
    const std::string c = destination(Side::Windows, "system32/", "c.dll");
    const std::string productScript = programFolder() + "\\Register.bat";
    const std::string windowsScript = programFolder() + "\\RegisterWin.bat";
    const auto temporary = [](const std::string& path) {
        return path.substr(0, path.rfind('\\') + 1) + "~temp";
    };
    // Each side's new files wait beside their places, then take their names after one flush; a backup is
    // a second name of the installed file, which keeps its marks.
    EXPECT_THAT(
        fs.effects(),
        ElementsAre("linkFile " + a + " -> " + a + "_backup",
                    "copyFileToNew " + packageFolder(Side::Product) + "bin\\a.dll -> " + temporary(a),
                    "copyFileToNew " + packageFolder(Side::Product) + "bin\\b.txt -> " + temporary(b),
                    "moveFileOver " + temporary(a) + " -> " + a, "setAttributes " + a + "_backup",
                    "createTextFile " + productScript, "appendToFile " + productScript,
                    "moveFile " + temporary(b) + " -> " + b, "appendToFile " + productScript,
                    "linkFile " + c + " -> " + c + "_backup",
                    "copyFileToNew " + packageFolder(Side::Windows) + "system32\\c.dll -> " + temporary(c),
                    "moveFileOver " + temporary(c) + " -> " + c, "setAttributes " + c + "_backup",
                    "createTextFile " + windowsScript, "appendToFile " + windowsScript,
                    "appendToFile " + windowsScript));

    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll"), "new a");
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll_backup"), "old a");
    EXPECT_EQ(contentAt(Side::Product, "bin/b.txt"), "new b");
    EXPECT_EQ(contentAt(Side::Windows, "system32/c.dll"), "new c");
    EXPECT_EQ(contentAt(Side::Windows, "system32/c.dll_backup"), "old c");

    ASSERT_EQ(launcher.started.size(), 2U);
    EXPECT_EQ(launcher.started[0].path, productScript);
    EXPECT_EQ(launcher.started[0].contentAtStart,
              "pushd \\\r\n" + productRoot().string().substr(0, 2) + "\r\ncd " + productRoot().string() +
                  "\\bin\\\r\nif not errorlevel 1 (\r\nregsvr32 -u /s a.dll\r\nregsvr32 /s a.dll\r\n)\r\n"
                  "popd & del Register.bat & exit\r\n");
    EXPECT_EQ(launcher.started[1].path, windowsScript);
    // The scripts stay while their interpreter may read them, and go when it has ended.
    EXPECT_TRUE(package.exists("Register.bat"));
    EXPECT_TRUE(package.exists("RegisterWin.bat"));
    launcher.endAll();
    EXPECT_FALSE(package.exists("Register.bat"));
    EXPECT_FALSE(package.exists("RegisterWin.bat"));

    EXPECT_THAT(boxes.shown, ElementsAre(MsgBoxRequest{kSuccess, MsgButtons::Ok, MsgIcon::Information,
                                                       std::string("HotFix Installer")}));
    EXPECT_EQ(window.closeQuestions, 1);
    EXPECT_EQ(window.progress.back(), std::make_pair(3, 3));
}

TEST_F(InstallRun, failedChecksTouchNothingAndAddNoMessage) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    listedWithoutPackageFile(Side::Product, "bin/", "b.dll");
    installed(Side::Product, "bin/a.dll", "old a");
    installed(Side::Product, "bin/b.dll", "old b");

    install();

    EXPECT_THAT(prompts(), ElementsAre(" File ''b.dll'' is not available at ''" +
                                           packageFolder(Side::Product) + "bin\\''",
                                       kFailed));
    EXPECT_THAT(fs.effects(), IsEmpty());
    EXPECT_FALSE(window.state.ChecksPassed);
    EXPECT_TRUE(launcher.started.empty());
    EXPECT_EQ(window.closeQuestions, 0);
}

TEST_F(InstallRun, bothListsEmptyOnlySaysNoFileToCopy) {
    install();
    EXPECT_THAT(boxes.shown, ElementsAre(MsgBoxRequest{"No File to Copy", MsgButtons::Ok, MsgIcon::Critical,
                                                       std::string("HotFix Installer")}));
    EXPECT_THAT(fs.effects(), IsEmpty());
}

class PackageFolderGone : public test::InstallFixture, public ::testing::WithParamInterface<Side> {};

TEST_P(PackageFolderGone, afterTheChecksSkipsThatSideWithItsOwnMessage) {
    const Side gone = GetParam();
    const Side other = gone == Side::Product ? Side::Windows : Side::Product;
    window.chkRegisterDlls = true;
    listed(Side::Product, "bin/", "a.dll", "new a");
    listed(Side::Windows, "system32/", "c.dll", "new c");
    installed(Side::Product, "bin/a.dll", "old a");
    installed(Side::Windows, "system32/c.dll", "old c");
    const std::string head = gone == Side::Product ? "bin" : "system32";
    const std::string checked = packageFolder(gone) + head;
    int seen = 0;
    fs.before = [&](std::string_view op, std::string_view path) {
        if (op == "folderExists" && path == checked && ++seen == 2) {
            std::filesystem::remove_all(package.path() / test::packageRelative(gone, head, ""));
        }
    };

    install();

    const std::string expected =
        gone == Side::Product
            ? "Folder ''bin'' is not avaialble at ''" + package.str() + "\\Setup\\Vtrl\\''"
            : "Folder ''system32'' is not avaialble at ''" + package.str() + "\\Setup\\Othr\\ ''";
    EXPECT_THAT(prompts(), ElementsAre(expected, kFailed));
    const std::string goneFile = gone == Side::Product ? "bin/a.dll" : "system32/c.dll";
    const std::string otherFile = gone == Side::Product ? "system32/c.dll" : "bin/a.dll";
    EXPECT_EQ(contentAt(gone, goneFile).substr(0, 3), "old");
    EXPECT_FALSE(existsAt(gone, goneFile + "_backup"));
    EXPECT_EQ(contentAt(other, otherFile).substr(0, 3), "new");
    EXPECT_EQ(launcher.started.size(), 1U);
}

INSTANTIATE_TEST_SUITE_P(EachSide, PackageFolderGone, ::testing::Values(Side::Product, Side::Windows));

TEST_F(InstallRun, packageFileGoneDuringTheRunIsReportedAndTheOthersStillReplaced) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    listed(Side::Product, "bin/", "b.dll", "new b");
    listed(Side::Product, "bin/", "c.dll", "new c");
    for (const char* name : {"bin/a.dll", "bin/b.dll", "bin/c.dll"}) {
        installed(Side::Product, name, "old");
    }
    std::filesystem::permissions(productRoot() / "bin/b.dll", std::filesystem::perms::owner_read);
    const auto before = real->attributes(destination(Side::Product, "bin/", "b.dll"));
    const std::string b = destination(Side::Product, "bin/", "b.dll");
    fs.before = [&](std::string_view op, std::string_view path) {
        if (op == "attributes" && path == b) {
            std::filesystem::remove(packageFile(Side::Product, "bin/", "b.dll"));
        }
    };

    install();

    EXPECT_THAT(prompts(), ElementsAre(" File ''b.dll'' is not available at ''" +
                                           packageFolder(Side::Product) + "bin\\''",
                                       kFailed));
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll"), "new a");
    EXPECT_EQ(contentAt(Side::Product, "bin/b.dll"), "old");
    EXPECT_EQ(contentAt(Side::Product, "bin/b.dll_backup"), "old");
    EXPECT_EQ(contentAt(Side::Product, "bin/c.dll"), "new c");
    // Not replaced, so it keeps its read-only mark.
    EXPECT_EQ(real->attributes(b), before);
    EXPECT_EQ(window.closeQuestions, 0);
}

TEST_F(InstallRun, onlyNewFilesEndsWithTheFailureMessage) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    std::filesystem::create_directories(productRoot() / "bin");
    install();
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll"), "new a");
    EXPECT_THAT(prompts(), ElementsAre(kFailed));
}

TEST_F(InstallRun, newFileWithoutPackageFileOrDestinationFolderIsPassedOverSilently) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    listedWithoutPackageFile(Side::Product, "bin/", "gone.dll");
    listed(Side::Product, "optional/", "part.dll", "optional part");
    installed(Side::Product, "bin/a.dll", "old a");
    install();
    EXPECT_FALSE(existsAt(Side::Product, "bin/gone.dll"));
    EXPECT_FALSE(existsAt(Side::Product, "optional"));
    EXPECT_THAT(prompts(), ElementsAre(kSuccess));
}

TEST_F(InstallRun, readOnlyInstalledFileIsBackedUpAndReplaced) {
    listed(Side::Windows, "system32/", "x.dll", "new");
    const auto file = installed(Side::Windows, "system32/x.dll", "old");
    std::filesystem::permissions(file,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    install();
    EXPECT_EQ(contentAt(Side::Windows, "system32/x.dll"), "new");
    EXPECT_EQ(contentAt(Side::Windows, "system32/x.dll_backup"), "old");
    EXPECT_THAT(prompts(), ElementsAre(kSuccess));
}

TEST_F(InstallRun, productLibrariesRegisterOnlyWhileRegisterDllsIsTicked) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    listed(Side::Windows, "system32/", "c.DLL", "new c");
    installed(Side::Product, "bin/a.dll", "old a");
    installed(Side::Windows, "system32/c.DLL", "old c");
    window.chkRegisterDlls = false;
    window.chkShowAfterReg = true;

    install();

    ASSERT_EQ(launcher.started.size(), 1U);
    EXPECT_EQ(launcher.started[0].path, programFolder() + "\\RegisterWin.bat");
    EXPECT_NE(launcher.started[0].contentAtStart.find("regsvr32 -u c.DLL\r\nregsvr32 c.DLL\r\n"),
              std::string::npos);
    EXPECT_FALSE(package.exists("Register.bat"));
}

// The scripts remove themselves; the installer removes one only when its interpreter ended before that,
// and never a new script that another installer has made under the name meanwhile.
TEST_F(InstallRun, aScriptWhoseInterpreterEndedEarlyIsRemovedButNotItsSuccessor) {
    listed(Side::Windows, "system32/", "c.dll", "new c");
    installed(Side::Windows, "system32/c.dll", "old c");
    launcher.scriptsRemoveThemselves = false;
    install();
    install();
    ASSERT_EQ(launcher.started.size(), 2U);
    // The first script ended early; another installer then made a script of that name.
    std::filesystem::remove(package.path() / "RegisterWin_2.bat");
    package.write("RegisterWin_2.bat", "another installer's");
    launcher.endAll();
    EXPECT_FALSE(package.exists("RegisterWin.bat"));
    EXPECT_EQ(package.read("RegisterWin_2.bat"), "another installer's");
}

TEST_F(InstallRun, onlyReplacedLibrariesGetLines) {
    listed(Side::Windows, "system32/", "a.ocx", "new");
    listed(Side::Windows, "system32/", "mydll", "new");
    listed(Side::Windows, "system32/", "fresh.dll", "new");
    installed(Side::Windows, "system32/a.ocx", "old");
    installed(Side::Windows, "system32/mydll", "old");
    install();
    ASSERT_EQ(launcher.started.size(), 1U);
    const std::string& script = launcher.started[0].contentAtStart;
    EXPECT_EQ(script.find("a.ocx"), std::string::npos);
    EXPECT_EQ(script.find("fresh.dll"), std::string::npos);
    EXPECT_NE(script.find("regsvr32 /s mydll"), std::string::npos);
}

TEST_F(InstallRun, scriptThatCannotBeStartedIsReportedAndFailsTheRun) {
    launcher.startSucceeds = false;
    listed(Side::Windows, "system32/", "c.dll", "new c");
    installed(Side::Windows, "system32/c.dll", "old c");
    install();
    EXPECT_FALSE(package.exists("RegisterWin.bat"));
    EXPECT_EQ(contentAt(Side::Windows, "system32/c.dll"), "new c");
    EXPECT_THAT(boxes.shown, ElementsAre(errorBox(" File ''" + programFolder() +
                                                  "\\RegisterWin.bat'' could not be started"),
                                         errorBox(kFailed)));
}

TEST_F(InstallRun, existingBackupSwitchesTheChecksToTheDateSuffix) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    listed(Side::Product, "bin/", "b.dll", "new b");
    installed(Side::Product, "bin/a.dll", "old a");
    installed(Side::Product, "bin/a.dll_backup", "older a");
    installed(Side::Product, "bin/b.dll", "old b");
    install();
    EXPECT_TRUE(window.ChkAppedToFile);
    EXPECT_FALSE(window.txtAppendToFileEnabled);
    EXPECT_EQ(window.state.BackupSuffix, kDate);
    EXPECT_EQ(window.dateTicks, 1);
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll_backup"), "older a");
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll" + kDate), "old a");
    EXPECT_EQ(contentAt(Side::Product, "bin/b.dll" + kDate), "old b");
    EXPECT_THAT(prompts(), ElementsAre(kSuccess));
}

TEST_F(InstallRun, oldBackupOfAFileNotInstalledSwitchesTheReplacementToTheDateSuffix) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    listed(Side::Product, "bin/", "b.dll", "new b");
    installed(Side::Product, "bin/a.dll_backup", "left by an earlier fix");
    installed(Side::Product, "bin/b.dll", "old b");
    window.state.BackupSuffix = "_backup";
    EXPECT_EQ(ReplaceListedFile(Side::Product, 0, window, services), FileOutcome::NewFile);
    EXPECT_EQ(window.state.BackupSuffix, kDate);
    EXPECT_EQ(ReplaceListedFile(Side::Product, 1, window, services), FileOutcome::Replaced);
    EXPECT_EQ(contentAt(Side::Product, "bin/b.dll" + kDate), "old b");
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll"), "new a");
}

TEST_F(InstallRun, missingSuffixAsksThenFallsBackToTheDateForInstalledFiles) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    installed(Side::Product, "bin/a.dll", "old a");
    window.txtAppendToFile = "   ";
    boxes.answerNext(MsgResult::Cancel);
    install();
    EXPECT_EQ(boxes.shown.front(),
              (MsgBoxRequest{"Please Provide Backup Name in Text Box OR Select Check Box",
                             MsgButtons::OkCancel, MsgIcon::Information, std::nullopt}));
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll" + kDate), "old a");
    EXPECT_EQ(prompts().back(), kSuccess);
}

TEST_F(InstallRun, tickedDateBoxGivesItsCaptionWithoutAsking) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    installed(Side::Product, "bin/a.dll", "old a");
    window.txtAppendToFile = "";
    window.tickAppendDate();
    window.clock = {2005, 5, 1, 15, 10}; // ticked at 9:07, installed later
    install();
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll" + kDate), "old a");
    EXPECT_THAT(prompts(), ElementsAre(kSuccess));
}

TEST_F(InstallRun, suffixKeepsALeadingBlankAfterTheUnderscore) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    installed(Side::Product, "bin/a.dll", "old a");
    window.txtAppendToFile = " old copy  ";
    install();
    EXPECT_EQ(window.state.BackupSuffix, "_ old copy");
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll_ old copy"), "old a");
}

TEST_F(InstallRun, windowsItemWhoseHeadRepeatsTheRootGoesUnderTheRoot) {
    listed(Side::Windows, "WINNT/system32/", "x.dll", "new x");
    installed(Side::Windows, "system32/x.dll", "old x");
    install();
    EXPECT_EQ(contentAt(Side::Windows, "system32/x.dll"), "new x");
    ASSERT_EQ(launcher.started.size(), 1U);
    EXPECT_NE(launcher.started[0].contentAtStart.find("cd " + windowsRoot().string() + "\\\\system32\\\r\n"),
              std::string::npos);
}

// Faults of the original design that must not come back.

TEST_F(InstallRun, backupsNeverOverwriteAnOriginal) {
    listed(Side::Product, "bin/", "a.dll", "v2");
    installed(Side::Product, "bin/a.dll", "v1");
    install();
    // Second run in the same minute, with a newer package: the date suffix is taken already.
    writeFile(packageFile(Side::Product, "bin/", "a.dll"), "v3");
    install();
    writeFile(packageFile(Side::Product, "bin/", "a.dll"), "v4");
    install();
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll_backup"), "v1");
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll" + kDate), "v2");
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll" + kDate + "_2"), "v3");
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll"), "v4");
}

TEST_F(InstallRun, sameFileListedTwiceKeepsTheFirstBackup) {
    listed(Side::Product, "bin/", "a.dll", "new");
    window.addListItem(Side::Product, "a.dll", "bin\\");
    installed(Side::Product, "bin/a.dll", "original");
    install();
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll_backup"), "original");
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll_backup_2"), "new");
}

TEST_F(InstallRun, rootSetToThePackageFolderNeverDestroysThePackageFile) {
    listed(Side::Product, "bin/", "a.dll", "the only copy");
    window.TxtPath = package.str() + "\\Setup\\Vtrl";
    install();
    EXPECT_EQ(readFile(packageFile(Side::Product, "bin/", "a.dll")), "the only copy");
    const std::string path = package.str() + "\\Setup\\Vtrl\\bin\\a.dll";
    EXPECT_THAT(boxes.shown, ElementsAre(errorBox(" File ''" + path + "'' could not be replaced from ''" +
                                                  packageFolder(Side::Product) + "bin\\a.dll''"),
                                         errorBox(kFailed)));
}

// Which box a failed step of a replacement gives.
enum class StepBox { CouldNotBackUp, CouldNotReplace, CouldNotFlush };

struct FailedStep {
    std::string_view operation;
    StepBox box;
};

class FailedReplacementStep : public test::InstallFixture,
                              public ::testing::WithParamInterface<FailedStep> {};

TEST_P(FailedReplacementStep, leavesTheInstalledFileAsItWasAndNoBackupOrTemporaryBehind) {
    listed(Side::Product, "bin/", "a.dll", "new");
    const auto file = installed(Side::Product, "bin/a.dll", "old");
    std::filesystem::permissions(file, std::filesystem::perms::owner_read);
    const std::string dest = destination(Side::Product, "bin/", "a.dll");
    const auto before = real->attributes(dest);
    fs.failWhen = [](std::string_view op, std::string_view) {
        return op == GetParam().operation;
    };

    install();

    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll"), "old");
    EXPECT_EQ(real->attributes(dest), before);
    // Nothing else is left in the folder: no backup of a file that was not replaced, no temporary file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(productRoot() / "bin"),
                            std::filesystem::directory_iterator()),
              1);
    std::string box;
    switch (GetParam().box) {
    case StepBox::CouldNotBackUp:
        box = " File ''" + dest + "'' could not be backed up to ''" + dest + "_backup''";
        break;
    case StepBox::CouldNotReplace:
        box = " File ''" + dest + "'' could not be replaced from ''" + packageFolder(Side::Product) +
              "bin\\a.dll''";
        break;
    case StepBox::CouldNotFlush:
        box = " Files in ''" + productRoot().string() + "\\bin\\'' could not be written to the disk";
        break;
    }
    EXPECT_THAT(boxes.shown, ElementsAre(errorBox(box), errorBox(kFailed)));
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, FailedReplacementStep,
    ::testing::Values(FailedStep{.operation = "linkFile", .box = StepBox::CouldNotBackUp},
                      FailedStep{.operation = "copyFileToNew", .box = StepBox::CouldNotReplace},
                      FailedStep{.operation = "moveFileOver", .box = StepBox::CouldNotReplace},
                      FailedStep{.operation = "flush", .box = StepBox::CouldNotFlush}),
    [](const auto& row) { return std::string(row.param.operation); });

TEST_F(InstallRun, failedCopyOfANewFileIsNoLongerSilent) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    listed(Side::Product, "bin/", "b.dll", "new b");
    installed(Side::Product, "bin/a.dll", "old a");
    const std::string b = destination(Side::Product, "bin/", "b.dll");
    fs.failWhen = [&](std::string_view op, std::string_view path) {
        return op == "moveFile" && path == b;
    };
    install();
    EXPECT_THAT(boxes.shown, ElementsAre(errorBox(" File ''" + packageFolder(Side::Product) +
                                                  "bin\\b.dll'' could "
                                                  "not be copied to ''" +
                                                  b + "''"),
                                         errorBox(kFailed)));
    EXPECT_FALSE(existsAt(Side::Product, "bin/b.dll"));
}

class UnwritableScript : public test::InstallFixture,
                         public ::testing::WithParamInterface<std::string_view> {};

TEST_P(UnwritableScript, isReportedAndNotStarted) {
    listed(Side::Windows, "system32/", "c.dll", "new c");
    installed(Side::Windows, "system32/c.dll", "old c");
    fs.failWhen = [](std::string_view op, std::string_view) {
        return op == GetParam();
    };
    install();
    EXPECT_TRUE(launcher.started.empty());
    EXPECT_FALSE(package.exists("RegisterWin.bat"));
    EXPECT_THAT(boxes.shown, ElementsAre(errorBox(" File ''" + programFolder() +
                                                  "\\RegisterWin.bat'' could not be written"),
                                         errorBox(kFailed)));
}

INSTANTIATE_TEST_SUITE_P(CreatedOrAppended, UnwritableScript,
                         ::testing::Values("createTextFile", "appendToFile"),
                         [](const auto& row) { return std::string(row.param); });

struct RootTexts {
    std::string product;
    std::string windows;
};

class RootThatSaysNotWhere : public test::InstallFixture, public ::testing::WithParamInterface<RootTexts> {};

// A relative root would follow the folder the installer was started in.
TEST_P(RootThatSaysNotWhere, isReportedByTheChecksAndTouchesNothing) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    listed(Side::Windows, "system32/", "c.dll", "new c");
    window.TxtPath = GetParam().product;
    window.TxtWinPath = GetParam().windows;
    install();
    EXPECT_THAT(boxes.shown,
                ElementsAre(errorBox("Please provide the correct Vantrel Root Path"),
                            errorBox("Please provide the correct Windows Root Path"), errorBox(kFailed)));
    EXPECT_THAT(fs.effects(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(BlankRelativeOrDotted, RootThatSaysNotWhere,
                         ::testing::Values(RootTexts{"  ", ""}, RootTexts{"Vantrel", "C:WINNT"},
                                           RootTexts{"C:\\Vantrel\\..\\x", "/tmp/./WINNT"}));

class SuffixThatCannotNameAFile : public test::InstallFixture,
                                  public ::testing::WithParamInterface<const char*> {};

TEST_P(SuffixThatCannotNameAFile, failsTheChecksAndTouchesNothing) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    installed(Side::Product, "bin/a.dll", "old a");
    window.txtAppendToFile = GetParam();
    install();
    EXPECT_FALSE(window.state.ChecksPassed);
    EXPECT_THAT(prompts(),
                ElementsAre("Please Provide Backup Name in Text Box OR Select Check Box", kFailed));
    EXPECT_THAT(fs.effects(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(EachBadCharacter, SuffixThatCannotNameAFile,
                         ::testing::Values("a:b", "x\\y", "a/b", "q?", "star*", "\"", "<", ">", "|",
                                           "del\x7f"));

// Without a suffix and without an installed file to switch the run to the date suffix, a backup made of a
// file that turns up meanwhile would have the file's own name, and so would the record's.
TEST_F(InstallRun, missingSuffixThatNoInstalledFileReplacedFailsTheChecks) {
    listed(Side::Product, "bin/", "a.dll", "new a");
    window.txtAppendToFile = "";
    install();
    EXPECT_FALSE(window.state.ChecksPassed);
    EXPECT_THAT(prompts(),
                ElementsAre("Please Provide Backup Name in Text Box OR Select Check Box", kFailed));
    EXPECT_FALSE(existsAt(Side::Product, "bin/a.dll"));
}

// Two installers share nothing but the package folder: a second one, in another process or on another
// machine, or this one run again, writes its own script beside one that may still run (here or elsewhere),
// and never rewrites or removes it.
TEST_F(InstallRun, scriptOfARunningInterpreterIsNeitherOverwrittenNorRemovedByAnyInstaller) {
    listed(Side::Windows, "system32/", "c.dll", "new c");
    installed(Side::Windows, "system32/c.dll", "old c");
    package.write("RegisterWin_2.bat", "running on another machine");
    install();
    const std::string firstScript = package.read("RegisterWin.bat");

    const auto otherFiles = makeFileSystem();
    test::RecordingMsgBox otherBoxes;
    test::FakeLauncher otherLauncher;
    test::FakeInstallerWindow otherWindow;
    otherWindow.TxtWinPath = windowsRoot().string();
    otherWindow.addListItem(Side::Windows, "c.dll", "system32\\");
    runInstall(otherWindow,
               {programFolder(), *otherFiles, otherBoxes, otherLauncher, test::machineCodePages()});
    install(); // this installer again, while both scripts still run

    ASSERT_EQ(otherLauncher.started.size(), 1U);
    EXPECT_EQ(otherLauncher.started[0].path, programFolder() + "\\RegisterWin_3.bat");
    ASSERT_EQ(launcher.started.size(), 2U);
    EXPECT_EQ(launcher.started[0].path, programFolder() + "\\RegisterWin.bat");
    EXPECT_EQ(launcher.started[1].path, programFolder() + "\\RegisterWin_4.bat");
    EXPECT_NE(launcher.started[1].contentAtStart.find("popd & del RegisterWin_4.bat & exit"),
              std::string::npos);
    otherLauncher.endAll();
    EXPECT_EQ(package.read("RegisterWin.bat"), firstScript);
    launcher.endAll();
    EXPECT_FALSE(package.exists("RegisterWin.bat"));
    EXPECT_FALSE(package.exists("RegisterWin_3.bat"));
    EXPECT_FALSE(package.exists("RegisterWin_4.bat"));
    EXPECT_EQ(package.read("RegisterWin_2.bat"), "running on another machine");
    EXPECT_THAT(otherBoxes.prompts(), ElementsAre(kSuccess));
}

} // namespace
} // namespace hotfix

namespace hotfix {
namespace {

class HoldersBox : public test::InstallFixture {
protected:
    HoldersBox() {
        services.filesInUse = &holders;
        listed(Side::Product, "bin/", "a.dll", "new a");
        installed(Side::Product, "bin/a.dll", "old a");
        const FilesInUse::Holder viewer{4242, "Vantrel Viewer", false, false};
        holders.answers = {{viewer}, {viewer}, {}};
    }
    test::FakeFilesInUse holders{fs};
};

TEST_F(HoldersBox, namesTheProgramsAndRetriesUntilTheyHaveClosed) {
    boxes.answerNext(MsgResult::Retry);
    boxes.answerNext(MsgResult::Retry);
    install();
    EXPECT_EQ(holders.asked, 3);
    ASSERT_GE(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::AbortRetryIgnore);
    EXPECT_THAT(boxes.shown[0].prompt, ::testing::HasSubstr("Vantrel Viewer (process 4242)"));
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll"), "new a");
    EXPECT_EQ(prompts().back(), kSuccess);
}

TEST_F(HoldersBox, ignoreGoesOnAndAbortChangesNothing) {
    boxes.answerNext(MsgResult::Ignore);
    install();
    EXPECT_EQ(holders.asked, 1);
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll"), "new a");

    holders.asked = 0;
    installed(Side::Product, "bin/a.dll", "old a");
    boxes.shown.clear();
    boxes.answerNext(MsgResult::Abort);
    fs.log.clear();
    install();
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll"), "old a");
    EXPECT_THAT(fs.effects(), IsEmpty());
    EXPECT_EQ(boxes.shown.size(), 1u);
}

// Held by programs the system cannot name (a service it cannot see into, any program under Wine): the files
// are named instead, with the same choice.
TEST_F(HoldersBox, filesHeldByNobodyNamedAreNamedWithTheSameChoice) {
    holders.answers = {{}};
    holders.held = {destination(Side::Product, "bin/", "a.dll")};
    boxes.answerNext(MsgResult::Abort);
    fs.log.clear();
    install();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::AbortRetryIgnore);
    EXPECT_THAT(boxes.shown[0].prompt, ::testing::HasSubstr(holders.held[0]));
    EXPECT_THAT(fs.effects(), IsEmpty());

    boxes.answerNext(MsgResult::Ignore);
    install();
    EXPECT_EQ(contentAt(Side::Product, "bin/a.dll"), "new a");
    EXPECT_EQ(prompts().back(), kSuccess);
}

} // namespace
} // namespace hotfix
