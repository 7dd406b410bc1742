#include "ui/dialogs/frm_about.hpp"
#include "ui/dialogs/modal.hpp"
#include "ui/main_window/window_fixture.hpp"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSet>

#include <gtest/gtest.h>

namespace hotfix::test {
namespace {

class AboutTest : public WindowTest {
protected:
    void SetUp() override {
        writeLists("a\\a.dll", "b\\b.dll");
        open();
        showAndActivate();
    }
};

TEST_F(AboutTest, everyOpening_setsTheNoticeAfresh_andEnterEscOkAndTheCloseBoxCloseIt) {
    const std::vector<std::function<void(frmAbout&)>> closers{
        [](frmAbout& box) { pressKey(box, Qt::Key_Escape); },
        [](frmAbout& box) { pressKey(box, Qt::Key_Return); },
        [](frmAbout& box) { box.cmdOK->click(); },
        [](frmAbout& box) { box.close(); },
    };
    for (std::size_t i = 0; i < closers.size(); ++i) {
        SCOPED_TRACE(i);
        bool seen = false;
        whenModal([&](QWidget& modal) {
            auto* box = qobject_cast<frmAbout*>(&modal);
            ASSERT_NE(box, nullptr);
            seen = true;
            EXPECT_EQ(box->windowTitle(), QStringLiteral(" About Patch Installer"));
            EXPECT_EQ(box->lblTitle->text(), QStringLiteral("Patch Installer"));
            EXPECT_EQ(box->lblVersion->text(), QStringLiteral("Version : 2005.05.01"));
            const QStringList lines = box->lblDescription->text().split(QStringLiteral("\r\n\r\n"));
            ASSERT_EQ(lines.size(), 3);
            for (const QString& line : lines) {
                EXPECT_FALSE(line.trimmed().isEmpty());
                EXPECT_FALSE(line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r')));
            }
            EXPECT_TRUE(lines[2].contains(QLatin1Char('@')));
            // Left as it was, the notice would still show at the next opening.
            box->lblDescription->setText(QStringLiteral("a"));
            closers[i](*box);
        });
        window->cmdAbout->click();
        EXPECT_TRUE(seen);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(window->findChild<frmAbout*>(), nullptr);
    }
}

TEST(AboutLookTest, lightYellowWithAnEtchedRuleAndItsOwnPicture) {
    testApplication();
    frmAbout box;
    EXPECT_EQ(box.size(), QSize(332, 179));
    const QImage shot = box.grab().toImage();
    EXPECT_EQ(shot.pixelColor(200, 110), QColor(255, 255, 192));
    // The rule: grey over white, across the window below the notice.
    EXPECT_EQ(shot.pixelColor(200, 147), QColor(128, 128, 128));
    EXPECT_EQ(shot.pixelColor(200, 148), QColor(255, 255, 255));
    EXPECT_EQ(shot.pixelColor(330, 149), QColor(255, 255, 255));

    const QImage picture = aboutPicture();
    EXPECT_EQ(picture.size(), QSize(95, 40));
    EXPECT_EQ(picture.format(), QImage::Format_RGB888);
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); y += 2) {
        for (int x = 0; x < picture.width(); x += 2) {
            colours.insert(picture.pixel(x, y));
        }
    }
    EXPECT_GT(colours.size(), 50);

    EXPECT_TRUE(box.lblVersion->font().italic());
    EXPECT_EQ(box.lblVersion->font().pointSizeF(), 9.0);
    EXPECT_EQ(box.lblTitle->font().pointSizeF(), 13.5);
    EXPECT_TRUE(box.cmdOK->isDefault());
}

} // namespace
} // namespace hotfix::test
