// Tests against a real Wine prefix: the registry as `wine reg` writes it, scripts run by Wine's own cmd,
// and a whole install run on the prefix's drive C:.
#include "engine/file_lists.hpp"
#include "engine/install_run.hpp"
#include "engine/messages.hpp"
#include "engine/registration_script.hpp"
#include "platform/ascii.hpp"
#include "platform/package_text.hpp"
#include "platform/platform_services.hpp"
#include "platform/posix/posix_file_system.hpp"
#include "platform/posix/post_box.hpp"
#include "platform/posix/wine_environment.hpp"
#include "platform/reg_module.hpp"
#include "support/fake_installer_window.hpp"
#include "support/fake_launcher.hpp"
#include "support/recording_msg_box.hpp"
#include "support/temp_dir.hpp"
#include "support/watched_launcher.hpp"

#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

namespace hotfix::posix {
namespace {

namespace fs = std::filesystem;
using test::PostBox;
using namespace std::chrono_literals;
using test::WatchedLauncher;
using test::WineEnvironment;

[[maybe_unused]] const auto* const kWine = ::testing::AddGlobalTestEnvironment(new WineEnvironment);

constexpr std::uint32_t kLocalMachine = 0x80000002u;

fs::path driveC() {
    return fs::path(WineEnvironment::prefix()) / "drive_c";
}

TEST(WineRegistry, valuesWrittenByWineAreReadAsTheReaderPromises) {
    HOTFIX_REQUIRE_WINE();
    const std::string key = "HKLM\\Software\\Vantrel Software";
    const auto add = [&](const char* name, const char* type, const std::string& data) {
        EXPECT_EQ(WineEnvironment::regAdd({key, "/v", name, "/t", type, "/d", data}), "") << name;
    };
    add("QXINSTALLDIR", "REG_SZ", "C:\\Program Files\\Vantrel");
    add("Count", "REG_DWORD", "42");
    add("Big", "REG_DWORD", "305419896");
    add("Expandable", "REG_EXPAND_SZ", "%SystemRoot%\\Vantrel");
    add("Fits", "REG_SZ", std::string(1023, 'f'));
    add("TooLong", "REG_SZ", std::string(1500, 'x'));
    add("Empty", "REG_SZ", "");
    EXPECT_EQ(WineEnvironment::regAdd({"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion", "/v",
                                       "PathName", "/t", "REG_SZ", "/d", "C:\\windows"}),
              "");
    WineEnvironment::flushRegistry();

    const auto registry = makeRegistry();
    const auto read = [&](std::string_view keyPath, std::string_view name) {
        std::string text = "before";
        const bool found = RegModule::ReadRegValue(*registry, kLocalMachine, keyPath, name, text);
        return std::make_pair(found, text);
    };
    using Result = std::pair<bool, std::string>;
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "QXINSTALLDIR"), Result(true, "C:\\Program Files\\Vantrel"));
    EXPECT_EQ(read("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "PathName"),
              Result(true, "C:\\windows"));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Count"), Result(true, "&h00002A"));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Big"), Result(true, "&h12345678"));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Expandable"), Result(true, "before"));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Fits"), Result(true, std::string(1023, 'f')));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "TooLong"), Result(false, "before"));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Empty"), Result(true, ""));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Missing"), Result(false, "before"));
    EXPECT_EQ(read("SOFTWARE\\No Such Key", "QXINSTALLDIR"), Result(false, "before"));
}

TEST(WineRegistry, eachValueComesFromThe32BitViewWhereItIsThereElseFromThe64BitOne) {
    HOTFIX_REQUIRE_WINE();
    const auto add = [](const char* name, const char* data, const char* view) {
        EXPECT_EQ(WineEnvironment::regAdd(
                      {"HKLM\\Software\\Vantrel Views", "/v", name, "/t", "REG_SZ", "/d", data, view}),
                  "")
            << name << view;
    };
    add("Where", "32-bit view", "/reg:32");
    add("Where", "64-bit view", "/reg:64");
    add("Only32", "32-bit view", "/reg:32");
    add("Only64", "64-bit view", "/reg:64");
    WineEnvironment::flushRegistry();

    const auto registry = makeRegistry();
    const auto read = [&](std::string_view keyPath, std::string_view name) {
        std::string text = "before";
        RegModule::ReadRegValue(*registry, kLocalMachine, keyPath, name, text);
        return text;
    };
    EXPECT_EQ(read("SOFTWARE\\Vantrel Views", "Where"), "32-bit view");
    EXPECT_EQ(read("SOFTWARE\\Vantrel Views", "Only32"), "32-bit view");
    EXPECT_EQ(read("SOFTWARE\\Vantrel Views", "Only64"), "64-bit view");
    // wineboot leaves a 32-bit CurrentVersion with subkeys only; the Windows root is the 64-bit key's.
    EXPECT_EQ(read("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot"), "C:\\windows");
}

TEST(WineLauncher, scriptsRunInWinesCmdWithTheirCdLines) {
    HOTFIX_REQUIRE_WINE();
    test::TempDir package;
    fs::create_directories(driveC() / "Launch Proof");
    package.write("Register.bat", "cd\\\r\nC:\r\ncd C:\\Launch Proof\\\r\necho ran> proof.txt\r\n");
    PostBox ui;
    const auto launcher = makeProcessLauncher(ui.poster());
    bool ended = false;
    ASSERT_TRUE(launcher->startScript(package.str() + "\\Register.bat", [&](int) { ended = true; }));
    ASSERT_TRUE(ui.runNext()) << "cmd did not end";
    EXPECT_TRUE(ended);
    EXPECT_EQ(test::readFile(driveC() / "Launch Proof/proof.txt"), "ran\r\n");
}

// A package on the Linux side and a product installed on the prefix's drive C:. Each destination folder
// holds a regsvr32.bat that cmd finds before the real tool (the current folder comes first), so the
// script's lines leave a file behind in the folder its cd lines reached.
class WineInstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!WineEnvironment::missing().empty()) {
            return;
        }
        product = driveC() / "Program Files/Vantrel";
        windows = driveC() / "windows";
        test::writeFile(installed(product / "Common/a.dll"), "old a");
        test::writeFile(installed(product / "Common/notes.txt"), "old notes");
        test::writeFile(installed(windows / "Vantrel32/w.dll"), "old w");
        fs::permissions(product / "Common/a.dll", fs::perms::owner_read | fs::perms::group_read);
        const char* recorder = "@echo %*>> proof.txt\r\n";
        test::writeFile(product / "Common/regsvr32.bat", recorder);
        test::writeFile(windows / "Vantrel32/regsvr32.bat", recorder);

        package.write("Setup/InstallPatch.BLR", "Vantrel\\COMMON\\a.dll, Vantrel\\common\\Notes.TXT, "
                                                "Vantrel\\Common\\Extra.dll");
        package.write("Setup/InstallWinPatch.BLR", "Vantrel32\\w.dll");
        package.write("Setup/Vtrl/Vantrel/Common/a.dll", "new a");
        package.write("Setup/Vtrl/Vantrel/Common/notes.txt", "new notes");
        package.write("Setup/Vtrl/Vantrel/Common/Extra.dll", "extra");
        package.write("Setup/Othr/Vantrel32/w.dll", "new w");
    }

    static fs::path installed(const fs::path& path) {
        fs::create_directories(path.parent_path());
        return path;
    }

    fs::path product;
    fs::path windows;
    test::TempDir package;
};

TEST_F(WineInstallTest, aHotFixIsAppliedToDriveCAndItsLibrariesRegisteredThroughWine) {
    HOTFIX_REQUIRE_WINE();
    const auto files = makeFileSystem();
    const auto codePages = makeCodePageCodec();
    test::RecordingMsgBox boxes;
    PostBox ui;
    const auto launcher = makeProcessLauncher(ui.poster());
    const EngineServices services{package.str(), *files, boxes, *launcher, *codePages};

    test::FakeInstallerWindow window;
    window.TxtPath = "C:\\Program Files\\Vantrel";
    window.TxtWinPath = "C:\\windows";
    window.chkRegisterDlls = true;
    window.chkShowAfterReg = false;
    window.chkCloseAfterInstallation = false;
    const ListFileContext lists{services.programFolder, *files, boxes, *codePages};
    ASSERT_TRUE(LoadListFile(Side::Product, lists, window));
    ASSERT_TRUE(LoadListFile(Side::Windows, lists, window));

    runInstall(window, services);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back(), messages::hotFixApplied()) << boxes.shown.back().prompt;

    EXPECT_EQ(test::readFile(product / "Common/a.dll"), "new a");
    EXPECT_EQ(test::readFile(product / "Common/a.dll_backup"), "old a");
    EXPECT_EQ(test::readFile(product / "Common/notes.txt"), "new notes");
    // A name that differs only in case finds the installed file; its new backup is named as the list spells
    // it.
    EXPECT_EQ(test::readFile(product / "Common/Notes.TXT_backup"), "old notes");
    EXPECT_EQ(test::readFile(product / "Common/Extra.dll"), "extra");
    EXPECT_EQ(test::readFile(windows / "Vantrel32/w.dll"), "new w");
    EXPECT_EQ(test::readFile(windows / "Vantrel32/w.dll_backup"), "old w");

    // One script per side; each is removed once its cmd has ended.
    ASSERT_TRUE(ui.runNext()) << "the first script did not end";
    ASSERT_TRUE(ui.runNext()) << "the second script did not end";
    EXPECT_EQ(test::readFile(product / "Common/proof.txt"), "-u /s a.dll\r\n/s a.dll\r\n");
    EXPECT_EQ(test::readFile(windows / "Vantrel32/proof.txt"), "-u /s w.dll\r\n/s w.dll\r\n");
    EXPECT_FALSE(package.exists("Register.bat"));
    EXPECT_FALSE(package.exists("RegisterWin.bat"));
}

// A regsvr32 that cmd finds before the real tool in the current folder: it writes down its arguments there.
// Being a batch file, it never returns to the script that ran it; the other line of the library's block,
// read already, still runs, and the script ends there.
constexpr std::string_view kRecorder = "@echo %*>> proof.txt\r\n";

bool waitFor(const std::function<bool()>& condition, std::chrono::seconds timeout = 60s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// One install of Windows-side items (folder below C:\windows, name) from a package folder on drive C:,
// through Wine's cmd; waits until the script, if one was started, has ended.
class WineScriptTest : public ::testing::Test {
protected:
    struct Item {
        std::string folder;
        std::string name;
    };

    void install(const std::string& packageName, const std::vector<Item>& items) {
        const fs::path package = driveC() / packageName;
        std::string list;
        for (const Item& item : items) {
            list += (list.empty() ? "" : ", ") + item.folder + "\\" + item.name;
            test::writeFile(
                made(package / "Setup/Othr" / test::utf8Path(item.folder) / test::utf8Path(item.name)),
                "new");
            test::writeFile(made(windows() / test::utf8Path(item.folder) / test::utf8Path(item.name)), "old");
        }
        test::writeFile(made(package / "Setup/InstallWinPatch.BLR"), list);

        const auto files = makeFileSystem();

        const auto codePages = makeCodePageCodec();
        PostBox ui;
        launcher = std::make_unique<WatchedLauncher>(makeProcessLauncher(ui.poster()));
        EngineServices services{"C:\\" + packageName, *files, boxes, *launcher, *codePages};
        services.registrationFailed = registrationFailed;
        test::FakeInstallerWindow window;
        window.TxtPath = "C:\\Program Files\\Vantrel";
        window.TxtWinPath = "C:\\windows";
        window.chkShowAfterReg = false;
        window.chkCloseAfterInstallation = false;
        ASSERT_TRUE(LoadListFile(Side::Windows, {services.programFolder, *files, boxes, *codePages}, window));
        runInstall(window, services);
        if (!launcher->started.empty()) {
            ASSERT_TRUE(ui.runNext()) << "the script did not end";
        }
    }

    static fs::path windows() { return driveC() / "windows"; }
    static fs::path made(const fs::path& file) {
        fs::create_directories(file.parent_path());
        return file;
    }
    static bool scriptCanHold(std::string_view text) {
        return scriptText(text, *makeCodePageCodec()).has_value();
    }

    test::RecordingMsgBox boxes;
    std::unique_ptr<WatchedLauncher> launcher;
    // Given, the scripts report a library regsvr32 refused, as a run without a window has them do.
    std::function<void(const std::string&, int)> registrationFailed;
};

struct PackageFolder {
    const char* name;
    const char* libraryFolder; // below C:\windows, apart for each case: the prefix serves every case
};

class WineScriptFolders : public WineScriptTest, public ::testing::WithParamInterface<PackageFolder> {};

// cmd is started on the script's bare name in its folder: no character of the package folder reaches its
// command line. The library's folder is not ASCII; the script reaches it in cmd's code page.
TEST_P(WineScriptFolders, scriptsRunFromPackageFoldersWithAnyLegalNameInTheLibrarysExactFolder) {
    HOTFIX_REQUIRE_WINE();
    const std::string folder = GetParam().libraryFolder;
    if (!scriptCanHold(folder)) {
        GTEST_SKIP() << "the locale's OEM code page has no e-acute";
    }
    const std::string package = GetParam().name;
    test::writeFile(made(windows() / test::utf8Path(folder) / "regsvr32.bat"), kRecorder);
    install(package, {{folder, "w.dll"}});
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown.back(), messages::hotFixApplied()) << boxes.shown.back().prompt;
    EXPECT_EQ(test::readFile(windows() / test::utf8Path(folder) / "proof.txt"),
              "-u /s w.dll\r\n/s w.dll\r\n");
    // The recorder took the script's end away; the installer removed the file once cmd had ended.
    EXPECT_FALSE(fs::exists(driveC() / test::utf8Path(package) / "RegisterWin.bat"));
}

INSTANTIATE_TEST_SUITE_P(LegalNames, WineScriptFolders,
                         ::testing::Values(PackageFolder{"Patch & Fix (2)", "Caf\xC3\xA9 0"},
                                           PackageFolder{"100%OS% a!b", "Caf\xC3\xA9 1"},
                                           PackageFolder{"Caf\xC3\xA9 \xC5\x82 (x)", "Caf\xC3\xA9 2"}),
                         [](const auto& param) { return "package" + std::to_string(param.index); });

// A run without a window learns which library regsvr32 refused, and its code, from the interpreter's exit
// code: Wine's cmd and regsvr32 run the script's own lines for it.
TEST_F(WineScriptTest, reportingScriptsTellTheFirstLibraryRegsvr32RefusedAndItsCode) {
    HOTFIX_REQUIRE_WINE();
    std::vector<std::pair<std::string, int>> failures;
    registrationFailed = [&](const std::string& library, int code) {
        failures.emplace_back(library, code);
    };
    // Neither is a library: regsvr32 cannot load them.
    install("Reporting", {{"Reported", "first.dll"}, {"Reported", "second.dll"}});
    ASSERT_EQ(failures.size(), 1U) << "the script ended with no failure";
    EXPECT_EQ(failures[0].first, "C:\\windows\\Reported\\first.dll");
    EXPECT_NE(failures[0].second, 0);
    EXPECT_FALSE(fs::exists(driveC() / "Reporting/RegisterWin.bat"));
}

// Best fit would write "a&calc&.dll", and cmd would run calc; such a name, or a folder outside the code
// page, is replaced but not registered, and the run fails.
TEST_F(WineScriptTest, namesOutsideTheCodePageAreRefusedWhereBestFitWouldHaveRunThem) {
    HOTFIX_REQUIRE_WINE();
    const std::string hostile = "a\xEF\xBC\x86"
                                "calc\xEF\xBC\x86.dll";
    const std::string quote = "q\xEF\xBC\x82x.dll";
    const std::string lodz = "\xC5\x81\xC3\xB3"
                             "d\xC5\xBA";
    if (scriptCanHold(hostile) || scriptCanHold(lodz)) {
        GTEST_SKIP() << "the locale's OEM code page holds these characters";
    }
    test::writeFile(made(windows() / "BestFit32/calc.bat"), "@echo calc ran> calc.txt\r\n");
    test::writeFile(made(windows() / "BestFit32/regsvr32.bat"), kRecorder);
    install("Best Fit", {{"BestFit32", hostile}, {"BestFit32", quote}, {lodz, "l.dll"}});
    EXPECT_TRUE(launcher->started.empty());
    ASSERT_EQ(boxes.shown.size(), 4U);
    EXPECT_EQ(boxes.shown[0], messages::cannotRegister("C:\\windows\\BestFit32\\" + hostile));
    EXPECT_EQ(boxes.shown[1], messages::cannotRegister("C:\\windows\\BestFit32\\" + quote));
    EXPECT_EQ(boxes.shown[2], messages::cannotRegister("C:\\windows\\" + lodz + "\\l.dll"));
    EXPECT_EQ(boxes.shown[3], messages::hotFixFailed());
    EXPECT_EQ(test::readFile(windows() / "BestFit32" / test::utf8Path(hostile)), "new");
    EXPECT_FALSE(fs::exists(windows() / "BestFit32/calc.txt"));
    EXPECT_FALSE(fs::exists(windows() / "BestFit32/proof.txt"));

    // The line best fit would have written does run calc.
    fs::create_directories(driveC() / "Best Fit Proof");
    test::writeFile(driveC() / "Best Fit Proof/calc.bat", "@echo calc ran> calc.txt\r\n");
    test::writeFile(driveC() / "Best Fit Proof/Register.bat", "regsvr32 -u /s a&calc&.dll\r\n");
    // cmd's exit code is that of ".dll", which is no command.
    test::runProgram({"wine", "cmd", "/c", "Register.bat"}, (driveC() / "Best Fit Proof").string());
    EXPECT_EQ(test::readFile(driveC() / "Best Fit Proof/calc.txt"), "calc ran\r\n");
}

// A library whose folder change fails (the folder is gone) is not unregistered in whatever folder cmd was
// in, and the next library still is, in its own folder.
TEST_F(WineScriptTest, regsvr32LinesRunOnlyWhereTheirFolderChangeWorked) {
    HOTFIX_REQUIRE_WINE();
    // The script starts in C:\Gate, so its "pushd \" leaves cmd in C:\.
    test::writeFile(made(driveC() / "regsvr32.bat"), kRecorder);
    test::writeFile(made(driveC() / "Lib Two/regsvr32.bat"), kRecorder);
    fs::create_directories(driveC() / "Gate");
    const auto files = makeFileSystem();
    const auto codePages = makeCodePageCodec();
    PostBox ui;
    WatchedLauncher real(makeProcessLauncher(ui.poster()));
    const EngineServices services{"C:\\Gate", *files, boxes, real, *codePages};
    RegistrationScript script(Side::Windows, services, "/s ");
    ASSERT_TRUE(script.AddLibrary("one.dll", "C:\\Gone\\"));
    ASSERT_TRUE(script.AddLibrary("two.dll", "C:\\Lib Two\\"));
    ASSERT_TRUE(script.FinishScript());
    ASSERT_TRUE(ui.runNext()) << "the script did not end";
    const bool ranInRoot = fs::exists(driveC() / "proof.txt");
    const std::string second = test::readFile(driveC() / "Lib Two/proof.txt");

    // The same lines without the check do unregister one.dll in C:\.
    test::writeFile(driveC() / "Gate/Unchecked.bat",
                    "cd\\\r\nC:\r\ncd C:\\Gone\\\r\nregsvr32 -u /s one.dll\r\n");
    test::runProgram({"wine", "cmd", "/c", "Unchecked.bat"}, (driveC() / "Gate").string());
    const std::string unchecked =
        fs::exists(driveC() / "proof.txt") ? test::readFile(driveC() / "proof.txt") : "";
    fs::remove(driveC() / "regsvr32.bat");
    fs::remove(driveC() / "proof.txt");

    EXPECT_FALSE(ranInRoot);
    EXPECT_EQ(second, "-u  /s two.dll\r\n/s two.dll\r\n");
    EXPECT_EQ(unchecked, "-u /s one.dll\r\n");
}

// The script's last line removes it, from a package folder with "%", where %~f0 would go wrong in Wine's
// cmd, and cmd says nothing about the file it read from being gone.
TEST_F(WineScriptTest, aScriptRemovesItselfWithoutAnErrorMessage) {
    HOTFIX_REQUIRE_WINE();
    const fs::path package = driveC() / "100%OS% a!b (self)";
    fs::create_directories(package);
    test::writeFile(made(driveC() / "Self Lib/a.dll"), "not a library");
    const auto files = makeFileSystem();
    const auto codePages = makeCodePageCodec();
    test::FakeLauncher notStarted;
    const EngineServices services{"C:\\100%OS% a!b (self)", *files, boxes, notStarted, *codePages};
    RegistrationScript script(Side::Product, services, "/s ");
    ASSERT_TRUE(script.AddLibrary("a.dll", "C:\\Self Lib\\"));
    ASSERT_TRUE(script.AddLibrary("a.dll", "C:\\Self Lib\\"));
    ASSERT_TRUE(script.FinishScript());
    ASSERT_TRUE(fs::exists(package / "Register.bat"));

    const std::string output = (fs::path(WineEnvironment::prefix()) / "self-removal.txt").string();
    EXPECT_EQ(test::runProgram({"wine", "cmd", "/c", "Register.bat"}, package.string(), output), 0);
    EXPECT_FALSE(fs::exists(package / "Register.bat"));
    const std::string said = asciiLowered(test::readFile(output));
    EXPECT_EQ(said.find("not found"), std::string::npos) << said;
    EXPECT_EQ(said.find("cannot"), std::string::npos) << said;
    EXPECT_TRUE(boxes.shown.empty());
}

// Run only as the second installer of the test below, in a process of its own: one install of the package
// the first one is still registering, and no waiting for its script.
TEST(WineSecondInstaller, installsThePackageItIsGiven) {
    const char* package = std::getenv("HOTFIX_SECOND_INSTALLER_PACKAGE");
    if (package == nullptr) {
        GTEST_SKIP() << "started by WineScriptTest.twoInstallerProcessesNeverRewriteARunningScript";
    }
    const auto files = makeFileSystem();
    const auto codePages = makeCodePageCodec();
    test::RecordingMsgBox boxes;
    const auto launcher = makeProcessLauncher();
    const EngineServices services{package, *files, boxes, *launcher, *codePages};
    test::FakeInstallerWindow window;
    window.TxtWinPath = "C:\\windows";
    window.chkCloseAfterInstallation = false;
    ASSERT_TRUE(LoadListFile(Side::Windows, {services.programFolder, *files, boxes, *codePages}, window));
    runInstall(window, services);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back(), messages::hotFixApplied());
}

TEST_F(WineScriptTest, twoInstallerProcessesNeverRewriteARunningScript) {
    HOTFIX_REQUIRE_WINE();
    // regsvr32 waits, as it does on its message boxes, until the test lets it go.
    test::writeFile(made(windows() / "Slow/regsvr32.bat"),
                    "@echo %*>> proof.txt\r\n:wait\r\n@if not exist C:\\go.txt goto wait\r\n");
    const fs::path package = driveC() / "Shared Package";
    test::writeFile(made(package / "Setup/Othr/Slow/s.dll"), "new");
    test::writeFile(made(windows() / "Slow/s.dll"), "old");
    test::writeFile(made(package / "Setup/InstallWinPatch.BLR"), "Slow\\s.dll");

    const auto files = makeFileSystem();

    const auto codePages = makeCodePageCodec();
    PostBox ui;
    WatchedLauncher first(makeProcessLauncher(ui.poster()));
    const EngineServices services{"C:\\Shared Package", *files, boxes, first, *codePages};
    test::FakeInstallerWindow window;
    window.TxtWinPath = "C:\\windows";
    window.chkCloseAfterInstallation = false;
    ASSERT_TRUE(LoadListFile(Side::Windows, {services.programFolder, *files, boxes, *codePages}, window));
    runInstall(window, services);
    ASSERT_EQ(first.started.size(), 1U);
    const std::string running = test::readFile(package / "RegisterWin.bat");
    ASSERT_TRUE(waitFor([&] { return fs::exists(windows() / "Slow/proof.txt"); }))
        << "the script did not start";

    // The second installer is this test program again, in a process of its own, on the same prefix.
    const int second = [&] {
        ::setenv("HOTFIX_SECOND_INSTALLER_PACKAGE", "C:\\Shared Package", 1);
        ::setenv("HOTFIX_WINE_TEST_PREFIX", WineEnvironment::prefix().c_str(), 1);
        const int status = test::runProgram(
            {fs::read_symlink("/proc/self/exe").string(), "--gtest_filter=WineSecondInstaller.*"});
        ::unsetenv("HOTFIX_SECOND_INSTALLER_PACKAGE");
        ::unsetenv("HOTFIX_WINE_TEST_PREFIX");
        return status;
    }();
    EXPECT_EQ(second, 0);
    const auto proof = [&] {
        return test::readFile(windows() / "Slow/proof.txt");
    };
    EXPECT_TRUE(waitFor([&] { return proof() == "-u /s s.dll\r\n-u /s s.dll\r\n"; }))
        << "the second script did not start: " << proof();
    EXPECT_EQ(test::readFile(package / "RegisterWin.bat"), running);
    EXPECT_TRUE(fs::exists(package / "RegisterWin_2.bat"));

    test::writeFile(driveC() / "go.txt", "go");
    ASSERT_TRUE(ui.runNext()) << "the first script did not end";
    EXPECT_FALSE(fs::exists(package / "RegisterWin.bat"));
    // The second script ends on its own; its installer had ended before it, and the recorder took the
    // script's own end away, so its file stays in this throw-away prefix. (Its last regsvr32 line and the
    // first one's may both append to proof.txt at once, where Wine's ">>" can lose one: not counted.)
}

} // namespace
} // namespace hotfix::posix
