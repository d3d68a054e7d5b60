// The KDE Plasma backend against a private KWin in its virtual mode on a private session bus,
// with Qt windows: the desktop contract, then idle, the corner surface and a restarted KWin.
#include "HeadlessKWin.h"
#include "common/DesktopContract.h"
#include "common/LocalProgramDesktop.h"
#include "platform/kwin/KWinWindowSystem.h"
#include "platform/wayland/WaylandInputDevices.h"

#include <QDBusConnection>

using namespace Tollgate;
using namespace Tollgate::Platform;

namespace Tollgate::Test {

struct KWinDesktop : QtWindows
{
    using Desktop = HeadlessKWin;
    static constexpr bool NewWindowsTakeTheFocus = true;
    static inline const QStringList Report
        = reportLines({"backend: kwin", "foreground window: works", "window titles: works",
            "close requests: works", "topmost placement: works", "window process ids: works",
            "window change events: unavailable", "key activity: works", "KWin script", "system log: works"});

    static QString unavailableReason() { return HeadlessKWin::unavailableReason(); }
    static bool start(HeadlessKWin& kwin, QString* error)
    {
        return kwin.start(error) && qputenv("DBUS_SESSION_BUS_ADDRESS", kwin.busAddress().toLocal8Bit())
            && waitProcessingEvents(
                [&] { return KWinWindowSystem::available(QDBusConnection::sessionBus(), error); });
    }
    static std::unique_ptr<Platform::Platform> platform(HeadlessKWin& kwin)
    {
        auto platform = PlatformFactory::create(QString(), kwin.displayPath(), str("wayland"));
        auto* windows = dynamic_cast<KWinWindowSystem*>(&platform->windows());
        EXPECT_TRUE(windows && waitProcessingEvents([&] { return windows->hasReported(); }))
            << "the script never reported";
        return platform;
    }
    static bool activate(HeadlessKWin&, Platform::Platform&, WindowId) { return false; }
};

INSTANTIATE_TYPED_TEST_SUITE_P(KWin, DesktopContract, KWinDesktop);

class KWinSession : public DesktopContract<KWinDesktop>
{
protected:
    WaylandInputDevices& input() { return dynamic_cast<WaylandInputDevices&>(m_platform->input()); }
};

// The virtual session has no input devices: the seat goes idle. What the idle detector makes
// of that is the same WaylandInputDevices as on sway, whose test feeds it input too.
TEST_F(KWinSession, theSeatGoesIdleAndTheCornerSurfaceIsOnThePrimaryOutput)
{
    ASSERT_TRUE(waitProcessingEvents([&] { return !input().keyActive(0x41); }))
        << "KWin never reported the seat idle";
    ASSERT_TRUE(waitProcessingEvents([&] {
        input().cursorPosition();
        return input().cornerSurfaceMapped();
    })) << "KWin did not place the layer-shell corner surface";
    EXPECT_EQ(input().primaryScreenSize(), QSize(HeadlessKWin::Width, HeadlessKWin::Height));
}

// The real program on KWin: its message window is kept above the others through the script.
class ProgramOnKWin : public KWinSession, public LocalProgramDesktop
{
protected:
    void SetUp() override
    {
        KWinSession::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const QString reason = m_driver.setUp();
        ASSERT_TRUE(reason.isEmpty()) << qPrintable(reason);
    }

    QProcessEnvironment environment() override { return s_desktop->clientEnvironment(); }
    // The script reports over the bus: its messages come in whenever the driver looks.
    WindowSystem& windows() override
    {
        QCoreApplication::processEvents();
        return m_platform->windows();
    }
    bool onTop(Window window) override
    {
        return dynamic_cast<KWinWindowSystem&>(windows()).keptAbove(WindowId(window));
    }
    void pointerIntoCorner() override { ADD_FAILURE() << "the virtual KWin has no pointer here"; }
    void typeLine(const QString&) override { ADD_FAILURE() << "the virtual KWin has no keyboard here"; }

    ProgramDriver m_driver {*this};
};

TEST_F(ProgramOnKWin, UnattendedStartEnforcesTheDocumentWithTheMessageKeptAbove)
{
    m_driver.unattendedStartEnforcesTheDocument();
}

// Last: it restarts the process's KWin.
TEST_F(KWinSession, aRestartedKWinGetsTheScriptAgainAndForgetsTheOldWindows)
{
    QProcess* before = startWindow(str("Tollgate probe before"));
    const WindowId old = showWindow(before, str("Tollgate probe before"));
    ASSERT_NE(old, 0u);

    QString error;
    ASSERT_TRUE(s_desktop->restart(&error)) << qPrintable(error);
    EXPECT_TRUE(waitProcessingEvents([&] { return windows().windowTitle(old).isEmpty(); }))
        << "a window of the old KWin is still listed";
    QProcess* after = startWindow(str("Tollgate probe after"));
    const WindowId fresh = showWindow(after, str("Tollgate probe after"));
    ASSERT_NE(fresh, 0u) << "the new KWin does not report to Tollgate";
    EXPECT_EQ(windows().windowProcessId(fresh), ProcessId(after->processId()));
}

} // namespace Tollgate::Test
