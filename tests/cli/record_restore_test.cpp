#include "cli/headless_fixture.hpp"
#include "engine/install_record.hpp"
#include "engine/install_run.hpp"
#include "support/code_pages.hpp"
#include "support/fake_installer_window.hpp"
#include "support/forwarding_file_system.hpp"
#include "support/hooked_file_system.hpp"
#include "support/recording_msg_box.hpp"
#include "support/without_hard_links.hpp"

#include <algorithm>
#include <functional>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hotfix::cli {
namespace {

namespace fs = std::filesystem;
using test::Crash;
using test::Headless;
using test::HeadlessMachine;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The record of the fixture's package, as the program names it.
fs::path recordOf(const HeadlessMachine& m) {
    for (const auto& entry : fs::recursive_directory_iterator(m.data.path())) {
        if (entry.path().filename() == "record.txt") {
            return entry.path();
        }
    }
    return {};
}

void append(const fs::path& path, std::string_view text) {
    hotfix::test::writeFile(path, hotfix::test::readFile(path) + std::string(text));
}

// Every name below the folder that only a run cut off midway leaves.
std::vector<std::string> temporaries(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& [path, content] : hotfix::test::filesBelow(folder)) {
        if (path.find("~hotfix,") != std::string::npos) {
            found.push_back(path);
        }
    }
    return found;
}

// --- Records that a restore must refuse whole -----------------------------------------------------------

struct Forgery {
    std::string_view name;
    // Changes the record, or its folders, after a real install; may plant files on the machine.
    std::function<void(HeadlessMachine&)> forge;
    // What the refusal says.
    std::string_view said;
};

// A section of an install that the installer never made: its install line, then the lines given.
void appendInstall(HeadlessMachine& m, const std::vector<std::string>& lines) {
    std::string text = recordLine({"install", "2026-12-07T09:05:00Z", m.package.str(), m.root("Vantrel"),
                                   m.root("WINNT"), "_backup", "register-dlls"}) +
                       "\n";
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    append(recordOf(m), text);
}

// The lines of a forged file, with digests as an attacker computes them for files planted beside it.
std::vector<std::string> forgedFile(const std::string& destination, const std::string& backup,
                                    const std::string& temporary) {
    const std::string digest = "a9e6ad2ac5cfbc6f6ae3e3e1cfe1e4a1b41b0bdbb1786f1f3a4b2d6d2b0c0a6b";
    return {recordLine({"stage", "Vantrel", destination, temporary, backup, "", "420"}),
            recordLine({"file", "Vantrel", destination, backup, digest, digest, temporary})};
}

std::string tempBeside(const std::string& path) {
    return path.substr(0, path.find_last_of("\\/") + 1) + "~hotfix,0123456789abcdef,7.tmp";
}

const Forgery kForgeries[] = {
    {"anEntryOutsideTheRoots",
     [](HeadlessMachine& m) {
         m.machine.write("victim.txt", "precious");
         const std::string victim = (m.machine.path() / "victim.txt").string();
         appendInstall(m, forgedFile(victim, victim + "_backup", tempBeside(victim)));
     },
     "names a file that the package does not list"},
    {"anUnlistedDestination",
     [](HeadlessMachine& m) {
         m.machine.write("Vantrel/bin/other.dll", "not the hot fix's");
         const std::string other = m.root("Vantrel") + "\\bin\\other.dll";
         appendInstall(m, forgedFile(other, other + "_backup", tempBeside(other)));
     },
     "names a file that the package does not list"},
    {"aForeignTemporaryName",
     [](HeadlessMachine& m) {
         m.machine.write("Vantrel/bin/keep.txt", "someone's");
         const std::string core = m.root("Vantrel") + "\\bin\\core.dll";
         appendInstall(m, forgedFile(core, core + "_backup", m.root("Vantrel") + "\\bin\\keep.txt"));
     },
     "names a temporary file that is not the installer's"},
    {"aBackupElsewhere",
     [](HeadlessMachine& m) {
         const std::string core = m.root("Vantrel") + "\\bin\\core.dll";
         appendInstall(m, forgedFile(core, m.root("WINNT") + "\\system32\\hook.dll", tempBeside(core)));
     },
     "names a backup that is not one of the file's"},
    {"upwardInAPath",
     [](HeadlessMachine& m) {
         const std::string core = m.root("Vantrel") + "\\bin\\..\\..\\core.dll";
         appendInstall(m, forgedFile(core, core + "_backup", tempBeside(core)));
     },
     "names a file that the package does not list"},
    {"upwardInARoot",
     [](HeadlessMachine& m) {
         append(recordOf(m),
                recordLine({"install", "2026-12-07T09:05:00Z", m.package.str(),
                            m.root("Vantrel") + "\\..\\..", m.root("WINNT"), "_backup", "register-dlls"}) +
                    "\n");
     },
     "names a root that is no folder's path"},
    // A script the next run would remove: only the side's own names in a folder, never anything else.
    {"aScriptThatIsAnotherFile",
     [](HeadlessMachine& m) {
         m.machine.write("keep.bat", "someone's");
         appendInstall(m, {recordLine({"script", "Vantrel", m.root("keep.bat")})});
     },
     "not one of the side's scripts"},
    {"aScriptNamedWithANoughtOrUpward",
     [](HeadlessMachine& m) {
         appendInstall(m, {recordLine({"script", "Vantrel", m.package.str() + "\\Register_1.bat"}),
                           recordLine({"script", "Vantrel", m.package.str() + "\\..\\Register.bat"})});
     },
     "not one of the side's scripts"},
    {"aScriptOfTheOtherSide",
     [](HeadlessMachine& m) {
         appendInstall(m, {recordLine({"script", "Windows", m.package.str() + "\\Register.bat"})});
     },
     "not one of the side's scripts"},
    {"aControlCharacter",
     [](HeadlessMachine& m) {
         const std::string core = m.root("Vantrel") + "\\bin\\core.dll";
         appendInstall(m, {recordLine({"outcome", "Vantrel", core + std::string(1, '\x01'), "replaced"})});
     },
     "holds a control character"},
    {"aDamagedLineInTheMiddle",
     [](HeadlessMachine& m) {
         const fs::path record = recordOf(m);
         std::string text = hotfix::test::readFile(record);
         const std::size_t at = text.find("\nfile\tVantrel\t");
         text.replace(at + 6, 7, "vantrel");
         hotfix::test::writeFile(record, text);
     },
     "names no side"},
    {"aLineCutOffInTheMiddle",
     [](HeadlessMachine& m) {
         const fs::path record = recordOf(m);
         std::string text = hotfix::test::readFile(record);
         const std::size_t at = text.find("\nfile\t");
         text.erase(text.find('\n', at + 1) - 2, 2);
         hotfix::test::writeFile(record, text);
     },
     "is cut off or damaged"},
    {"theHeadingOfAnotherPackage",
     [](HeadlessMachine& m) {
         const fs::path record = recordOf(m);
         std::string text = hotfix::test::readFile(record);
         text.replace(text.find('\t', text.find('\t') + 1) + 1, 4, "ffff");
         hotfix::test::writeFile(record, text);
     },
     "names another package"},
    {"aRecordOfAnotherVersion",
     [](HeadlessMachine& m) {
         const fs::path record = recordOf(m);
         std::string text = hotfix::test::readFile(record);
         text.replace(text.find("\t2\t"), 3, "\t9\t");
         hotfix::test::writeFile(record, text);
     },
     "another version"},
#ifndef _WIN32
    // POSIX rights and links; the Windows backend's protection has a test of its own.
    {"aRecordThatOthersMayChange",
     [](HeadlessMachine& m) { fs::permissions(recordOf(m), fs::perms::others_write, fs::perm_options::add); },
     "other accounts may change it"},
    {"aFolderThatOthersMayChange",
     [](HeadlessMachine& m) {
         fs::permissions(recordOf(m).parent_path(), fs::perms::all, fs::perm_options::add);
     },
     "other accounts may change it"},
    {"aRecordThatIsALink",
     [](HeadlessMachine& m) {
         const fs::path record = recordOf(m);
         const fs::path elsewhere = m.machine.path() / "record elsewhere.txt";
         fs::rename(record, elsewhere);
         fs::create_symlink(elsewhere, record);
     },
     "it is a link"},
    {"aFolderThatIsALink",
     [](HeadlessMachine& m) {
         const fs::path folder = recordOf(m).parent_path();
         const fs::path elsewhere = m.machine.path() / "records elsewhere";
         fs::rename(folder, elsewhere);
         fs::create_directory_symlink(elsewhere, folder);
     },
     "it is a link"},
#endif
};

class ForgedRecord : public ::testing::TestWithParam<Forgery> {
protected:
    HeadlessMachine m;
};

TEST_P(ForgedRecord, isRefusedWholeWithNothingTouchedAndNoScriptRun) {
    ASSERT_EQ(m.run({"--install", "--register-dlls"}), kSuccess) << m.err.str();
    GetParam().forge(m);
    const auto before = m.everything();
    const std::size_t scripts = m.instant.scripts.size();

    EXPECT_EQ(m.run({"--restore"}), kFailure);

    EXPECT_THAT(m.err.str(), AllOf(HasSubstr(GetParam().said), HasSubstr("Nothing was changed")));
    EXPECT_EQ(m.everything(), before);
    EXPECT_EQ(m.instant.scripts.size(), scripts);
    EXPECT_THAT(m.outLines(), IsEmpty());
}

std::string forgeryName(const ::testing::TestParamInfo<Forgery>& info) {
    return std::string(info.param.name);
}

INSTANTIATE_TEST_SUITE_P(Forgeries, ForgedRecord, ::testing::ValuesIn(kForgeries), forgeryName);

#ifndef _WIN32
// Only root can give a file to another account; CI runs as root.
TEST(ForeignRecord, thatBelongsToAnotherAccountIsRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the record to another account";
    }
    HeadlessMachine m;
    ASSERT_EQ(m.run({"--install"}), kSuccess) << m.err.str();
    ASSERT_EQ(::chown(recordOf(m).c_str(), 4242, 4242), 0);
    const auto before = m.everything();

    EXPECT_EQ(m.run({"--restore"}), kFailure);
    EXPECT_THAT(m.err.str(), HasSubstr("it belongs to another account"));
    EXPECT_EQ(m.everything(), before);
}
#endif

// --- Histories of installs that a restore undoes whole ---------------------------------------------------

struct History {
    std::string_view name;
    std::function<void(HeadlessMachine&)> installs;
};

// An install through the window's engine: the same lists and roots, the window's own way of backing up.
void windowInstall(HeadlessMachine& m) {
    hotfix::test::FakeInstallerWindow window;
    window.TxtPath = m.root("Vantrel");
    window.TxtWinPath = m.root("WINNT");
    window.txtAppendToFile = "backup";
    for (const auto& [side, name, folder] : {std::tuple{Side::Product, "core.dll", "bin\\"},
                                             {Side::Product, "viewer.dll", "bin\\"},
                                             {Side::Product, "help.txt", "Common\\"},
                                             {Side::Windows, "hook.dll", "system32\\"}}) {
        window.addListItem(side, name, folder);
    }
    hotfix::test::RecordingMsgBox boxes;
    hotfix::test::FakeLauncher launcher;
    const EngineServices services{m.package.str(),          *m.files,      boxes, launcher,
                                  test::machineCodePages(), m.recordFolder};
    ASSERT_EQ(runInstall(window, services), RunResult::Succeeded);
    launcher.endAll();
}

const History kHistories[] = {
    {"installedTwice",
     [](HeadlessMachine& m) {
         ASSERT_EQ(m.run({"--install"}), kSuccess) << m.err.str();
         ASSERT_EQ(m.run({"--install"}), kSuccess) << m.err.str();
     }},
    {"aFailedInstallThatChangedNothingAfterwards",
     [](HeadlessMachine& m) {
         ASSERT_EQ(m.run({"--install"}), kSuccess) << m.err.str();
         m.machine.write("Elsewhere/readme.txt", "another root");
         ASSERT_EQ(m.run({"--install", "--vantrel-root", m.root("Elsewhere"), "--windows-root",
                          m.root("Elsewhere")}),
                   kFailure);
         fs::remove_all(m.machine.path() / "Elsewhere");
     }},
    {"twoBuildsWithTheSameLists",
     [](HeadlessMachine& m) {
         ASSERT_EQ(m.run({"--install", "--register-dlls"}), kSuccess) << m.err.str();
         m.package.write("Setup/Vtrl/bin/core.dll", "core 3 (second build)");
         m.package.write("Setup/Othr/system32/hook.dll", "hook 3 (second build)");
         ASSERT_EQ(m.run({"--install", "--suffix", "build2"}), kSuccess) << m.err.str();
         // The deployment tool brings back the first build's folder.
         m.package.write("Setup/Vtrl/bin/core.dll", "core 2");
         m.package.write("Setup/Othr/system32/hook.dll", "hook 2");
     }},
    {"aWindowInstallThenACommandLineInstall",
     [](HeadlessMachine& m) {
         windowInstall(m);
         windowInstall(m);
         ASSERT_EQ(m.run({"--install", "--date-suffix"}), kSuccess) << m.err.str();
     }},
};

class InstallHistory : public ::testing::TestWithParam<History> {
protected:
    HeadlessMachine m;
};

TEST_P(InstallHistory, isUndoneWholeByOneRestore) {
    const auto before = m.everything();
    GetParam().installs(m);
    ASSERT_FALSE(HasFailure());

    EXPECT_EQ(m.run({"--restore"}), kSuccess) << m.err.str();

    EXPECT_EQ(m.everything().at("machine"), before.at("machine"));
    EXPECT_EQ(m.everything().at("package"), before.at("package"));
    // The libraries hold their originals, and are registered again.
    EXPECT_THAT(m.instant.scripts.back(), HasSubstr("regsvr32 /s hook.dll"));
    // Nothing is left to undo.
    EXPECT_EQ(m.run({"--restore"}), kSuccess);
    EXPECT_THAT(m.err.str(), HasSubstr("undone already"));
}

std::string historyName(const ::testing::TestParamInfo<History>& info) {
    return std::string(info.param.name);
}

INSTANTIATE_TEST_SUITE_P(Histories, InstallHistory, ::testing::ValuesIn(kHistories), historyName);

TEST_F(Headless, restoreOfAFileChangedSinceAnEarlierInstallNeverExitsZero) {
    ASSERT_EQ(run({"--install"}), kSuccess) << err.str();
    ASSERT_EQ(run({"--install"}), kSuccess) << err.str();
    machine.write("Vantrel/bin/core.dll", "core 9, from somebody else");

    EXPECT_EQ(run({"--restore"}), kFailure);
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 9, from somebody else");
    EXPECT_EQ(machine.read("Vantrel/Common/help.txt"), "help 1");
}

// --- Runs cut off at every step ------------------------------------------------------------------------

// A durable append opens its file, making it where it is missing, before it writes: a process killed, or a
// disk full, in between leaves the file made and empty.
class MadeBeforeWritten final : public hotfix::test::ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;
    FileResult appendDurably(std::string_view path, std::string_view bytes) override {
        if (!fileExists(path)) {
            if (FileResult made = createTextFile(path); !made) {
                return made;
            }
        }
        return ForwardingFileSystem::appendDurably(path, bytes);
    }
};

// Runs the mode through a file system that dies at its k-th call; false when the run got through whole.
bool cutOff(HeadlessMachine& m, FileSystem& files, const std::vector<std::string>& arguments, int k) {
    hotfix::test::HookedFileSystem dying(files);
    int calls = 0;
    dying.before = [&](std::string_view, std::string_view) {
        if (++calls == k) {
            throw Crash{};
        }
    };
    // A dead process writes nothing more, not even what its objects would on their way out.
    dying.failWhen = [&](std::string_view, std::string_view) {
        return calls > k;
    };
    MadeBeforeWritten appends(dying);
    try {
        m.run(arguments, &appends);
        return false;
    } catch (const Crash&) {
        m.startProcess();
        return true;
    }
}

struct CutSweep {
    std::string_view name;
    std::vector<std::string> cut;
    // The install is whole before the cut run (a restore) starts.
    bool installFirst;
    bool hardLinks;
    // The cut run's install cannot replace help.txt, fails, and takes itself back: the cut falls in the
    // install or in its rollback.
    bool rollsBack = false;
    // The cut run is tried again whole before the restore: the retry leaves none of the cut run's own.
    bool retried = false;
};

void PrintTo(const CutSweep& sweep, std::ostream* out) {
    *out << sweep.name;
}

class CutOff : public ::testing::TestWithParam<CutSweep> {};

// An install or a restore cut off at each of its file operations in turn, as by a killed process, and then a
// restore run whole: the machine is as before the install, no temporary name is left, and every library
// whose original is back is registered again.
TEST_P(CutOff, atAnyStepTheNextRestoreGivesBackTheWorkstation) {
    const CutSweep& sweep = GetParam();
    int cuts = 0;
    for (int k = 1;; ++k) {
        HeadlessMachine m;
        hotfix::test::WithoutHardLinks linkless(*m.files);
        FileSystem& files = sweep.hardLinks ? *m.files : linkless;
        const auto before = m.everything();
        if (sweep.installFirst) {
            ASSERT_EQ(m.run({"--install", "--register-dlls"}, &files), kSuccess) << m.err.str();
        }
        hotfix::test::HookedFileSystem failing(files);
        failing.failWhen = [&](std::string_view op, std::string_view path) {
            return sweep.rollsBack && op == "moveFileOver" && path.ends_with("help.txt");
        };
        if (!cutOff(m, failing, sweep.cut, k)) {
            break;
        }
        ++cuts;
        // The machine's log is as far on as the record: each file's outcome in one is in the other.
        const fs::path record = recordOf(m);
        const std::string log = fs::exists(m.data.path() / "Logs") ? m.machineLog() : std::string();
        const std::string recorded = record.empty() ? std::string() : hotfix::test::readFile(record);
        for (std::size_t at = recorded.find("\noutcome\t"); at != std::string::npos;
             at = recorded.find("\noutcome\t", at + 1)) {
            const auto fields = recordFields(recorded.substr(at + 1, recorded.find('\n', at + 1) - at - 1));
            ASSERT_EQ(fields.size(), 4U) << "cut at " << k;
            EXPECT_THAT(log, HasSubstr(fields[1] + "\t" + fields[3] + "\t" + fields[2])) << "cut at " << k;
        }
        if (sweep.retried) {
            EXPECT_EQ(m.run(sweep.cut, &files), kSuccess) << "cut at " << k << ": " << m.err.str();
            EXPECT_THAT(temporaries(m.machine.path()), IsEmpty()) << "cut at " << k;
            EXPECT_EQ(m.everything().at("package"), before.at("package")) << "cut at " << k;
        }
        EXPECT_EQ(m.run({"--restore"}, &files), kSuccess) << "cut at " << k << ": " << m.err.str();
        EXPECT_EQ(m.everything().at("machine"), before.at("machine")) << "cut at " << k;
        EXPECT_THAT(temporaries(m.machine.path()), IsEmpty()) << "cut at " << k;
        // No script that the cut run never started is left in the package.
        EXPECT_EQ(m.everything().at("package"), before.at("package")) << "cut at " << k;
        // The cut-off restore, or the one after it, registered each library with its original back.
        const std::vector<std::string>& scripts = m.instant.scripts;
        for (const std::string_view library : {"core.dll", "hook.dll"}) {
            const auto registered = [&](const std::string& script) {
                return script.find(std::string("regsvr32 /s ") + std::string(library)) != std::string::npos;
            };
            const std::ptrdiff_t fromInstall = sweep.installFirst ? 2 : 0;
            EXPECT_TRUE(!sweep.installFirst ||
                        std::any_of(scripts.begin() + fromInstall, scripts.end(), registered))
                << "cut at " << k << ": " << library << " not registered again";
        }
        // Where the cut left no record, or one that records nothing, the hot fix goes on again, and comes
        // off again.
        if (!sweep.installFirst && recorded.find('\n') == std::string::npos) {
            EXPECT_EQ(m.run({"--install"}, &files), kSuccess) << "cut at " << k << ": " << m.err.str();
            EXPECT_EQ(m.run({"--restore"}, &files), kSuccess) << "cut at " << k << ": " << m.err.str();
            EXPECT_EQ(m.everything().at("machine"), before.at("machine")) << "cut at " << k;
        }
    }
    EXPECT_GT(cuts, 20);
}

const CutSweep kCutSweeps[] = {
    {"install", {"--install", "--register-dlls"}, false, true},
    {"installWithoutHardLinks", {"--install", "--register-dlls"}, false, false},
    {"restore", {"--restore"}, true, true},
    {"restoreWithoutHardLinks", {"--restore"}, true, false},
    {"failedInstallRollingBack", {"--install", "--register-dlls"}, false, true, true},
    {"retriedInstall", {"--install", "--register-dlls"}, false, true, false, true},
};

std::string cutSweepName(const ::testing::TestParamInfo<CutSweep>& info) {
    return std::string(info.param.name);
}

INSTANTIATE_TEST_SUITE_P(Runs, CutOff, ::testing::ValuesIn(kCutSweeps), cutSweepName);

// --- Restores that find no install recorded --------------------------------------------------------------

struct Unrecorded {
    std::string_view name;
    // Leaves the workstation without a record of an install, or with one that records nothing.
    std::function<void(HeadlessMachine&)> leave;
    int exitCode;
    std::string_view said;
};

void installThenRecordOnly(HeadlessMachine& m, std::string_view text) {
    ASSERT_EQ(m.run({"--install"}), kSuccess) << m.err.str();
    ASSERT_EQ(m.run({"--restore"}), kSuccess) << m.err.str();
    hotfix::test::writeFile(recordOf(m), text);
}

const Unrecorded kUnrecorded[] = {
    {"neverInstalled", [](HeadlessMachine&) {}, kSuccess, "there is nothing to undo"},
    {"anEmptyRecord", [](HeadlessMachine& m) { installThenRecordOnly(m, ""); }, kSuccess,
     "there is nothing to undo"},
    {"aRecordCutOffInItsHeading",
     [](HeadlessMachine& m) { installThenRecordOnly(m, "HotFix Installer rec"); }, kSuccess,
     "there is nothing to undo"},
    {"aFullDiskAtTheRecordsFirstWrite",
     [](HeadlessMachine& m) {
         hotfix::test::HookedFileSystem full(*m.files);
         full.failWhen = [](std::string_view op, std::string_view path) {
             return op == "appendDurably" && path.find("Logs") == std::string_view::npos;
         };
         MadeBeforeWritten appends(full);
         ASSERT_EQ(m.run({"--install"}, &appends), kFailure);
         ASSERT_THAT(m.err.str(), HasSubstr("could not be written"));
     },
     kSuccess, "there is nothing to undo"},
    {"theFilesInPlace",
     [](HeadlessMachine& m) {
         ASSERT_EQ(m.run({"--install"}), kSuccess) << m.err.str();
         fs::remove(recordOf(m));
     },
     kFailure, "core.dll'' holds the HotFix, but no install of it is recorded"},
    {"aBackupBesideAListedFile",
     [](HeadlessMachine& m) { m.machine.write("WINNT/system32/hook.dll_backup", "hook 0"); }, kFailure,
     "hook.dll_backup'' is there, but no install of this HotFix is recorded"},
};

class NoRecordedInstall : public ::testing::TestWithParam<Unrecorded> {
protected:
    HeadlessMachine m;
};

// Exit 0 only where nothing of the hot fix is on the workstation; then it goes on and comes off as ever.
TEST_P(NoRecordedInstall, restoreChangesNothingAndExitsZeroOnlyWhereNothingIsThere) {
    const auto first = m.everything();
    GetParam().leave(m);
    ASSERT_FALSE(HasFailure());
    const auto before = m.everything();

    EXPECT_EQ(m.run({"--restore"}), GetParam().exitCode);

    EXPECT_THAT(m.err.str(), HasSubstr(GetParam().said));
    EXPECT_EQ(m.everything(), before);
    EXPECT_THAT(m.outLines(), IsEmpty());
    if (GetParam().exitCode == kSuccess) {
        ASSERT_EQ(m.run({"--install"}), kSuccess) << m.err.str();
        EXPECT_EQ(m.run({"--restore"}), kSuccess) << m.err.str();
        EXPECT_EQ(m.everything().at("machine"), first.at("machine"));
    }
}

std::string unrecordedName(const ::testing::TestParamInfo<Unrecorded>& info) {
    return std::string(info.param.name);
}

INSTANTIATE_TEST_SUITE_P(States, NoRecordedInstall, ::testing::ValuesIn(kUnrecorded), unrecordedName);

#ifndef _WIN32
// A destination that is a symbolic link is backed up as a copy of its bytes: a second name of the link would
// follow whatever becomes of its target, here a file the hot fix replaces too.
// A link below a root is never followed: the file fails, said, and what the link leads to is neither read
// into a backup nor written.
TEST_F(Headless, aLinkedDestinationFailsAloneAndIsNeverFollowed) {
    package.write("Setup/InstallPatch.BLR", "bin\\core.dll, bin\\alias.dll\r\n");
    package.write("Setup/Vtrl/bin/alias.dll", "alias 2");
    machine.write("elsewhere.dll", "not the hot fix's");
    fs::create_symlink(machine.path() / "elsewhere.dll", machine.path() / "Vantrel/bin/alias.dll");

    EXPECT_EQ(run({"--install"}), kFailure);
    EXPECT_THAT(err.str(), HasSubstr("could not be backed up"));
    EXPECT_TRUE(fs::is_symlink(machine.path() / "Vantrel/bin/alias.dll"));
    EXPECT_FALSE(machine.exists("Vantrel/bin/alias.dll_backup"));
    EXPECT_EQ(machine.read("elsewhere.dll"), "not the hot fix's");

    run({"--restore"});
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 1");
    EXPECT_EQ(machine.read("elsewhere.dll"), "not the hot fix's");
}

// The marks the install found come back with the original, also where a run cut off while a second name of
// the file had them lifted took them away.
TEST_F(Headless, aRestoreGivesTheOriginalItsMarksBack) {
    const fs::path core = machine.path() / "Vantrel/bin/core.dll";
    fs::permissions(core, fs::perms::owner_read | fs::perms::group_read);
    ASSERT_EQ(run({"--install"}), kSuccess) << err.str();
    fs::permissions(machine.path() / "Vantrel/bin/core.dll_backup", fs::perms::owner_all);

    ASSERT_EQ(run({"--restore"}), kSuccess) << err.str();
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 1");
    EXPECT_EQ(fs::status(core).permissions(), fs::perms::owner_read | fs::perms::group_read);
}
#endif

// --- One run at a time, and the log beside the records ----------------------------------------------------

// Not even the machine's log, the records' folder or a --log file is made: the lock comes first.
TEST_F(Headless, aSecondRunWhileAnotherHoldsTheMachineSaysSoAndMakesNothing) {
    runLock.heldElsewhere = true;
    recordFolder = (data.path() / "HotFix Installer").string();
    const fs::path newLog = data.path() / "new.log";
    const fs::path oldLog = package.write("old.log", "");
    for (const std::string_view mode : {"--install", "--restore"}) {
        EXPECT_EQ(run({std::string(mode), "--log", newLog.string()}), kAnotherRunInProgress);
        EXPECT_THAT(err.str(), HasSubstr("Another install or restore of a HotFix is running"));
    }
    EXPECT_TRUE(fs::is_empty(data.path()));
    EXPECT_EQ(run({"--install", "--log", oldLog.string()}), kAnotherRunInProgress);
    EXPECT_THAT(test::readFile(oldLog), HasSubstr("Another install or restore of a HotFix is running"));

    runLock.heldElsewhere = false;
    ASSERT_EQ(run({"--install"}), kSuccess) << err.str();
    EXPECT_EQ(runLock.acquired, 1);
    runLock.heldElsewhere = true;
    const auto before = test::filesBelow(data.path());
    EXPECT_EQ(run({"--restore"}), kAnotherRunInProgress);
    EXPECT_EQ(test::filesBelow(data.path()), before);

    runLock.heldElsewhere = false;
    EXPECT_EQ(run({"--restore"}), kSuccess) << err.str();
    EXPECT_EQ(runLock.acquired, runLock.released);
}

TEST_F(Headless, theLogMayLiveInTheRecordsFolderBeforeItExists) {
    recordFolder = (data.path() / "HotFix Installer").string();
    const std::string log = recordFolder + "/install.log";

    EXPECT_EQ(run({"--install", "--log", log}), kSuccess) << err.str();
    EXPECT_THAT(hotfix::test::readFile(log), HasSubstr("Sucessfully Applied the HotFix"));
#ifndef _WIN32
    EXPECT_EQ(fs::status(recordFolder).permissions() & fs::perms::all, fs::perms::owner_all);
#endif
}

} // namespace
} // namespace hotfix::cli
