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

// One way of closing the about box.
struct Closer {
    const char* name;
    void (*close)(frmAbout& box);
};

void PrintTo(const Closer& closer, std::ostream* out) {
    *out << closer.name;
}

class AboutTest : public WindowTest, public ::testing::WithParamInterface<Closer> {
protected:
    void SetUp() override {
        writeLists("a\\a.dll", "b\\b.dll");
        open();
        showAndActivate();
    }
};

TEST_P(AboutTest, everyOpeningSetsTheNoticeAfreshAndTheBoxClosesForGood) {
    // Twice: a box kept from the first opening would show the scribbled notice at the second.
    for (int opening = 1; opening <= 2; ++opening) {
        SCOPED_TRACE(opening);
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
            GetParam().close(*box);
        });
        window->cmdAbout->click();
        EXPECT_TRUE(seen);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(window->findChild<frmAbout*>(), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(AboutTest, AboutTest,
                         ::testing::Values(Closer{"esc",
                                                  [](frmAbout& box) {
                                                      pressKey(box, Qt::Key_Escape);
                                                  }},
                                           Closer{"enter",
                                                  [](frmAbout& box) {
                                                      pressKey(box, Qt::Key_Return);
                                                  }},
                                           Closer{"okButton",
                                                  [](frmAbout& box) {
                                                      box.cmdOK->click();
                                                  }},
                                           Closer{"closeBox",
                                                  [](frmAbout& box) {
                                                      box.close();
                                                  }}),
                         [](const ::testing::TestParamInfo<Closer>& param) {
                             return std::string(param.param.name);
                         });

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
