#include "platform/folder_browser.hpp"
#include "support/fake_folders.hpp"
#include "support/recording_msg_box.hpp"
#include "ui/dialogs/frm_select_dir.hpp"
#include "ui/dialogs/modal.hpp"
#include "ui/main_window/box_answerer.hpp"
#include "ui/main_window/focus_flags.hpp"
#include "ui/main_window/qt_msg_box.hpp"
#include "ui/main_window/window_fixture.hpp"
#include "ui/widgets/dir_list_box.hpp"

#include <map>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace hotfix::test {
namespace {

// A machine with drives C: and D:, a Z: without a medium and a Y: that fails otherwise.
FakeFolders someFolders() {
    FakeFolders folders;
    folders.driveList = {{'C', "C:\\"}, {'D', "D:\\"}, {'Y', "Y:\\"}, {'Z', "Z:\\"}};
    folders.failing = {{'Z', DriveError{68, "Device unavailable"}}, {'Y', DriveError{71, "Disk not ready"}}};
    folders.tree = {
        {"C:\\", {"Program Files", "Windows"}},
        {"C:\\Program Files", {"Common Files", "Vantrel"}},
        {"C:\\Program Files\\Vantrel", {"bin", "help"}},
        {"D:\\", {"Tools"}},
    };
    folders.current = "C:\\Program Files";
    return folders;
}

// The picker on its own, over a stand-in for the main window.
class SelectDirTest : public ::testing::Test {
protected:
    SelectDirTest() {
        mainWindow.resize(465, 360);
        TxtPath = new QLineEdit(QStringLiteral("C:\\old"), &mainWindow);
        TxtWinPath = new QLineEdit(QStringLiteral("C:\\oldwin"), &mainWindow);
        mainWindow.show();
    }

    FrmSelectDir& picker() {
        if (!m_picker) {
            m_picker = std::make_unique<FrmSelectDir>(
                RootBoxes{mainWindow, *TxtPath, *TxtWinPath, pathFlag, winFlag},
                SelectDirServices{folders, *pickerBox, settings, "D:\\Fix"});
        }
        return *m_picker;
    }

    // Opens the picker modally, does action in it, and returns once the picker has gone.
    void openAnd(const std::function<void(FrmSelectDir&)>& action) {
        FrmSelectDir& dialog = picker();
        whenModal([&dialog, action](QWidget& modal) {
            ASSERT_EQ(&modal, &dialog);
            action(dialog);
        });
        dialog.showModal();
    }

    // Highlights the row of a folder, as a click or the arrow keys do.
    void highlight(const std::string& path) {
        DirListBox& list = *picker().DirSelect;
        for (int row = 0; row < list.count(); ++row) {
            if (list.rowPath(row) == path) {
                list.setCurrentRow(row);
                return;
            }
        }
        FAIL() << "no row for " << path;
    }

    void open(const std::string& path) {
        highlight(path);
        QTest::keyClick(picker().DirSelect, Qt::Key_Return);
    }

    void selectDrive(char letter) {
        QComboBox& drives = *picker().DriveSelect;
        drives.setCurrentIndex(drives.findText(QString::fromLatin1(std::string{letter, ':'}.c_str())));
    }

    std::string savedSetting() const {
        const auto found = settings.values.find({"D:\\Fix", "PatchVantrel", "FrmInstallPatchTxtPath"});
        return found == settings.values.end() ? "<none>" : found->second;
    }

    // The application comes before any widget.
    QApplication& app = testApplication();
    QWidget mainWindow;
    QLineEdit* TxtPath = nullptr;
    QLineEdit* TxtWinPath = nullptr;
    bool pathFlag = false;
    bool winFlag = false;
    FakeFolders folders = someFolders();
    RecordingMsgBox msgBox;
    MsgBox* pickerBox = &msgBox;
    MemorySettings settings;

private:
    std::unique_ptr<FrmSelectDir> m_picker;
};

TEST_F(SelectDirTest, captionFollowsTheFocusFlagsAndStaysWhenNeitherIsSet) {
    std::vector<QString> captions;
    const auto note = [&captions](FrmSelectDir& dialog) {
        captions.push_back(dialog.windowTitle());
        dialog.CmdCancel->click();
    };
    openAnd(note);
    pathFlag = true;
    openAnd(note);
    pathFlag = false;
    winFlag = true;
    openAnd(note);
    winFlag = false;
    openAnd(note);

    EXPECT_EQ(captions, (std::vector<QString>{QStringLiteral(" Select Directory"),
                                              QStringLiteral(" Select Vantrel Root Folder "),
                                              QStringLiteral(" Select Windows Root Folder "),
                                              QStringLiteral(" Select Windows Root Folder ")}));
}

TEST_F(SelectDirTest, okPutsTheFolderIntoTheRootThatHadTheFocusAndSavesOnlyTheProductRoot) {
    pathFlag = true;
    openAnd([this](FrmSelectDir& dialog) {
        open("C:\\Program Files\\Vantrel");
        dialog.CmdOk->click();
    });
    EXPECT_FALSE(picker().isVisible());
    EXPECT_EQ(TxtPath->text(), QStringLiteral("C:\\Program Files\\Vantrel"));
    EXPECT_EQ(TxtWinPath->text(), QStringLiteral("C:\\oldwin"));
    EXPECT_EQ(savedSetting(), "C:\\Program Files\\Vantrel");

    // The Windows root goes into its box but not into the setting that start-up offers as the product root.
    pathFlag = false;
    winFlag = true;
    openAnd([this](FrmSelectDir& dialog) {
        open("C:\\");
        open("C:\\Windows");
        dialog.CmdOk->click();
    });
    EXPECT_EQ(TxtWinPath->text(), QStringLiteral("C:\\Windows"));
    EXPECT_EQ(TxtPath->text(), QStringLiteral("C:\\Program Files\\Vantrel"));
    EXPECT_EQ(savedSetting(), "C:\\Program Files\\Vantrel");

    winFlag = false;
    openAnd([](FrmSelectDir& dialog) { dialog.CmdOk->click(); });
    EXPECT_EQ(TxtPath->text(), QStringLiteral("C:\\Program Files\\Vantrel"));
    EXPECT_EQ(TxtWinPath->text(), QStringLiteral("C:\\Windows"));
    EXPECT_EQ(savedSetting(), "C:\\Program Files\\Vantrel");
}

TEST_F(SelectDirTest, chosenFolderIsTheOneOpenedLastNotTheOneHighlighted) {
    pathFlag = true;
    openAnd([this](FrmSelectDir& dialog) {
        open("C:\\Program Files\\Vantrel");
        highlight("C:\\Program Files\\Vantrel\\bin");
        // Enter in the list opens the folder; it must not press OK as well.
        open("C:\\Program Files\\Vantrel\\help");
        EXPECT_TRUE(dialog.isVisible());
        highlight("C:\\Program Files");
        dialog.CmdOk->click();
    });
    EXPECT_EQ(TxtPath->text(), QStringLiteral("C:\\Program Files\\Vantrel\\help"));
}

TEST_F(SelectDirTest, folderListShowsThePathDownThenTheSubfoldersAndARootEndsInABackslash) {
    pathFlag = true;
    DirListBox& list = *picker().DirSelect;
    std::vector<std::string> rows;
    for (int row = 0; row < list.count(); ++row) {
        rows.push_back(list.rowPath(row));
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"C:\\", "C:\\Program Files", "C:\\Program Files\\Common Files",
                                              "C:\\Program Files\\Vantrel"}));
    EXPECT_EQ(list.currentRow(), 1);

    openAnd([this](FrmSelectDir& dialog) {
        open("C:\\");
        dialog.CmdOk->click();
    });
    EXPECT_EQ(TxtPath->text(), QStringLiteral("C:\\"));
}

TEST_F(SelectDirTest, cancelEscAndCloseBoxChangeNothingAndOnlyTheCloseBoxEndsThePicker) {
    pathFlag = true;
    openAnd([this](FrmSelectDir& dialog) {
        open("C:\\Program Files\\Vantrel");
        dialog.CmdCancel->click();
    });
    EXPECT_FALSE(picker().closedByCloseBox());
    openAnd([](FrmSelectDir& dialog) { pressKey(dialog, Qt::Key_Escape); });
    EXPECT_FALSE(picker().closedByCloseBox());
    openAnd([](FrmSelectDir& dialog) { dialog.close(); });
    EXPECT_TRUE(picker().closedByCloseBox());
    EXPECT_FALSE(picker().isVisible());

    EXPECT_EQ(TxtPath->text(), QStringLiteral("C:\\old"));
    EXPECT_EQ(TxtWinPath->text(), QStringLiteral("C:\\oldwin"));
    EXPECT_TRUE(settings.values.empty());
}

TEST_F(SelectDirTest, driveAndFolderAreKeptFromOneOpeningToTheNext) {
    openAnd([this](FrmSelectDir& dialog) {
        selectDrive('D');
        open("D:\\Tools");
        dialog.CmdCancel->click();
    });
    openAnd([](FrmSelectDir& dialog) {
        EXPECT_EQ(dialog.DriveSelect->currentText(), QStringLiteral("D:"));
        EXPECT_EQ(dialog.DirSelect->path(), "D:\\Tools");
        dialog.CmdOk->click();
    });
}

TEST_F(SelectDirTest, startedFromANetworkShareOpensOnTheFirstDriveWithBothListsAgreeing) {
    folders.current = "\\\\server\\fixes\\2005";
    EXPECT_EQ(picker().DriveSelect->currentText(), QStringLiteral("C:"));
    EXPECT_EQ(picker().DirSelect->path(), "C:\\");
}

TEST_F(SelectDirTest, unavailableDriveIsReportedAndTheDriveListGoesBackToTheFolderListsDrive) {
    pathFlag = true;
    openAnd([this](FrmSelectDir& dialog) {
        open("C:\\Program Files\\Vantrel");
        selectDrive('Z');
        dialog.CmdOk->click();
    });

    ASSERT_EQ(msgBox.shown.size(), 1U);
    EXPECT_EQ(msgBox.shown[0],
              (MsgBoxRequest{"Error Number :68\r\nDescription : Device unavailable", MsgButtons::Ok,
                             MsgIcon::Critical, std::string("Device unavailable")}));
    EXPECT_EQ(picker().DriveSelect->currentText(), QStringLiteral("C:"));
    // The second change, back to C:, keeps the folder the user had opened.
    EXPECT_EQ(picker().DirSelect->path(), "C:\\Program Files\\Vantrel");
    EXPECT_EQ(TxtPath->text(), QStringLiteral("C:\\Program Files\\Vantrel"));
}

TEST_F(SelectDirTest, unavailableDriveIsReportedInABoxCentredOnThePickerNotOnTheMainWindow) {
    // The program's own box, owned by the main window as the program's boxes are.
    QtMsgBox realBox(&mainWindow);
    pickerBox = &realBox;
    BoxAnswerer answerer;
    QPoint boxCentre;
    QPoint pickerCentre;
    openAnd([&](FrmSelectDir& dialog) {
        answerer.whileOpen([&](QMessageBox& shown) {
            boxCentre = shown.frameGeometry().center();
            pickerCentre = dialog.frameGeometry().center();
        });
        selectDrive('Z');
        dialog.CmdCancel->click();
    });

    ASSERT_EQ(answerer.seen.size(), 1U);
    EXPECT_EQ(answerer.seen[0].text, QStringLiteral("Error Number :68\nDescription : Device unavailable"));
    EXPECT_LE((boxCentre - pickerCentre).manhattanLength(), 2);
    // The two windows stand apart, so a box centred on the main window would be far from the picker's centre.
    EXPECT_GT((mainWindow.frameGeometry().center() - pickerCentre).manhattanLength(), 40);
}

TEST_F(SelectDirTest, driveChangeMovesTheFolderListAndOtherFailuresAreIgnored) {
    selectDrive('D');
    EXPECT_EQ(picker().DirSelect->path(), "D:\\");
    EXPECT_EQ(picker().DirSelect->rowPath(1), "D:\\Tools");

    selectDrive('Y');
    EXPECT_TRUE(msgBox.shown.empty());
    EXPECT_EQ(picker().DriveSelect->currentText(), QStringLiteral("Y:"));
    EXPECT_EQ(picker().DirSelect->path(), "D:\\");

    // Back on the process's own drive, the list is at the process's folder there.
    selectDrive('C');
    EXPECT_EQ(picker().DirSelect->path(), "C:\\Program Files");
}

TEST_F(SelectDirTest, firstPlaceIsCentredVerticallyAndLeftOfTheRightEdgeByHalfOfBothWidths) {
    const QPoint placed = picker().pos();
    picker().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker()));
    // Placed before its first show, with its frame still unknown, it stands where its real frame puts it.
    const QRect screen = mainWindow.screen()->geometry();
    const QSize outer = picker().frameGeometry().size();
    const double left = screen.width() - (outer.width() / 2.0 + mainWindow.frameGeometry().width() / 2.0);
    const double top = screen.height() / 2.0 - outer.height() / 2.0;
    EXPECT_NEAR(placed.x(), screen.x() + left, 1.0);
    EXPECT_NEAR(placed.y(), screen.y() + top, 1.0);
    EXPECT_EQ(picker().pos(), placed);
    EXPECT_EQ(picker().size(), QSize(251, 320));
}

// Through the main window's Browse button.
class BrowseTest : public WindowTest {
protected:
    FrmSelectDir* currentPicker() { return window->findChild<FrmSelectDir*>(); }

    void browse(const std::function<void(FrmSelectDir&)>& action) {
        whenModal([this, action](QWidget& modal) {
            // While the picker is open, the main window shows the hourglass.
            EXPECT_EQ(window->cursor().shape(), Qt::WaitCursor);
            auto* dialog = qobject_cast<FrmSelectDir*>(&modal);
            ASSERT_NE(dialog, nullptr);
            action(*dialog);
        });
        window->cmdBrowse->click();
    }

    void SetUp() override {
        writeLists("a\\a.dll", "b\\b.dll");
        open();
        showAndActivate();
    }
    void TearDown() override {
        TxtPathHadFocus = false;
        TxtWinPathHadFocus = false;
    }
};

TEST_F(BrowseTest, pickerKeepsItsStateBetweenOpeningsUntilItsCloseBoxEndsIt) {
    TxtPathHadFocus = true;
    QPoint firstPlace;
    browse([&firstPlace](FrmSelectDir& dialog) {
        firstPlace = dialog.pos();
        dialog.move(dialog.pos() + QPoint(-40, 10));
        dialog.CmdOk->click();
    });
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    FrmSelectDir* first = currentPicker();
    ASSERT_NE(first, nullptr);
    const QPoint movedPlace = first->pos();
    EXPECT_EQ(window->TxtPath->text(), QStringLiteral("C:\\"));

    TxtPathHadFocus = false;
    TxtWinPathHadFocus = true;
    browse([&](FrmSelectDir& dialog) {
        EXPECT_EQ(&dialog, first);
        EXPECT_EQ(dialog.pos(), movedPlace);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral(" Select Windows Root Folder "));
        dialog.close();
    });
    EXPECT_EQ(currentPicker(), nullptr);
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);

    // Neither box has had the focus only while the focus is elsewhere: on a real display the main window,
    // active again, gives it back to the control that had it, and a text box that gets it sets its flag.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->cmdInstallPatch->setFocus();
    QApplication::processEvents();
    TxtPathHadFocus = false;
    TxtWinPathHadFocus = false;
    browse([&](FrmSelectDir& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral(" Select Directory"));
        EXPECT_EQ(dialog.pos(), firstPlace);
        dialog.CmdCancel->click();
    });
    EXPECT_NE(currentPicker(), nullptr);
}

} // namespace
} // namespace hotfix::test
