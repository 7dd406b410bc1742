#include "support/code_pages.hpp"
#include "support/fake_run_lock.hpp"
#include "support/forwarding_file_system.hpp"
#include "ui/main_window/box_answerer.hpp"
#include "ui/main_window/qt_msg_box.hpp"
#include "ui/main_window/window_fixture.hpp"
#include "ui/widgets/list_box.hpp"

#include <chrono>

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>

namespace hotfix::test {
namespace {

// One whole install from the window, on a real package folder and a real product root, with the real
// message boxes answered as a user would.
class InstallTest : public WindowTest {
protected:
    InstallTest() {
        package.write("Setup/InstallPatch.BLR", "Vantrel\\bin\\engine.dll, Vantrel\\bin\\notes.txt");
        package.write("Setup/Vtrl/Vantrel/bin/engine.dll", "new engine");
        package.write("Setup/Vtrl/Vantrel/bin/notes.txt", "new notes");
        machine.write("Vantrel/bin/engine.dll", "old engine");
        // Joined as Windows joins it: the root's last folder name is what follows its last "\".
        registry.set(kProductKey, "QXINSTALLDIR", machine.str() + "\\Vantrel");
    }

    void install() {
        open(&box);
        box.setOwner(window.get());
        showAndActivate();
        QTest::mouseClick(window->cmdInstallPatch, Qt::LeftButton);
    }

    TempDir machine;
    BoxAnswerer answerer;
    QtMsgBox box;
};

TEST_F(InstallTest, installButtonReplacesAndBacksUpThenAsksToCloseAndNoKeepsTheWindow) {
    answerer.answerNext(QMessageBox::Ok);
    answerer.answerNext(QMessageBox::No);
    TempDir records;
    recordFolder = records.str();
    install();

    EXPECT_EQ(machine.read("Vantrel/bin/engine.dll"), "new engine");
    EXPECT_EQ(machine.read("Vantrel/bin/engine.dll_backup"), "old engine");
    EXPECT_EQ(machine.read("Vantrel/bin/notes.txt"), "new notes");
    ASSERT_EQ(answerer.seen.size(), 2U);
    EXPECT_EQ(answerer.seen[0].text, "Sucessfully Applied the HotFix");
    EXPECT_EQ(answerer.seen[0].title, "HotFix Installer");
    EXPECT_EQ(answerer.seen[0].icon, QMessageBox::Information);
    EXPECT_EQ(answerer.seen[1].text, "Are you sure, You want to close Installer");
    EXPECT_EQ(answerer.seen[1].defaultButton, QMessageBox::Yes);

    EXPECT_EQ(endRequests, 0);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->LstInstFileName->count(), 2);
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);

    // The window's install is recorded, so that a restore can undo it.
    const auto recorded = filesBelow(records.path());
    ASSERT_EQ(recorded.size(), 1U);
    EXPECT_THAT(recorded.begin()->second, ::testing::HasSubstr("\nend install\tsucceeded\t.\n"));
    EXPECT_THAT(recorded.begin()->second, ::testing::HasSubstr("engine.dll_backup\t"));
}

TEST_F(InstallTest, whileAnotherRunHoldsTheMachineTheWindowSaysSoAndTouchesNothing) {
    // Another install or restore holds the machine, from a deployment tool or another window.
    FakeRunLock held;
    held.heldElsewhere = true;
    runLock = &held;
    answerer.answerNext(QMessageBox::Ok);
    install();

    EXPECT_EQ(machine.read("Vantrel/bin/engine.dll"), "old engine");
    EXPECT_FALSE(machine.exists("Vantrel/bin/engine.dll_backup"));
    ASSERT_EQ(answerer.seen.size(), 1U);
    EXPECT_THAT(
        answerer.seen[0].text.toStdString(),
        ::testing::HasSubstr("Another install or restore of a HotFix is running on this workstation"));
    EXPECT_EQ(answerer.seen[0].icon, QMessageBox::Critical);
}

TEST_F(InstallTest, failedInstallSaysSoAndLeavesTheInstalledFiles) {
    std::filesystem::remove(package.path() / "Setup/Vtrl/Vantrel/bin/engine.dll");
    install();

    EXPECT_EQ(machine.read("Vantrel/bin/engine.dll"), "old engine");
    ASSERT_FALSE(answerer.seen.empty());
    EXPECT_EQ(answerer.seen.back().text, " HotFix Failed, Please try again  ");
    EXPECT_EQ(answerer.seen.back().icon, QMessageBox::Critical);
    EXPECT_EQ(endRequests, 0);
}

TEST_F(InstallTest, dateSuffixTickedBeforeTheInstallNamesTheBackup) {
    answerer.answerNext(QMessageBox::Ok);
    answerer.answerNext(QMessageBox::Yes);
    now = {2005, 5, 1, 14, 59};
    open(&box);
    box.setOwner(window.get());
    showAndActivate();
    QTest::mouseClick(window->ChkAppedToFile, Qt::LeftButton);
    now = {2005, 5, 1, 15, 10};
    QTest::mouseClick(window->cmdInstallPatch, Qt::LeftButton);

    EXPECT_EQ(machine.read("Vantrel/bin/engine.dll-2005.5.1.14.59"), "old engine");
    EXPECT_EQ(endRequests, 1);
}

// The real file system, with one slow copy: the first file takes longer than a user waits without news.
// The time passes on the window's steady clock, not on the test's.
class SlowFirstCopy final : public test::ForwardingFileSystem {
public:
    SlowFirstCopy(FileSystem& real, std::chrono::steady_clock::time_point& now)
        : ForwardingFileSystem(real)
        , m_now(now) {}
    FileResult copyFileToNew(std::string_view from, std::string_view to) override {
        if (!m_slowed) {
            m_slowed = true;
            m_now += std::chrono::milliseconds(1100);
        }
        return real().copyFileToNew(from, to);
    }

private:
    std::chrono::steady_clock::time_point& m_now;
    bool m_slowed = false;
};

TEST_F(InstallTest, longInstallShowsHowManyFilesAreDone) {
    package.write("Setup/InstallPatch.BLR",
                  "Vantrel\\bin\\engine.dll, Vantrel\\bin\\notes.txt, Vantrel\\bin\\more.txt");
    package.write("Setup/Vtrl/Vantrel/bin/more.txt", "more");
    std::chrono::steady_clock::time_point steadyNow;
    SlowFirstCopy slow(*fs, steadyNow);
    window = std::make_unique<FrmInstallPatch>(
        MainWindowServices{package.str(), slow, test::machineCodePages(), box, registry, settings, launcher,
                           folders, [this] { return now; }, [this] { ++endRequests; },
                           [&steadyNow] {
                               return steadyNow;
                           }});
    window->Form_Load();
    box.setOwner(window.get());
    showAndActivate();

    QString progressText;
    answerer.whileOpen([this, &progressText](QMessageBox&) {
        if (const auto* progress = window->findChild<QProgressDialog*>()) {
            progressText = progress->isVisible() ? progress->labelText() : QStringLiteral("hidden");
        }
    });
    answerer.answerNext(QMessageBox::Ok);
    answerer.answerNext(QMessageBox::No);
    QTest::mouseClick(window->cmdInstallPatch, Qt::LeftButton);

    EXPECT_EQ(progressText, "3 of 3 files done");
    EXPECT_EQ(answerer.seen.at(0).text, "Sucessfully Applied the HotFix");
    EXPECT_EQ(machine.read("Vantrel/bin/more.txt"), "more");
    // Gone with the run: it changes nothing else.
    EXPECT_EQ(window->findChild<QProgressDialog*>(), nullptr);
}

} // namespace
} // namespace hotfix::test
