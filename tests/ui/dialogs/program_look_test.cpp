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

// A surface that keeps the font of every text drawn on it.
class TextFontRecorder final : public QImage {
public:
    explicit TextFontRecorder(QSize size)
        : QImage(size, QImage::Format_ARGB32_Premultiplied) {}
    QPaintEngine* paintEngine() const override { return &m_engine; }

    std::vector<std::pair<QString, QFont>> texts() const { return m_engine.texts; }

private:
    class Engine final : public QPaintEngine {
    public:
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override {
            texts.emplace_back(item.text(), item.font());
        }
        Type type() const override { return User; }

        std::vector<std::pair<QString, QFont>> texts;
    };

    mutable Engine m_engine;
};

// The face a widget is drawn in, as the font system resolved it, and its size.
QString face(const QWidget& widget) {
    const QFontInfo info(widget.font());
    return info.family() + QStringLiteral(" %1pt").arg(widget.font().pointSizeF());
}

TEST_F(ProgramLookTest, everyWindowAndMessageBoxIsDrawnInTheMainWindowsFace) {
    QStringList faces;
    forEachWindow(
        [&faces](QWidget& shown) { faces << shown.objectName() + QStringLiteral(": ") + face(shown); });
    answerer.whileOpen([&faces](QMessageBox& shown) { faces << QStringLiteral("box: ") + face(shown); });
    box.show({"Are you sure", MsgButtons::YesNo, MsgIcon::Information, std::string("Close")});

    ASSERT_EQ(faces.size(), 5);
    const QString expected = face(*window);
    for (const QString& seen : faces) {
        EXPECT_TRUE(seen.endsWith(QStringLiteral(": ") + expected)) << seen.toStdString();
    }
}

TEST_F(ProgramLookTest, everyCaptionOfTheMainWindowIsDrawnInItsFamilyAtItsNormalWidth) {
    TextFontRecorder drawn(window->size());
    window->render(&drawn);
    ASSERT_FALSE(drawn.texts().empty());
    for (const auto& [text, font] : drawn.texts()) {
        EXPECT_EQ(QFontInfo(font).family(), QFontInfo(window->font()).family()) << text.toStdString();
        EXPECT_TRUE(font.stretch() == QFont::AnyStretch || font.stretch() == QFont::Unstretched)
            << text.toStdString() << " at " << font.stretch();
    }
}

TEST_F(ProgramLookTest, everyControlAndFrameOfTheFourWindowsHasAnAccessibleName) {
    QStringList unnamed;
    QStringList named;
    forEachWindow([&](QWidget& shown) {
        for (QWidget* control : shown.findChildren<QWidget*>()) {
            // The toolkit's own parts of a control (scroll bars, viewports) are named after the control.
            if (control->objectName().isEmpty() || control->objectName().startsWith(QStringLiteral("qt_"))) {
                continue;
            }
            const QAccessibleInterface* const spoken = QAccessible::queryAccessibleInterface(control);
            const QString name = spoken != nullptr ? spoken->text(QAccessible::Name) : QString();
            (name.trimmed().isEmpty() ? unnamed : named)
                << shown.objectName() + QLatin1Char('.') + control->objectName() + QLatin1Char('=') + name;
        }
    });
    EXPECT_EQ(unnamed.join(QStringLiteral(", ")).toStdString(), "");
    // The main window's 24 controls, the picker's 4, the about box's 6 and the viewer's page.
    EXPECT_EQ(named.size(), 35);
    for (const char* expected :
         {"FrmInstallPatch.TxtPath=Vantrel Path", "FrmInstallPatch.txtAppendToFile=Suffix Old Files",
          "FrmInstallPatch.Frame1=Suffix  Old Files with", "FrmInstallPatch.cmdBrowse=Browse",
          "FrmInstallPatch.LstWinInstFilePath=These Windows Files Will be Copied to"}) {
        EXPECT_TRUE(named.contains(QString::fromUtf8(expected))) << expected;
    }
}

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
