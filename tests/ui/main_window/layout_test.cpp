#include "ui/main_window/window_fixture.hpp"
#include "ui/widgets/frame.hpp"
#include "ui/widgets/list_box.hpp"
#include "ui/widgets/program_font.hpp"
#include "ui/widgets/wrapping_buttons.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

namespace hotfix::test {
namespace {

using LayoutTest = WindowTest;

QStringList tabWalk(QWidget* start, int steps) {
    start->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    return visited;
}

TEST_F(LayoutTest, createdWindowShowsProductFrameAndDefaults) {
    writeLists("bin\\a.dll", "sys\\b.dll");
    FrmInstallPatch& w = open();

    EXPECT_EQ(w.windowTitle(), " HotFix Installer");
    EXPECT_EQ(w.size(), QSize(465, 360));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(w.windowFlags() & Qt::WindowCloseButtonHint);

    EXPECT_TRUE(w.FrmVantrel->isVisibleTo(&w));
    EXPECT_FALSE(w.FrmWindows->isVisibleTo(&w));
    EXPECT_EQ(w.FrmVantrel->geometry(), w.FrmWindows->geometry());
    EXPECT_TRUE(w.OptVantrel->isChecked());
    EXPECT_FALSE(w.OptWindows->isChecked());

    EXPECT_EQ(w.txtAppendToFile->text(), "backup");
    EXPECT_TRUE(w.txtAppendToFile->isEnabled());
    EXPECT_FALSE(w.ChkAppedToFile->isChecked());
    EXPECT_EQ(w.ChkAppedToFile->text(), "Suffix Today's Date to Old Files");
    QStringList ticked;
    for (const QCheckBox* box : w.findChildren<QCheckBox*>()) {
        if (box->isChecked()) {
            ticked << box->objectName();
        }
    }
    EXPECT_EQ(ticked, QStringList{"chkCloseAfterInstallation"});

    EXPECT_EQ(w.FrmVantrel->title(), "These Vantrel Files Will be Copied to ");
    EXPECT_EQ(w.FrmWindows->title(), "These Windows Files Will be Copied to ");
    EXPECT_EQ(w.Frame1->title(), "Suffix  Old Files with");
    EXPECT_EQ(w.TxtPath->toolTip(),
              "If the path displayed is not correct, please provide the correct Vantrel Root Path");
    EXPECT_EQ(w.cmdInstallPatch->text(), "&Install Patch");
    EXPECT_EQ(w.cmdInstallPatch->geometry(), QRect(344, 256, 81, 65));
    EXPECT_EQ(w.LstWinInstFilePath->geometry(), QRect(128, 16, 169, 197));
}

// Whatever face this machine stands in for the installer's, no caption is cut and no control moves: the
// program's size shrinks instead, by one scale for every face of the window.
TEST_F(LayoutTest, everyCaptionIsSeenWholeAtOneScaleForTheWholeWindow) {
    FrmInstallPatch& w = open();
    for (const QAbstractButton* button : w.findChildren<QAbstractButton*>()) {
        EXPECT_TRUE(captionWhole(*button)) << button->objectName().toStdString();
    }
    for (const QLabel* label : w.findChildren<QLabel*>()) {
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();
    }
    const qreal base = w.font().pointSizeF();
    EXPECT_DOUBLE_EQ(w.cmdInstallPatch->font().pointSizeF() / base, 12.0 / kBaseFontPointSize);
    EXPECT_DOUBLE_EQ(w.chkReadMe->font().pointSizeF() / base, 9.75 / kBaseFontPointSize);
    EXPECT_DOUBLE_EQ(base, kBaseFontPointSize * programFontScale());
    EXPECT_EQ(w.chkCloseAfterInstallation->geometry(), QRect(320, 128, 161, 24));
}

TEST_F(LayoutTest, firstShowIsCentredWithTheProgramIconAndFocusesTxtPath) {
    writeLists("bin\\a.dll", "sys\\b.dll");
    open();
    showAndActivate();
    EXPECT_EQ(QApplication::focusWidget(), window->TxtPath);
    const QPoint screenCentre = window->screen()->availableGeometry().center();
    EXPECT_LE((window->frameGeometry().center() - screenCentre).manhattanLength(), 60);
    EXPECT_TRUE(window->windowIcon().availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(window->windowIcon().availableSizes().contains(QSize(32, 32)));
    EXPECT_TRUE(TxtPathHadFocus);
    EXPECT_FALSE(TxtWinPathHadFocus);
}

TEST_F(LayoutTest, tabVisitsControlsInOrderSkippingHiddenFrameAndUnselectedOption) {
    writeLists("bin\\a.dll", "sys\\b.dll");
    FrmInstallPatch& w = open();
    showAndActivate();

    const QStringList common = {
        "cmdBrowse",       "TxtWinPath",      "txtAppendToFile",          "ChkAppedToFile",
        "chkRegisterDlls", "chkShowAfterReg", "chkCloseAfterInstallation"};
    const QStringList productSide = {"OptVantrel",      "chkReadMe",       "cmdInstallPatch", "cmdCancel",
                                     "LstInstFileName", "LstInstFilePath", "cmdAbout",        "TxtPath"};
    EXPECT_EQ(tabWalk(w.TxtPath, 15), common + productSide);

    w.OptWindows->setChecked(true);
    const QStringList windowsSide = {
        "OptWindows",         "chkReadMe",          "cmdInstallPatch", "cmdCancel",
        "LstWinInstFilePath", "LstWinInstFileName", "cmdAbout",        "TxtPath"};
    EXPECT_EQ(tabWalk(w.TxtPath, 15), common + windowsSide);
}

TEST_F(LayoutTest, tabSkipsDisabledSide) {
    writeLists(nullptr, "sys\\b.dll");
    FrmInstallPatch& w = open();
    showAndActivate();

    const QStringList visited = tabWalk(w.cmdBrowse, 8);
    EXPECT_FALSE(visited.contains("TxtPath"));
    EXPECT_FALSE(visited.contains("OptVantrel"));
    // With the selected option disabled, the other one is the pair's tab stop.
    EXPECT_TRUE(visited.contains("OptWindows"));
}

TEST_F(LayoutTest, accessKeysActivateTheirControls) {
    FrmInstallPatch& w = open();
    showAndActivate();

    QTest::keyClick(&w, Qt::Key_I, Qt::AltModifier);
    QTRY_COMPARE(msgBox.prompts(), std::vector<std::string>{"No File to Copy"});

    msgBox.answerNext(MsgResult::No);
    QTest::keyClick(&w, Qt::Key_C, Qt::AltModifier);
    QTRY_COMPARE(msgBox.shown.size(), std::size_t{2});
    EXPECT_EQ(msgBox.shown.back().prompt, "Are you sure, You want to close Installer");

    // The picker and the about box are other windows; here only that their buttons are pressed counts.
    int browse = 0;
    int about = 0;
    QObject::disconnect(w.cmdBrowse, &QPushButton::clicked, &w, nullptr);
    QObject::disconnect(w.cmdAbout, &QPushButton::clicked, &w, nullptr);
    QObject::connect(w.cmdBrowse, &QPushButton::clicked, [&] { ++browse; });
    QObject::connect(w.cmdAbout, &QPushButton::clicked, [&] { ++about; });
    QTest::keyClick(&w, Qt::Key_B, Qt::AltModifier);
    QTest::keyClick(&w, Qt::Key_A, Qt::AltModifier);
    QTRY_COMPARE(browse, 1);
    QTRY_COMPARE(about, 1);

    QObject::disconnect(w.chkReadMe, &QCheckBox::toggled, &w, nullptr);
    QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
    QTRY_VERIFY(w.chkReadMe->isChecked());
}

TEST_F(LayoutTest, enterInstallsFromATextBoxButPressesAFocusedButtonAndEscDoesNothing) {
    FrmInstallPatch& w = open();
    showAndActivate();

    w.txtAppendToFile->setFocus();
    QTest::keyClick(w.txtAppendToFile, Qt::Key_Return);
    EXPECT_EQ(msgBox.prompts(), std::vector<std::string>{"No File to Copy"});

    msgBox.answerNext(MsgResult::No);
    w.cmdCancel->setFocus();
    QTest::keyClick(w.cmdCancel, Qt::Key_Return);
    ASSERT_EQ(msgBox.shown.size(), 2U);
    EXPECT_EQ(msgBox.shown.back().prompt, "Are you sure, You want to close Installer");

    w.TxtPath->setFocus();
    QTest::keyClick(w.TxtPath, Qt::Key_Escape);
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(msgBox.shown.size(), 2U);
    EXPECT_EQ(endRequests, 0);
}

} // namespace
} // namespace hotfix::test
