#include "ui/dialogs/frm_read_me.hpp"
#include "ui/dialogs/window_placement.hpp"
#include "ui/main_window/window_fixture.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace hotfix::test {
namespace {

// A screen 1024 pixels wide and 768 high, in twips; a viewer and a main window with their frames.
constexpr float kScreenWidth = 15360.0F;
constexpr float kScreenHeight = 11520.0F;
constexpr float kViewerWidth = 6240.0F;
constexpr float kViewerHeight = 8640.0F;
constexpr float kMainWidth = 7125.0F;
constexpr float kLimit = kScreenWidth - (kMainWidth + kViewerWidth); // 1995

TEST(ReadMePlacementTest, viewerTouchesTheRightEdgeAndTheMainWindowMovesOnlyFromTheLimitRightwards) {
    const auto at = [](float mainLeft) {
        return readMePlacement(kScreenWidth, kScreenHeight, kViewerWidth, kViewerHeight, kMainWidth,
                               mainLeft);
    };

    const ReadMePlacement onLimit = at(kLimit);
    EXPECT_EQ(onLimit.viewerLeft, 9120.0F);
    EXPECT_EQ(onLimit.viewerTop, 1440.0F);
    ASSERT_TRUE(onLimit.mainLeft.has_value());
    EXPECT_EQ(*onLimit.mainLeft, kLimit);

    const ReadMePlacement right = at(4000.0F);
    ASSERT_TRUE(right.mainLeft.has_value());
    EXPECT_EQ(*right.mainLeft, kLimit);

    EXPECT_FALSE(at(kLimit - 15.0F).mainLeft.has_value());
    EXPECT_FALSE(at(-3000.0F).mainLeft.has_value());
}

TEST(ReadMePlacementTest, narrowScreenPushesTheMainWindowPastTheLeftEdgeUnclamped) {
    const ReadMePlacement place =
        readMePlacement(9600.0F, 7200.0F, kViewerWidth, kViewerHeight, kMainWidth, 0.0F);
    EXPECT_EQ(place.viewerLeft, 3360.0F);
    EXPECT_EQ(place.viewerTop, -720.0F);
    ASSERT_TRUE(place.mainLeft.has_value());
    EXPECT_EQ(*place.mainLeft, -3765.0F);
}

// The viewer through the main window's read-me box, on the offscreen screen.
class ReadMeTest : public WindowTest {
protected:
    void SetUp() override {
        writeLists("a\\a.dll", "b\\b.dll");
        open();
        showAndActivate();
        screen = window->screen()->geometry();
    }

    FrmReadMe* viewer() {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<FrmReadMe*>(top)) {
                return found;
            }
        }
        return nullptr;
    }

    // A window's frame as the screen shows it, measured apart from the program: under Wine, which draws a
    // window's whole rectangle as its frame, that rectangle; offscreen, the toolkit's frame.
    static QRect drawnFrame(QWidget* shown) {
#ifdef _WIN32
        RECT bounds{};
        ::GetWindowRect(reinterpret_cast<HWND>(shown->winId()), &bounds);
        return {QPoint(bounds.left, bounds.top), QPoint(bounds.right - 1, bounds.bottom - 1)};
#else
        return shown->frameGeometry();
#endif
    }

    // The viewer's frame touches the screen's right edge, centred from top to bottom.
    void expectViewerPlaced(FrmReadMe* shown) const {
        const QRect frame = drawnFrame(shown);
        EXPECT_EQ(frame.right(), screen.right());
        EXPECT_NEAR(frame.top() - screen.top(), (screen.height() - frame.height()) / 2.0, 1.0);
    }

    // Left of this the main window stays where it is; the viewer's frame is taken to be as wide as the main
    // window's.
    int limit() const {
        const int frames = drawnFrame(window.get()).width() - window->width();
        return screen.right() + 1 - (408 + frames + drawnFrame(window.get()).width());
    }

    std::string text() {
        return viewer()->WebBrowser1->toPlainText().toStdString();
    }

    QRect screen;
};

TEST_F(ReadMeTest, tickingShowsTheViewerBesideAndClearingPutsTheMainWindowBackAndHidesIt) {
    window->move(screen.x() + 160, screen.y() + 90);
    const QPoint before = window->pos();
    window->chkReadMe->setChecked(true);

    FrmReadMe* shown = viewer();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    // A window of its own, which the main window neither holds nor covers (on Windows a hidden owner keeps
    // it off the taskbar).
    EXPECT_TRUE(shown->isWindow());
    EXPECT_NE(shown->parentWidget(), window.get());
    EXPECT_EQ(shown->windowTitle(), QStringLiteral(" Hot Fix Read Me"));
    expectViewerPlaced(shown);
    // 160 lies right of the limit on this screen, so the main window makes room, frame beside frame; its
    // top stays.
    EXPECT_EQ(drawnFrame(window.get()).right() + 1, drawnFrame(shown).left());
    EXPECT_EQ(window->pos().y(), before.y());

    // Moved by the user meanwhile, the main window still goes back to where it was when the box was ticked.
    window->move(screen.x() + 20, screen.y() + 30);
    window->chkReadMe->setChecked(false);
    EXPECT_EQ(window->pos(), before);
    EXPECT_FALSE(shown->isVisible());
    EXPECT_EQ(viewer(), shown);
    EXPECT_TRUE(shown->isLoaded());
}

TEST_F(ReadMeTest, mainWindowLeftOfTheLimitStaysWhereItIs) {
    const QPoint farLeft(limit() - 50, screen.y() + 40);
    window->move(farLeft);
    window->chkReadMe->setChecked(true);
    ASSERT_NE(viewer(), nullptr);
    expectViewerPlaced(viewer());
    EXPECT_EQ(window->pos(), farLeft);
}

TEST_F(ReadMeTest, closingTheViewerClearsTheBoxAndPutsTheMainWindowBack) {
    const QPoint before = window->pos();
    window->chkReadMe->setChecked(true);
    ASSERT_NE(viewer(), nullptr);
    EXPECT_TRUE(viewer()->close());

    EXPECT_FALSE(window->chkReadMe->isChecked());
    EXPECT_EQ(window->pos(), before);
    EXPECT_FALSE(viewer()->isVisible());
    EXPECT_FALSE(viewer()->isLoaded());
    EXPECT_TRUE(msgBox.shown.empty());
}

TEST_F(ReadMeTest, pageIsReadAgainFromItsStartAtEveryShow) {
    std::string longPage = "<h1>First</h1>";
    for (int line = 0; line < 200; ++line) {
        longPage += "<p>line " + std::to_string(line) + "</p>";
    }
    package.write("readme.htm", longPage);
    window->chkReadMe->setChecked(true);
    ASSERT_NE(viewer(), nullptr);
    EXPECT_EQ(text().rfind("First", 0), 0U);
    QScrollBar* scroll = viewer()->WebBrowser1->verticalScrollBar();
    scroll->setValue(scroll->maximum());
    ASSERT_GT(scroll->value(), 0);

    // Same address, new content: the viewer must not keep what it loaded before.
    package.write("readme.htm", "<h1>Second</h1>" + longPage);
    window->chkReadMe->setChecked(false);
    // The user ticks the box again in the main window.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->chkReadMe->setChecked(true);
    ASSERT_TRUE(QTest::qWaitForWindowActive(viewer()));
    EXPECT_EQ(text().rfind("Second", 0), 0U);
    EXPECT_EQ(scroll->value(), 0);
}

TEST_F(ReadMeTest, missingPageShowsAnEmptyViewerAndNoMessage) {
    window->chkReadMe->setChecked(true);
    ASSERT_NE(viewer(), nullptr);
    EXPECT_TRUE(viewer()->isVisible());
    EXPECT_EQ(text(), "");
    EXPECT_TRUE(msgBox.shown.empty());
}

TEST_F(ReadMeTest, comingBackFromTheMainWindowPlacesTheViewerAgain) {
    package.write("readme.htm", "<h1>Notes</h1>");
    window->chkReadMe->setChecked(true);
    FrmReadMe* shown = viewer();
    ASSERT_NE(shown, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(shown));

    shown->move(screen.topLeft() + QPoint(5, 5));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(shown->pos(), screen.topLeft() + QPoint(5, 5));
    shown->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(shown));
    expectViewerPlaced(shown);

    // Back from another program the focus comes from no window of this one: the viewer stays put.
    shown->move(screen.topLeft() + QPoint(5, 5));
    emit qApp->focusWindowChanged(nullptr);
    emit qApp->focusWindowChanged(shown->windowHandle());
    EXPECT_EQ(shown->pos(), screen.topLeft() + QPoint(5, 5));
}

TEST_F(ReadMeTest, linkToAnotherPageGoesToTheSystemBrowserAndTheViewerKeepsTheReadMe) {
    package.write("readme.htm", "<h1>Notes</h1><a href=\"other.htm\">more</a>");
    window->chkReadMe->setChecked(true);
    ASSERT_NE(viewer(), nullptr);
    std::vector<QUrl> opened;
    viewer()->openExternal = [&opened](const QUrl& url) {
        opened.push_back(url);
    };
    const QUrl page = viewer()->WebBrowser1->source();

    emit viewer()->WebBrowser1->anchorClicked(QUrl(QStringLiteral("other.htm")));
    ASSERT_EQ(opened.size(), 1U);
    EXPECT_EQ(opened[0],
              QUrl::fromLocalFile(QString::fromStdString(package.str()) + QStringLiteral("/other.htm")));
    EXPECT_EQ(viewer()->WebBrowser1->source(), page);
}

} // namespace
} // namespace hotfix::test
