#include "box_answerer.hpp"
#include "ui/main_window/list_box.hpp"
#include "ui/main_window/qt_msg_box.hpp"
#include "window_fixture.hpp"

#include <thread>

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

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
        registry.set(kProductKey, "QXINSTALLDIR", machine.str() + "/Vantrel");
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

TEST_F(InstallTest, installButton_replacesAndBacksUp_thenAsksToClose_noKeepsTheWindow) {
    answerer.answerNext(QMessageBox::Ok);
    answerer.answerNext(QMessageBox::No);
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
}

TEST_F(InstallTest, failedInstall_saysSo_andLeavesTheInstalledFiles) {
    std::filesystem::remove(package.path() / "Setup/Vtrl/Vantrel/bin/engine.dll");
    install();

    EXPECT_EQ(machine.read("Vantrel/bin/engine.dll"), "old engine");
    ASSERT_FALSE(answerer.seen.empty());
    EXPECT_EQ(answerer.seen.back().text, " HotFix Failed, Please try again  ");
    EXPECT_EQ(answerer.seen.back().icon, QMessageBox::Critical);
    EXPECT_EQ(endRequests, 0);
}

TEST_F(InstallTest, dateSuffix_tickedBeforeTheInstall_namesTheBackup) {
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
class SlowFirstCopy final : public FileSystem {
public:
    explicit SlowFirstCopy(FileSystem& real)
        : m_real(real) {}
    bool fileExists(std::string_view path) override { return m_real.fileExists(path); }
    bool folderExists(std::string_view path) override { return m_real.folderExists(path); }
    std::optional<FileAttributes> attributes(std::string_view path) override {
        return m_real.attributes(path);
    }
    bool setAttributes(std::string_view path, FileAttributes bits) override {
        return m_real.setAttributes(path, bits);
    }
    bool clearAttributes(std::string_view path) override { return m_real.clearAttributes(path); }
    bool copyFile(std::string_view from, std::string_view to) override {
        if (!m_slowed) {
            m_slowed = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        }
        return m_real.copyFile(from, to);
    }
    bool deleteFile(std::string_view path) override { return m_real.deleteFile(path); }
    bool createTextFile(std::string_view path) override { return m_real.createTextFile(path); }
    std::optional<std::string> readTextFile(std::string_view path) override {
        return m_real.readTextFile(path);
    }
    bool appendLines(std::string_view path, std::span<const std::string> lines) override {
        return m_real.appendLines(path, lines);
    }
    std::optional<std::string> scriptText(std::string_view text) override { return m_real.scriptText(text); }
    std::optional<std::string> identity(std::string_view path) override { return m_real.identity(path); }

private:
    FileSystem& m_real;
    bool m_slowed = false;
};

TEST_F(InstallTest, longInstall_showsHowManyFilesAreDone) {
    package.write("Setup/InstallPatch.BLR",
                  "Vantrel\\bin\\engine.dll, Vantrel\\bin\\notes.txt, Vantrel\\bin\\more.txt");
    package.write("Setup/Vtrl/Vantrel/bin/more.txt", "more");
    SlowFirstCopy slow(*fs);
    window = std::make_unique<FrmInstallPatch>(MainWindowServices{
        package.str(), slow, box, registry, settings, launcher, folders, [this] { return now; },
        [this] {
            ++endRequests;
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
