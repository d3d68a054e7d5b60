// The Wayland backend against a private headless sway, with Qt windows and a virtual pointer
// standing in for the user's hand: the desktop contract, then the corner surface, idle, a
// lost compositor and the real program where no window names its process.
#include "HeadlessSway.h"
#include "common/DesktopContract.h"
#include "common/LocalProgramDesktop.h"
#include "platform/wayland/WaylandInputDevices.h"
#include "platform/wayland/WaylandWindowSystem.h"
#include "survey/IdleDetector.h"

#include <optional>

using namespace Tollgate;
using namespace Tollgate::Platform;

namespace Tollgate::Test {

struct SwayDesktop : QtWindows
{
    using Desktop = HeadlessSway;
    static constexpr bool NewWindowsTakeTheFocus = true;
    static inline const QStringList Report = reportLines({"backend: wayland", "foreground window: works",
        "window titles: works", "close requests: works", "topmost placement: unavailable",
        "window process ids: works", "window change events: works", "key activity: works",
        "process names: works", "org_kde_kwin_idle", "foreign-toplevel-management", "system log: works"});

    static QString unavailableReason() { return HeadlessSway::unavailableReason(); }
    static bool start(HeadlessSway& sway, QString* error) { return sway.start(error); }
    static std::unique_ptr<Platform::Platform> platform(HeadlessSway& sway)
    {
        qputenv("SWAYSOCK", sway.ipcSocket().toLocal8Bit());
        return PlatformFactory::create(QString(), sway.displayPath(), str("wayland"));
    }
    static bool activate(HeadlessSway&, Platform::Platform& platform, WindowId window)
    {
        return dynamic_cast<WaylandWindowSystem&>(platform.windows()).activate(window);
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Sway, DesktopContract, SwayDesktop);

// A sway of each test's own, since the tests turn outputs off and end the compositor.
class OwnSway : public testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString reason = HeadlessSway::unavailableReason(); !reason.isEmpty())
            GTEST_SKIP() << "Wayland tests need a headless sway: " << qPrintable(reason);
        ASSERT_TRUE(m_sway.start(&m_error)) << qPrintable(m_error);
    }
    bool ready() const { return !IsSkipped() && !HasFatalFailure(); }

    HeadlessSway m_sway;
    QString m_error;
};

class SwaySession : public OwnSway
{
protected:
    void SetUp() override
    {
        OwnSway::SetUp();
        if (!ready())
            return;
        m_platform = SwayDesktop::platform(m_sway);
        m_input = dynamic_cast<WaylandInputDevices*>(&m_platform->input());
        ASSERT_TRUE(m_input) << qPrintable(m_platform->backendName());
        m_detector.emplace(m_rules, *m_input, m_notifier);
    }

    // The pointer in the middle of the layout, and the corner surface up on an output of
    // this size.
    bool cornerSurfaceShown(QSize screen = QSize(HeadlessSway::Width, HeadlessSway::Height))
    {
        return m_sway.movePointer(HeadlessSway::Width / 2, HeadlessSway::Height / 2) && waitUntil([&] {
            m_input->cursorPosition();
            return m_input->cornerSurfaceMapped() && m_input->primaryScreenSize() == screen;
        });
    }
    // Ticks idle detection until the password prompt has come this often.
    bool promptedTimes(int times)
    {
        return waitUntil([&] {
            m_detector->SurveyIdle(SurveyCycle::IntervalMs);
            return m_notifier.passwordPrompts == times;
        });
    }
    bool idle()
    {
        return waitUntil([&] { return !m_input->keyActive(0x41); });
    }

    std::unique_ptr<Platform::Platform> m_platform;
    WaylandInputDevices* m_input = nullptr;
    RuleSet m_rules;
    RecordingNotifier m_notifier;
    std::optional<IdleDetector> m_detector;
};

TEST_F(SwaySession, theCornerSurfaceFiresOnceWhenThePointerEntersIt)
{
    ASSERT_TRUE(cornerSurfaceShown()) << "no virtual pointer, or no corner surface";
    m_detector->SurveyIdle(SurveyCycle::IntervalMs);
    EXPECT_EQ(m_notifier.passwordPrompts, 0) << "the pointer in the middle is no gesture";

    ASSERT_TRUE(m_sway.movePointer(HeadlessSway::Width - 2, HeadlessSway::Height - 2));
    ASSERT_TRUE(promptedTimes(1)) << "the pointer entering the corner did not bring the prompt";
    // Resting in the corner is one gesture, not one per tick.
    for (int tick = 0; tick < 5; ++tick)
        m_detector->SurveyIdle(SurveyCycle::IntervalMs);
    EXPECT_EQ(m_notifier.passwordPrompts, 1);

    // Leaving and coming back is the next gesture.
    ASSERT_TRUE(cornerSurfaceShown());
    ASSERT_TRUE(m_sway.movePointer(HeadlessSway::Width - 1, HeadlessSway::Height - 1));
    EXPECT_TRUE(promptedTimes(2));
}

TEST_F(SwaySession, theCornerSurfaceMovesToTheNextOutputWhenItsOutputGoes)
{
    ASSERT_TRUE(cornerSurfaceShown());
    ASSERT_TRUE(m_sway.command(str("create_output")));
    ASSERT_TRUE(m_sway.command(str("output HEADLESS-2 resolution 800x600 position 1024 0")));
    m_sway.command(str("output HEADLESS-1 disable"));
    if (m_sway.outputActive(str("HEADLESS-1")))
        GTEST_SKIP() << "this sway cannot turn a headless output off (wlroots 0.15 fails the commit)";
    ASSERT_TRUE(cornerSurfaceShown(QSize(800, 600)))
        << "the corner surface did not move to the remaining output";

    // The virtual pointer's range is the layout, which is now the second output alone.
    ASSERT_TRUE(m_sway.movePointer(HeadlessSway::Width - 1, HeadlessSway::Height - 1));
    EXPECT_TRUE(promptedTimes(1));
}

TEST_F(SwaySession, idleFiresAfterTheIdleTimeWithoutInputAndNotWhileThereIsInput)
{
    // Each tick stands for ten seconds, so that the shortest idle time passes in a few.
    constexpr int tickMs = 10000;
    const int ticksToTimeout = m_rules.idleTime() * 1000 / tickMs + 2;
    const auto idleFor = [&](int ticks) {
        ASSERT_TRUE(idle()) << "the seat was never reported idle";
        for (int tick = 0; tick < ticks; ++tick)
            m_detector->SurveyIdle(tickMs);
    };
    // The pointer moved through sway's IPC, as a device would; the compositor reports the
    // activity on its own connection, so wait until the backend has seen it.
    int step = 0;
    const auto userInput = [&] {
        return m_sway.command(str("seat - cursor move %1 0").arg(++step % 2 ? 3 : -3))
            && waitUntil([&] { return m_input->keyActive(0x41); });
    };

    idleFor(0);
    for (int tick = 0; tick < ticksToTimeout * 2; ++tick) {
        ASSERT_TRUE(userInput()) << "the compositor did not report the input";
        m_detector->SurveyIdle(tickMs);
    }
    EXPECT_EQ(m_notifier.timeoutMessages, 0) << "a timeout while the pointer moved";
    idleFor(ticksToTimeout * 3);
    EXPECT_EQ(m_notifier.timeoutMessages, 1) << "one idle period warns once";

    // Input ends the idle period; the next one warns again.
    ASSERT_TRUE(userInput());
    m_detector->SurveyIdle(tickMs);
    EXPECT_FALSE(m_detector->idleWarned());
    idleFor(ticksToTimeout);
    EXPECT_EQ(m_notifier.timeoutMessages, 2);
}

TEST_F(SwaySession, aLostCompositorLeavesNoWindowsAndNoFalseIdleness)
{
    const QString title = str("Tollgate probe lost");
    ASSERT_TRUE(SwayDesktop::startWindow(m_sway, title));
    WindowSystem& windows = m_platform->windows();
    WindowId window = 0;
    ASSERT_TRUE(waitUntil([&] { return windows.windowTitle(window = windows.foregroundWindow()) == title; }));
    ASSERT_TRUE(idle());

    m_sway.stop();
    EXPECT_TRUE(waitUntil([&] { return windows.foregroundWindow() == 0; }));
    EXPECT_TRUE(windows.topLevelWindows().isEmpty());
    EXPECT_FALSE(windows.postCloseRequest(window));
    EXPECT_TRUE(m_input->keyActive(0x41)) << "without a compositor nobody counts as idle";
    for (const CapabilityStatus& status : windows.capabilities())
        EXPECT_TRUE(status.capability != Capability::ForegroundWindow
            || (!status.works && status.detail.contains(str("lost"))))
            << qPrintable(status.detail);
}

// The real program on sway with its IPC socket kept from the program: as on the wlroots
// compositors that name no window's process (labwc, Wayfire, river). The test itself still
// asks sway for processes, to find the program's windows, and has no corner surface of its
// own that would take the program's pointer.
class ProgramOnSway : public OwnSway, public LocalProgramDesktop
{
protected:
    void SetUp() override
    {
        OwnSway::SetUp();
        if (!ready())
            return;
        auto connection = WaylandConnection::open(QFile::encodeName(m_sway.displayPath()), &m_error);
        ASSERT_TRUE(connection) << qPrintable(m_error);
        m_windows = std::make_unique<WaylandWindowSystem>(connection, m_sway.ipcSocket());
        const QString reason = m_driver.setUp();
        ASSERT_TRUE(reason.isEmpty()) << qPrintable(reason);
    }

    QProcessEnvironment environment() override
    {
        QProcessEnvironment environment = m_sway.clientEnvironment();
        environment.remove(str("SWAYSOCK"));
        return environment;
    }
    WindowSystem& windows() override { return *m_windows; }
    bool onTop(Window) override { return false; } // wlroots has no always-on-top band
    // From the middle, so that the pointer enters the corner surface anew each time.
    void pointerIntoCorner() override
    {
        m_sway.movePointer(HeadlessSway::Width / 2, HeadlessSway::Height / 2);
        m_sway.movePointer(HeadlessSway::Width - 1, HeadlessSway::Height - 1);
    }
    void typeLine(const QString&) override { ADD_FAILURE() << "sway has no virtual keyboard here"; }

    std::unique_ptr<WaylandWindowSystem> m_windows;
    ProgramDriver m_driver {*this};
};

TEST_F(ProgramOnSway, aBlockEverythingRuleSparesTheProgramsOwnWindowsWithoutTheirProcess)
{
    EXPECT_TRUE(m_driver.blockEverythingSparesOwnWindows().first);
}

} // namespace Tollgate::Test
