#include "ui/SplashWindow.h"

#include "WidgetFixture.h"

#include <QFileInfo>

using namespace Tollgate;

namespace {

class SplashWindowTest : public WidgetFixture
{
protected:
    SplashWindow splash {fake.platform()};

    void SetUp() override
    {
        WidgetFixture::SetUp();
        splash.show();
    }
};

} // namespace

TEST(SplashVersionTest, ReadsVersionMajorDotMinorBuildRevision)
{
    EXPECT_EQ(SplashWindow::versionText(str("2.0.42")), str("Version 2.0 Build 42"));
    EXPECT_EQ(SplashWindow::versionText(str("10.07.003")), str("Version 10.7 Build 3"));
    EXPECT_EQ(SplashWindow::versionText(str("3")), str("Version 3.0 Build 0"));
}

TEST_F(SplashWindowTest, ShowsTheVersionAndTheAddressOverItsPicture)
{
    EXPECT_EQ(child<QLabel>(splash, "lblInfo").text(), SplashWindow::versionText(str(TOLLGATE_VERSION)));
    EXPECT_EQ(child<QLabel>(splash, "lblURL").text(), SplashWindow::address());
    EXPECT_TRUE(QFileInfo(SplashWindow::address()).isFile()) << "the help page beside the program";
    EXPECT_FALSE(splash.testAttribute(Qt::WA_QuitOnClose));
    // The picture is drawn: the window is not one flat colour.
    const QImage picture = splash.grab().toImage();
    EXPECT_NE(picture.pixel(5, 5), picture.pixel(picture.width() / 2, picture.height() * 3 / 4));
}

// Only a click on the picture, or Enter or Escape on their release, close it; a click on
// the address opens the help page.
TEST_F(SplashWindowTest, ClosesOnAClickOnThePictureOrOnEnterOrEscape)
{
    const auto click
        = [this](const char* label) { QTest::mouseClick(&child<QLabel>(splash, label), Qt::LeftButton); };
    const std::pair<std::function<void()>, bool> cases[] = {
        {[&] { click("lblInfo"); }, false},
        {[&] { click("lblURL"); }, false},
        {[&] { QTest::keyPress(&splash, Qt::Key_Escape); }, false},
        {[&] { QTest::keyRelease(&splash, Qt::Key_Escape); }, true},
        {[&] { QTest::keyClick(&splash, Qt::Key_Return); }, true},
        {[&] { QTest::keyClick(&splash, Qt::Key_Enter); }, true},
        {[&] { QTest::mouseClick(&splash, Qt::LeftButton, {}, QPoint(10, 10)); }, true},
    };
    for (const Qt::Key key : {Qt::Key_A, Qt::Key_Space, Qt::Key_F1, Qt::Key_Tab})
        QTest::keyClick(&splash, key);
    EXPECT_TRUE(splash.isVisible()) << "other keys leave it open";
    for (std::size_t n = 0; n < std::size(cases); ++n) {
        splash.show();
        cases[n].first();
        EXPECT_EQ(splash.isVisible(), !cases[n].second) << "case " << n;
    }
    EXPECT_EQ(fake.shell().opened(), QStringList {SplashWindow::address()});
}

TEST_F(SplashWindowTest, AboutShowsOneSplashWithoutWaitingAndItClosesByItself)
{
    window->show();
    const QRect before = window->geometry();
    control<QAction>("mnuHelpAbout").trigger();
    control<QAction>("mnuHelpAbout").trigger();
    const QList<SplashWindow*> splashes = window->findChildren<SplashWindow*>();
    ASSERT_EQ(splashes.size(), 1) << "About while it is open shows the same one";
    QPointer<SplashWindow> about = splashes.first();
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(about->isModal());
    EXPECT_TRUE(QTest::qWaitFor([&] { return about.isNull(); }, 30000)) << "closed and gone after 3 seconds";
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), before);
}
