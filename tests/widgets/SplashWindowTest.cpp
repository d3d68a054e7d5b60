#include "ui/SplashWindow.h"

#include "NotifyFixture.h"
#include "WidgetFixture.h"

#include <QAction>
#include <QFileInfo>

using namespace Tollgate;

namespace {

class SplashWindowTest : public testing::Test
{
protected:
    Platform::FakePlatform fake;
    std::unique_ptr<SplashWindow> splash = std::make_unique<SplashWindow>(fake.platform());

    void SetUp() override { splash->show(); }

    QLabel& label(const char* name) { return child<QLabel>(*splash, name); }
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
    EXPECT_EQ(label("lblInfo").text(), SplashWindow::versionText(str(TOLLGATE_VERSION)));
    EXPECT_EQ(label("lblURL").text(), SplashWindow::address());
    EXPECT_TRUE(QFileInfo(SplashWindow::address()).isFile()) << "the help page beside the program";
    EXPECT_FALSE(splash->testAttribute(Qt::WA_QuitOnClose));
    // Closing by itself is watched in AboutTest.
    const auto& timer = child<QTimer>(*splash, "TimerClose");
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(timer.interval(), 3000);
    // The picture is drawn: the window is not one flat colour.
    const QImage picture = splash->grab().toImage();
    EXPECT_NE(picture.pixel(5, 5), picture.pixel(picture.width() / 2, picture.height() * 3 / 4));
}

TEST_F(SplashWindowTest, LabelsKeepItOpenAndTheAddressOpensThePage)
{
    QTest::mouseClick(&label("lblInfo"), Qt::LeftButton);
    EXPECT_TRUE(splash->isVisible()) << "a click on the version does not close it";
    EXPECT_TRUE(fake.shell().opened().isEmpty());
    QTest::mouseClick(&label("lblURL"), Qt::LeftButton);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(fake.shell().opened(), QStringList {SplashWindow::address()});

    QTest::mouseClick(splash.get(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(splash->isVisible()) << "a click on the picture closes it";
}

TEST_F(SplashWindowTest, OnlyEnterAndEscapeCloseIt)
{
    for (const Qt::Key key : {Qt::Key_A, Qt::Key_Space, Qt::Key_F1, Qt::Key_Tab})
        QTest::keyClick(splash.get(), key);
    EXPECT_TRUE(splash->isVisible());
    QTest::keyPress(splash.get(), Qt::Key_Escape);
    EXPECT_TRUE(splash->isVisible()) << "it closes on the release";
    QTest::keyRelease(splash.get(), Qt::Key_Escape);
    EXPECT_FALSE(splash->isVisible());

    SplashWindow again(fake.platform());
    again.show();
    QTest::keyClick(&again, Qt::Key_Return);
    EXPECT_FALSE(again.isVisible());
}

TEST_F(SplashWindowTest, ModalAtStartUpItEndsTheWaitWhenItCloses)
{
    splash->hide();
    SplashWindow modal(fake.platform());
    QTimer::singleShot(0, &modal, [&modal] { QTest::keyClick(&modal, Qt::Key_Escape); });
    modal.exec();
    EXPECT_FALSE(modal.isVisible());
}

class AboutTest : public WidgetFixture
{
};

TEST_F(AboutTest, AboutShowsOneSplashWithoutWaitingAndItClosesByItself)
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
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return about.isNull(); }, 30000)) << "closed and gone after 3 seconds";
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), before);
}
