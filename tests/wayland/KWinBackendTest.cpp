// The KWin backend against a private KWin in its virtual mode, with real Qt clients: the
// window script, the survey on top of it, and the idle and corner services KWin shares with
// the other Wayland compositors.
#include "HeadlessKWin.h"
#include "WaylandDesktopFixture.h"
#include "platform/kwin/KWinWindowSystem.h"
#include "survey/IdleDetector.h"

#include <QDBusConnection>

using namespace Tollgate;
using Tollgate::Test::HeadlessKWin;

namespace {

// The script's reports arrive through the event loop.
bool waitUntil(const std::function<bool()>& condition)
{
    return Tollgate::Test::waitUntil([&] {
        QCoreApplication::processEvents();
        return condition();
    });
}

class KWinDesktop : public Tollgate::Test::WaylandDesktopFixture<Platform::KWinWindowSystem>
{
protected:
    // One KWin for the suite: the process keeps its first session bus connection.
    static void SetUpTestSuite()
    {
        s_skipReason = HeadlessKWin::unavailableReason();
        if (!s_skipReason.isEmpty())
            return;
        s_kwin = new HeadlessKWin;
        QString error;
        if (!s_kwin->start(&error)) {
            s_skipReason = QStringLiteral("KWin cannot run here: ") + error;
            return;
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", s_kwin->busAddress().toLocal8Bit());
        if (!waitUntil(
                [&] { return Platform::KWinWindowSystem::available(QDBusConnection::sessionBus(), &error); }))
            s_skipReason = QStringLiteral("KWin's scripting service never answered: ") + error;
    }
    static void TearDownTestSuite()
    {
        delete s_kwin;
        s_kwin = nullptr;
    }

    void SetUp() override
    {
        if (!s_skipReason.isEmpty())
            GTEST_SKIP() << "KWin tests need kwin-wayland: " << qPrintable(s_skipReason);
        openPlatform(s_kwin->displayPath(), QStringLiteral("kwin"));
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(waitUntil([&] { return m_windows->hasReported(); }))
            << "the window script never reported";
    }

    // A Qt window with a known title. foot, which the sway tests use, crashes on KWin's virtual
    // output: it divides by the output's physical size, which is none.
    QProcess* startWindow(const QString& title)
    {
        return s_kwin->startClient(
            QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate_test_window"), {title});
    }

    static inline HeadlessKWin* s_kwin = nullptr;
    static inline QString s_skipReason;
};

TEST_F(KWinDesktop, readsTheForegroundWindowKeepsItAboveAndClosesIt)
{
    QProcess* terminal = startWindow(QStringLiteral("Tollgate probe one"));
    ASSERT_TRUE(terminal);
    const Platform::WindowId first = waitForForeground(QStringLiteral("Tollgate probe one"));
    ASSERT_NE(first, 0u) << "the terminal never became the foreground window";
    EXPECT_EQ(m_windows->windowProcessId(first), Platform::ProcessId(terminal->processId()));

    QProcess* other = startWindow(QStringLiteral("Tollgate probe two"));
    ASSERT_TRUE(other);
    const Platform::WindowId second = waitForForeground(QStringLiteral("Tollgate probe two"));
    ASSERT_NE(second, 0u);
    EXPECT_NE(second, first);
    const auto titled = [&] {
        QList<Platform::WindowId> windows;
        for (const Platform::TopLevelWindow& window : m_windows->topLevelWindows()) {
            if (!m_windows->windowTitle(window.window).isEmpty())
                windows.append(window.window);
        }
        return windows;
    };
    EXPECT_EQ(titled(), (QList<Platform::WindowId> {second, first})) << "newest first";

    EXPECT_EQ(m_windows->setTopMost(first, true), 1);
    EXPECT_TRUE(waitUntil([&] { return m_windows->keptAbove(first); })) << "keep-above did not arrive";
    EXPECT_EQ(m_windows->setTopMost(first, false), 0);
    EXPECT_TRUE(waitUntil([&] { return !m_windows->keptAbove(first); }));

    ASSERT_TRUE(m_windows->postCloseRequest(first));
    EXPECT_TRUE(Tollgate::Test::waitUntil([&] { return exited(terminal); }))
        << "the close request did not end the window's process";
    EXPECT_TRUE(waitUntil([&] { return titled() == QList<Platform::WindowId> {second}; }));
    EXPECT_EQ(m_windows->windowTitle(first), QString()) << "a closed window keeps no title";
    EXPECT_FALSE(m_windows->postCloseRequest(first));
    EXPECT_EQ(m_windows->setTopMost(first, true), 0);
}

TEST_F(KWinDesktop, aBlockRuleClosesARealWindow)
{
    EXPECT_TRUE(blockRuleClosesARealWindow([this](const QString& title) { return startWindow(title); }));
}

TEST_F(KWinDesktop, idleFiresOnceAfterTheIdleTimeWithoutInput)
{
    IdleDetector detector(m_rules, *m_input, m_notifier);
    constexpr int tickMs = 10000;
    const int ticksToTimeout = m_rules.idleTime() * 1000 / tickMs + 2;
    // The virtual session has no input devices: the seat goes idle and stays so.
    ASSERT_TRUE(waitUntil([&] { return !m_input->keyActive(0x41); })) << "KWin never reported the seat idle";
    for (int tick = 0; tick < ticksToTimeout * 2; ++tick)
        detector.SurveyIdle(tickMs);
    EXPECT_EQ(m_notifier.timeoutMessages, 1);
    for (int tick = 0; tick < ticksToTimeout * 3; ++tick)
        detector.SurveyIdle(tickMs);
    EXPECT_EQ(m_notifier.timeoutMessages, 1) << "one idle period warns once";
}

TEST_F(KWinDesktop, theCornerSurfaceIsOnThePrimaryOutput)
{
    ASSERT_TRUE(waitUntil([&] {
        m_input->cursorPosition();
        return m_input->cornerSurfaceMapped();
    })) << "KWin did not place the layer-shell corner surface";
    EXPECT_EQ(m_input->primaryScreenSize(), QSize(HeadlessKWin::Width, HeadlessKWin::Height));
    GTEST_SKIP() << "KWin's virtual session offers no pointer device a test could move into the corner";
}

TEST_F(KWinDesktop, checkPlatformReportsEachCapabilityWithItsReason)
{
    QProcessEnvironment environment = s_kwin->clientEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    const QString report = checkPlatformReport(environment);
    ASSERT_FALSE(report.isEmpty()) << "tollgate --check-platform did not end";
    EXPECT_TRUE(report.startsWith(QStringLiteral("backend: kwin"))) << qPrintable(report);
    for (const char* line : {"foreground window: works", "window titles: works", "close requests: works",
             "topmost placement: works", "window process ids: works", "key activity: works", "KWin script"})
        EXPECT_TRUE(report.contains(QLatin1StringView(line))) << line << "\n" << qPrintable(report);
}

// Last: it restarts the suite's KWin.
TEST_F(KWinDesktop, aRestartedKWinGetsTheScriptAgainAndForgetsTheOldWindows)
{
    QProcess* before = startWindow(QStringLiteral("Tollgate probe before"));
    ASSERT_TRUE(before);
    const Platform::WindowId old = waitForForeground(QStringLiteral("Tollgate probe before"));
    ASSERT_NE(old, 0u);

    QString error;
    ASSERT_TRUE(s_kwin->restart(&error)) << qPrintable(error);
    EXPECT_TRUE(waitUntil([&] { return m_windows->windowTitle(old).isEmpty(); }))
        << "a window of the old KWin is still listed";
    QProcess* after = startWindow(QStringLiteral("Tollgate probe after"));
    ASSERT_TRUE(after);
    const Platform::WindowId fresh = waitForForeground(QStringLiteral("Tollgate probe after"));
    ASSERT_NE(fresh, 0u) << "the new KWin does not report to Tollgate";
    EXPECT_EQ(m_windows->windowProcessId(fresh), Platform::ProcessId(after->processId()));
}

} // namespace
