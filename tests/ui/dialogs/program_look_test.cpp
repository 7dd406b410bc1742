#include "ui/dialogs/frm_about.hpp"
#include "ui/dialogs/frm_read_me.hpp"
#include "ui/dialogs/frm_select_dir.hpp"
#include "ui/dialogs/modal.hpp"
#include "ui/main_window/box_answerer.hpp"
#include "ui/main_window/qt_msg_box.hpp"
#include "ui/main_window/window_fixture.hpp"

#include <functional>
#include <utility>
#include <vector>

#include <QAccessible>
#include <QCheckBox>
#include <QFontInfo>
#include <QImage>
#include <QPaintEngine>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>

namespace hotfix::test {
namespace {

// The four windows and the message box, each opened as the user opens it.
class ProgramLookTest : public WindowTest {
protected:
    void SetUp() override {
        writeLists("a\\a.dll", "b\\b.dll");
        open(&box);
        box.setOwner(window.get());
        showAndActivate();
    }

    void forEachWindow(const std::function<void(QWidget&)>& look) {
        look(*window);
        whenModal([&look](QWidget& picker) {
            look(picker);
            static_cast<FrmSelectDir&>(picker).CmdCancel->click();
        });
        window->cmdBrowse->click();
        whenModal([&look](QWidget& about) {
            look(about);
            static_cast<frmAbout&>(about).cmdOK->click();
        });
        window->cmdAbout->click();
        window->chkReadMe->click();
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* viewer = qobject_cast<FrmReadMe*>(top)) {
                look(*viewer);
            }
        }
        window->chkReadMe->click();
    }

    BoxAnswerer answerer;
    QtMsgBox box;
};

TEST_F(ProgramLookTest, indicatorsLieWhollyInTheirControlsAndTheCaptionsStayWhereTheStylePutsThem) {
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        const bool option = qobject_cast<QRadioButton*>(button) != nullptr;
        if (!option && qobject_cast<QCheckBox*>(button) == nullptr) {
            continue;
        }
        SCOPED_TRACE(button->objectName().toStdString());
        QStyleOptionButton style;
        style.initFrom(button);
        style.text = button->text();
        const QRect indicator = button->style()->subElementRect(
            option ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &style, button);
        EXPECT_TRUE(button->rect().contains(indicator)) << indicator.height() << " in " << button->height();
        const auto contents = option ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents;
        EXPECT_EQ(button->style()->subElementRect(contents, &style, button).left(),
                  QApplication::style()->subElementRect(contents, &style, nullptr).left());
    }
}

} // namespace
} // namespace hotfix::test
