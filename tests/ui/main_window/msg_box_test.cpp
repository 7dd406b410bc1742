#include "ui/main_window/box_answerer.hpp"
#include "ui/main_window/qt_msg_box.hpp"
#include "ui/main_window/window_fixture.hpp"

#include <QPushButton>
#include <QTest>

namespace hotfix::test {
namespace {

class MsgBoxTest : public WindowTest {
protected:
    BoxAnswerer answerer;
    QtMsgBox box;
};

TEST_F(MsgBoxTest, boxWithoutTitleShowsPatchAndItsTextAsPlainText) {
    testApplication();
    const MsgResult result = box.show(
        {"<b>Folder</b> ''bin''\r\nDescription : gone", MsgButtons::Ok, MsgIcon::None, std::nullopt});
    EXPECT_EQ(result, MsgResult::Ok);
    ASSERT_EQ(answerer.seen.size(), 1U);
    const BoxAnswerer::Seen& seen = answerer.seen[0];
    EXPECT_EQ(seen.title, "Patch");
    EXPECT_EQ(seen.text, "<b>Folder</b> ''bin''\nDescription : gone");
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
}

TEST_F(MsgBoxTest, buttonsIconsAndDefaultsAreThoseAskedFor) {
    testApplication();
    answerer.answerNext(QMessageBox::No);
    EXPECT_EQ(box.show({"Are you sure", MsgButtons::YesNo, MsgIcon::Information, std::string("Close")}),
              MsgResult::No);
    EXPECT_EQ(box.show({"Sure?", MsgButtons::YesNo, MsgIcon::Information, std::string("Close")}),
              MsgResult::Yes);
    answerer.answerNext(QMessageBox::Cancel);
    EXPECT_EQ(box.show({"Suffix", MsgButtons::OkCancel, MsgIcon::Information, std::nullopt}),
              MsgResult::Cancel);
    EXPECT_EQ(box.show({"Failed", MsgButtons::Ok, MsgIcon::Critical, std::string("Error")}), MsgResult::Ok);

    ASSERT_EQ(answerer.seen.size(), 4U);
    EXPECT_EQ(answerer.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(answerer.seen[0].defaultButton, QMessageBox::Yes);
    EXPECT_EQ(answerer.seen[0].icon, QMessageBox::Information);
    EXPECT_EQ(answerer.seen[2].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(answerer.seen[2].defaultButton, QMessageBox::Ok);
    EXPECT_EQ(answerer.seen[3].icon, QMessageBox::Critical);
    EXPECT_EQ(answerer.seen[3].title, "Error");
}

TEST_F(MsgBoxTest, openBoxBlocksTheMainWindow) {
    open(&box);
    box.setOwner(window.get());
    showAndActivate();

    // While "No File to Copy" is open, a click on the install button must not start another run.
    // Through the window system, as a user's click comes, so that the box's modality applies.
    answerer.whileOpen([this](QMessageBox&) {
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          window->cmdInstallPatch->geometry().center());
    });
    QTest::mouseClick(window->cmdInstallPatch, Qt::LeftButton);
    // A second run would have opened its box while the events the click left were handled.
    QCoreApplication::processEvents();
    ASSERT_EQ(answerer.seen.size(), 1U);
    EXPECT_EQ(answerer.seen[0].text, "No File to Copy");
}

} // namespace
} // namespace hotfix::test
