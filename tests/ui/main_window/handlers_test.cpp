#include "support/code_pages.hpp"
#include "ui/main_window/box_answerer.hpp"
#include "ui/main_window/qt_msg_box.hpp"
#include "ui/main_window/window_fixture.hpp"
#include "ui/widgets/frame.hpp"
#include "ui/widgets/list_box.hpp"

#include <QCheckBox>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

namespace hotfix::test {
namespace {

using HandlersTest = WindowTest;

const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);

QColor colourOf(const QWidget* control) {
    const auto role = qobject_cast<const QLineEdit*>(control) ? QPalette::Text : QPalette::WindowText;
    return control->palette().color(QPalette::Active, role);
}

QStringList blueControls(const FrmInstallPatch& w) {
    QStringList blue;
    for (const QWidget* control : w.findChildren<QWidget*>()) {
        if (colourOf(control) == kBlue) {
            blue << control->objectName();
        }
    }
    return blue;
}

// The pointer's moves come through the window as the window system hands them over, without moving the
// real pointer: on a real display a warped pointer's moves arrive late, and on a busy machine after the
// next move, which would take the highlight back.
void moveOver(QWidget* control, QPoint at = {-1, -1}) {
    const QPoint local = at == QPoint(-1, -1) ? control->rect().center() : at;
    QWidget* window = control->window();
    QTest::mouseMove(window->windowHandle(), control->mapTo(window, local));
    QApplication::processEvents();
}

// The real pointer waits in a corner of the screen, away from the window, so that no move of its own
// reaches the window while a test moves over the controls.
void parkPointer() {
    QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight());
    QTest::qWait(50);
}

TEST_F(HandlersTest, dateSuffixComesFromTheClockWhenTickedAndTheCaptionComesBackWhenCleared) {
    FrmInstallPatch& w = open();
    showAndActivate();

    // A user's click runs the handler as setting the value from code does.
    QTest::mouseClick(w.ChkAppedToFile, Qt::LeftButton);
    EXPECT_TRUE(w.ChkAppedToFile->isChecked());
    EXPECT_EQ(w.ChkAppedToFile->text(), "-2005.5.1.9.7");
    EXPECT_FALSE(w.txtAppendToFile->isEnabled());
    EXPECT_EQ(w.txtAppendToFile->text(), "backup");

    // Kept from the moment of ticking: a later install, or ticking a ticked box from code, renews nothing.
    now = {2005, 5, 1, 15, 10};
    w.tickAppendDate();
    EXPECT_EQ(w.appendDateCaption(), "-2005.5.1.9.7");

    w.ChkAppedToFile->setChecked(false);
    EXPECT_EQ(w.ChkAppedToFile->text(), "Suffix Today's Date to Old Files");
    EXPECT_TRUE(w.txtAppendToFile->isEnabled());
    EXPECT_EQ(w.txtAppendToFile->text(), "backup");

    now = {2005, 1, 1, 0, 0};
    w.tickAppendDate(); // from code, as the checks do
    EXPECT_TRUE(w.ChkAppedToFile->isChecked());
    EXPECT_EQ(w.ChkAppedToFile->text(), "-2005.1.1.0.0");
}

TEST_F(HandlersTest, hoverMovesTheHighlightAndOnlyTheBareSurfaceClearsIt) {
    writeLists("bin\\a.dll", "sys\\b.dll");
    FrmInstallPatch& w = open();
    showAndActivate();
    parkPointer();
    EXPECT_TRUE(blueControls(w).isEmpty());
    EXPECT_EQ(colourOf(w.OptWindows), kBlack);

    moveOver(w.TxtPath);
    EXPECT_EQ(blueControls(w), QStringList{"TxtPath"});
    EXPECT_TRUE(w.HighlightOn);

    moveOver(w.TxtWinPath);
    EXPECT_EQ(blueControls(w), QStringList{"TxtWinPath"});
    moveOver(w.TxtWinPath, {5, 5});
    EXPECT_EQ(blueControls(w), QStringList{"TxtWinPath"});

    // A check box passes its moves on to the window; the highlight must stay on the box.
    moveOver(w.chkShowAfterReg);
    EXPECT_EQ(blueControls(w), QStringList{"chkShowAfterReg"});
    moveOver(w.OptVantrel);
    EXPECT_EQ(blueControls(w), QStringList{"OptVantrel"});

    // Lists, buttons, labels and the inside of a frame change nothing.
    moveOver(w.LstInstFileName);
    moveOver(w.cmdInstallPatch);
    moveOver(w.lblVtrlPath);
    moveOver(w.Frame1, {5, w.Frame1->height() - 5});
    EXPECT_EQ(blueControls(w), QStringList{"OptVantrel"});
    EXPECT_TRUE(w.HighlightOn);

    // Between cmdAbout and the lists: bare window.
    moveOver(&w, {w.FrmVantrel->geometry().right() + 3, w.height() - 4});
    EXPECT_TRUE(blueControls(w).isEmpty());
    EXPECT_FALSE(w.HighlightOn);
    moveOver(&w, {w.FrmVantrel->geometry().right() + 4, w.height() - 3});
    EXPECT_FALSE(w.HighlightOn);
}

TEST_F(HandlersTest, hoverIgnoresADisabledControl) {
    writeLists(nullptr, "sys\\b.dll");
    FrmInstallPatch& w = open();
    showAndActivate();
    parkPointer();
    moveOver(w.TxtWinPath);
    moveOver(w.TxtPath);
    EXPECT_EQ(blueControls(w), QStringList{"TxtWinPath"});
}

TEST_F(HandlersTest, closeButtonAsksFirstAndOnlyYesEndsTheProgram) {
    writeLists("bin\\a.dll", nullptr);
    FrmInstallPatch& w = open();
    showAndActivate();
    parkPointer();
    moveOver(w.chkRegisterDlls);
    w.TxtPath->setText("D:\\Suite");

    msgBox.answerNext(MsgResult::No);
    QTest::mouseClick(w.cmdCancel, Qt::LeftButton);
    ASSERT_EQ(msgBox.shown.size(), 1U);
    EXPECT_EQ(msgBox.shown[0], (MsgBoxRequest{"Are you sure, You want to close Installer", MsgButtons::YesNo,
                                              MsgIcon::Information, std::string("Close HotFix Installer")}));
    EXPECT_EQ(endRequests, 0);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.TxtPath->text(), "D:\\Suite");
    EXPECT_EQ(w.LstInstFileName->count(), 1);
    EXPECT_EQ(blueControls(w), QStringList{"chkRegisterDlls"});
    EXPECT_TRUE(w.chkCloseAfterInstallation->isChecked());

    msgBox.answerNext(MsgResult::Yes);
    QTest::mouseClick(w.cmdCancel, Qt::LeftButton);
    EXPECT_EQ(endRequests, 1);
}

TEST_F(HandlersTest, closeBoxAsksOnceAndNoKeepsTheWindowOpen) {
    FrmInstallPatch& w = open();
    showAndActivate();

    msgBox.answerNext(MsgResult::No);
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(endRequests, 0);

    msgBox.answerNext(MsgResult::Yes);
    EXPECT_TRUE(w.close());
    EXPECT_EQ(endRequests, 1);
    EXPECT_EQ(msgBox.shown.size(), 2U);

    // Once the user has said Yes, no request to close asks again.
    w.show();
    EXPECT_TRUE(w.close());
    EXPECT_EQ(msgBox.shown.size(), 2U);
}

TEST_F(HandlersTest, closeBoxYesEndsTheEventLoopWithoutAskingAgain) {
    BoxAnswerer answerer;
    answerer.answerNext(QMessageBox::Yes);
    QtMsgBox realBox;
    window = std::make_unique<FrmInstallPatch>(MainWindowServices{
        package.str(), *fs, test::machineCodePages(), realBox, registry, settings, launcher, folders});
    window->Form_Load();
    realBox.setOwner(window.get());
    window->show();

    QTimer::singleShot(0, window.get(), [this] { window->close(); });
    EXPECT_EQ(QApplication::exec(), 0);
    ASSERT_EQ(answerer.seen.size(), 1U);
    EXPECT_EQ(answerer.seen[0].title, "Close HotFix Installer");
    EXPECT_FALSE(window->isVisible());
}

TEST_F(HandlersTest, optionsSwitchTheVisibleLists) {
    writeLists("bin\\a.dll", "sys\\b.dll");
    FrmInstallPatch& w = open();
    showAndActivate();

    QTest::mouseClick(w.OptWindows, Qt::LeftButton);
    EXPECT_TRUE(w.OptWindows->isChecked());
    EXPECT_FALSE(w.OptVantrel->isChecked());
    EXPECT_TRUE(w.LstWinInstFileName->isVisible());
    EXPECT_FALSE(w.LstInstFileName->isVisible());

    // Clicking the selected option again raises nothing new.
    QTest::mouseClick(w.OptWindows, Qt::LeftButton);
    EXPECT_TRUE(w.FrmWindows->isVisible());

    w.OptVantrel->setChecked(true); // from code, as a click
    EXPECT_TRUE(w.FrmVantrel->isVisible());
    EXPECT_FALSE(w.FrmWindows->isVisible());
    EXPECT_FALSE(w.OptWindows->isChecked());
}

TEST_F(HandlersTest, focusFlagsNameTheRootBoxFocusedLast) {
    writeLists("bin\\a.dll", "sys\\b.dll");
    FrmInstallPatch& w = open();
    EXPECT_FALSE(TxtPathHadFocus);
    EXPECT_FALSE(TxtWinPathHadFocus);
    showAndActivate();

    w.TxtWinPath->setFocus();
    EXPECT_TRUE(TxtWinPathHadFocus);
    EXPECT_FALSE(TxtPathHadFocus);
    // The Browse button takes the focus; the flags still name the root box.
    w.cmdBrowse->setFocus();
    EXPECT_TRUE(TxtWinPathHadFocus);
    w.TxtPath->setFocus();
    EXPECT_TRUE(TxtPathHadFocus);
    EXPECT_FALSE(TxtWinPathHadFocus);
}

} // namespace
} // namespace hotfix::test
