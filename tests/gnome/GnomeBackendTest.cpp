// The GNOME Shell backend against a private headless shell with Tollgate's extension, Qt
// windows, and a helper extension's virtual pointer and keyboard standing in for the user:
// the desktop contract, then the corner, idle, the real program, a switched-off extension
// and a restarted shell.
#include "HeadlessGnome.h"
#include "common/DesktopContract.h"
#include "common/LocalProgramDesktop.h"
#include "platform/gnome/GnomeInputDevices.h"
#include "survey/IdleDetector.h"

using namespace Tollgate;
using namespace Tollgate::Platform;

namespace Tollgate::Test {

struct GnomeDesktop : QtWindows
{
    using Desktop = HeadlessGnome;
    // Not while a window kept above has the focus.
    static constexpr bool NewWindowsTakeTheFocus = false;
    static inline const QStringList Report = reportLines(
        {"backend: gnome", "foreground window: works", "window titles: works", "close requests: works",
            "topmost placement: works", "window process ids: works", "window change events: works",
            "key activity: works", "cursor: works", "screen size: works (1024 x 768", "system log: works"});

    static QString unavailableReason() { return HeadlessGnome::unavailableReason(); }
    static bool start(HeadlessGnome& gnome, QString* error)
    {
        return gnome.start(error) && qputenv("DBUS_SESSION_BUS_ADDRESS", gnome.busAddress().toLocal8Bit());
    }
    static std::unique_ptr<Platform::Platform> platform(HeadlessGnome& gnome)
    {
        auto platform = PlatformFactory::create(QString(), gnome.displayPath(), str("wayland"));
        auto* windows = dynamic_cast<GnomeWindowSystem*>(&platform->windows());
        EXPECT_TRUE(windows && waitProcessingEvents([&] { return windows->hasReported(); }))
            << "the extension never reported: " << qPrintable(platform->backendName());
        return platform;
    }
    static bool activate(HeadlessGnome& gnome, Platform::Platform& platform, WindowId window)
    {
        return gnome.activate(platform.windows().windowTitle(window));
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Gnome, DesktopContract, GnomeDesktop);

class GnomeSession : public DesktopContract<GnomeDesktop>
{
protected:
    GnomeWindowSystem& gnomeWindows() { return dynamic_cast<GnomeWindowSystem&>(windows()); }
    GnomeInputDevices& input() { return dynamic_cast<GnomeInputDevices&>(m_platform->input()); }
    bool pointerTo(int x, int y) { return s_desktop->movePointer(x, y); }
};

TEST_F(GnomeSession, theCornerBringsThePromptOnceAndIdleWarnsOncePerIdlePeriod)
{
    IdleDetector detector(m_rules, input(), m_notifier);
    const auto promptedTimes = [&](int times) {
        return waitProcessingEvents([&] {
            detector.SurveyIdle(SurveyCycle::IntervalMs);
            return m_notifier.passwordPrompts == times;
        });
    };
    ASSERT_TRUE(pointerTo(HeadlessGnome::Width / 2, HeadlessGnome::Height / 2));
    detector.SurveyIdle(SurveyCycle::IntervalMs);
    EXPECT_EQ(m_notifier.passwordPrompts, 0) << "the pointer in the middle is no gesture";
    ASSERT_TRUE(pointerTo(HeadlessGnome::Width - 1, HeadlessGnome::Height - 1));
    ASSERT_TRUE(promptedTimes(1)) << "the pointer entering the corner did not bring the prompt";
    // Resting in the corner is one gesture; leaving and coming back is the next.
    for (int tick = 0; tick < 5; ++tick)
        detector.SurveyIdle(SurveyCycle::IntervalMs);
    EXPECT_EQ(m_notifier.passwordPrompts, 1);
    ASSERT_TRUE(pointerTo(HeadlessGnome::Width / 2, HeadlessGnome::Height / 2));
    ASSERT_TRUE(pointerTo(HeadlessGnome::Width - 1, HeadlessGnome::Height - 1));
    EXPECT_TRUE(promptedTimes(2));

    // Each tick stands for ten seconds, so that the shortest idle time passes in a few.
    constexpr int tickMs = 10000;
    const int ticksToTimeout = m_rules.idleTime() * 1000 / tickMs + 2;
    ASSERT_TRUE(input().watchingIdle());
    const auto idleFor = [&](int ticks) {
        ASSERT_TRUE(waitProcessingEvents([&] { return !input().keyActive(0x41); }))
            << "mutter never reported the user idle";
        for (int tick = 0; tick < ticks; ++tick)
            detector.SurveyIdle(tickMs);
    };
    int step = 0;
    const auto userInput = [&] {
        return pointerTo(100 + (++step % 2) * 3, 100)
            && waitProcessingEvents([&] { return input().keyActive(0x41); });
    };
    idleFor(ticksToTimeout * 3);
    EXPECT_EQ(m_notifier.timeoutMessages, 1) << "one idle period warns once";
    ASSERT_TRUE(userInput()) << "mutter did not report the input";
    detector.SurveyIdle(tickMs);
    EXPECT_FALSE(detector.idleWarned());
    idleFor(ticksToTimeout);
    EXPECT_EQ(m_notifier.timeoutMessages, 2) << "the next idle period did not warn";
}

// The real program on GNOME Shell: its message kept above through the extension, the
// corner gesture and the password typed on the virtual keyboard.
class ProgramOnGnome : public GnomeSession, public LocalProgramDesktop
{
protected:
    void SetUp() override
    {
        GnomeSession::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const QString reason = m_driver.setUp();
        ASSERT_TRUE(reason.isEmpty()) << qPrintable(reason);
    }

    QProcessEnvironment environment() override { return s_desktop->clientEnvironment(); }
    WindowSystem& windows() override
    {
        QCoreApplication::processEvents();
        return m_platform->windows();
    }
    bool onTop(Window window) override { return gnomeWindows().keptAbove(WindowId(window)); }
    void pointerIntoCorner() override
    {
        pointerTo(HeadlessGnome::Width / 2, HeadlessGnome::Height / 2);
        pointerTo(HeadlessGnome::Width - 1, HeadlessGnome::Height - 1);
    }
    void typeLine(const QString& text) override { EXPECT_TRUE(s_desktop->typeLine(text)); }

    ProgramDriver m_driver {*this};
};

TEST_F(ProgramOnGnome, UnattendedStartEnforcesTheDocumentWithTheMessageKeptAbove)
{
    m_driver.unattendedStartEnforcesTheDocument();
}

TEST_F(ProgramOnGnome, TheCornerAndThePasswordStopTheSurvey)
{
    m_driver.passwordStopsTheSurveyAndShowsTheMainWindow();
}

// Last: it restarts the shell.
TEST_F(GnomeSession, aSwitchedOffExtensionComesBackAndARestartedShellIsListedAnew)
{
    const QString before = str("Tollgate probe before");
    QProcess* client = startWindow(before);
    ASSERT_NE(showWindow(client, before), 0u);
    // Someone at the keyboard switches the extension off: Tollgate switches it on again.
    ASSERT_TRUE(s_desktop->shellCall(str("/org/gnome/Shell"), str("org.gnome.Shell.Extensions"),
        str("DisableExtension"), {GnomeWindowSystem::ExtensionUuid}));
    ASSERT_TRUE(waitProcessingEvents([&] { return !gnomeWindows().hasReported(); }))
        << "the switched-off extension went unnoticed";
    const WindowId back = showWindow(client, before);
    EXPECT_NE(back, 0u) << "the extension was not switched on again";
    EXPECT_EQ(windows().windowProcessId(back), ProcessId(client->processId()));

    // A shell without the extension: the old windows go, and a new start says what is missing.
    QString error;
    ASSERT_TRUE(s_desktop->restart(false, &error)) << qPrintable(error);
    EXPECT_TRUE(waitProcessingEvents([&] { return windows().topLevelWindows().isEmpty(); }))
        << "a window of the old shell is still listed";
    const auto fallback = PlatformFactory::create(QString(), s_desktop->displayPath(), str("wayland"));
    EXPECT_TRUE(fallback->backendName().startsWith(str("null: ")));
    EXPECT_TRUE(fallback->backendName().contains(GnomeWindowSystem::ExtensionUuid + str(" is not installed")))
        << qPrintable(fallback->backendName());

    // With it again, the backend of the first shell lists the new one's windows.
    ASSERT_TRUE(s_desktop->restart(true, &error)) << qPrintable(error);
    QProcess* after = startWindow(str("Tollgate probe after"));
    const WindowId fresh = showWindow(after, str("Tollgate probe after"));
    ASSERT_NE(fresh, 0u) << "the new shell does not report to Tollgate";
    EXPECT_EQ(windows().windowProcessId(fresh), ProcessId(after->processId()));
}

} // namespace Tollgate::Test
