#include "platform/fake/FakePlatform.h"

#include "common/RecordingNotifier.h"
#include "common/TestEnvironment.h"
#include "platform/PlatformFactory.h"
#include "platform/ProcessLookup.h"
#include "store/RuleSet.h"
#include "survey/IdleDetector.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace Tollgate::Platform;

namespace {

// By the whole name without case, the first of a name; a process is ended through its
// topmost window that is no popup, unless it is protected.
TEST(ProcessLookup, findsTheFirstOfAWholeNameAndEndsItThroughItsTopmostWindow)
{
    FakePlatform fake;
    FakeProcessTable& processes = fake.processes();
    ProcessLookup lookup {fake.platform().windows(), fake.platform().processes()};
    processes.addProcess(str("other"));
    const ProcessId first = processes.addProcess(str("game.exe"));
    processes.addProcess(str("Game.EXE"));
    EXPECT_EQ(lookup.FindProcessId(str("GAME.EXE")), first);
    for (const QString& name : {str("game"), str("C:\\Games\\game.exe"), str("game*"), QString()})
        EXPECT_EQ(lookup.FindProcessId(name), 0u) << name.toStdString();

    const ProcessId pid = processes.addProcess(str("editor"));
    const WindowId lower = fake.windows().addWindow(str("Editor 1"), pid);
    const WindowId upper = fake.windows().addWindow(str("Editor 2"), pid);
    fake.windows().addWindow(str("Find"), pid, true);
    fake.windows().addWindow(str("Viewer"), processes.addProcess(str("viewer")));
    EXPECT_EQ(lookup.FindProcessWindow(pid), upper);
    fake.windows().setTopMost(lower, true);
    EXPECT_EQ(lookup.FindProcessWindow(pid), lower);
    EXPECT_EQ(lookup.FindProcessWindow(0), 0u);
    EXPECT_EQ(lookup.FindProcessWindow(processes.addProcess(str("daemon"))), 0u);

    EXPECT_EQ(lookup.GetWindowProcessId(lower), pid);
    lookup.TerminateWindowProcess(0);
    EXPECT_TRUE(processes.kills().isEmpty());
    lookup.TerminateWindowProcess(lower);
    EXPECT_EQ(processes.kills(), QList<ProcessId> {pid});
    EXPECT_EQ(lookup.FindProcessId(str("editor")), 0u);
    EXPECT_EQ(lookup.GetWindowProcessId(lower), 0u) << "its windows went with it";
}

TEST(PlatformFactory, withoutAReachableDesktopGivesTheNullBackendThatSaysWhy)
{
    // The X11 and the Wayland display, the session type, and what the reason names.
    const std::tuple<QString, QString, QString, const char*> cases[] = {
        {QString(), QString(), QString(), "no display"},
        {str(":0"), str("wayland-0"), str("wayland"), "wayland-0"},
        {str(":0"), QString(), str("wayland"), "wayland-0"}, {str(":7391"), QString(), QString(), ":7391"}};
    for (const auto& [display, wayland, session, why] : cases) {
        SCOPED_TRACE(why);
        const auto platform = PlatformFactory::create(display, wayland, session);
        ASSERT_TRUE(platform->backendName().startsWith(str("null: ")))
            << platform->backendName().toStdString();
        const QString reason = platform->backendName().mid(6);
        EXPECT_TRUE(reason.contains(str(why)) && reason.contains(str("window rules need an X11 session")));
        // Process rules need no desktop.
        for (const CapabilityStatus& status : platform->capabilities()) {
            if (status.capability == Capability::Guard)
                continue; // a machine's, not the session's
            const bool process = status.capability == Capability::ProcessNames
                || status.capability == Capability::TerminationRights
                || status.capability == Capability::ProcessEvents
                || status.capability == Capability::SystemLog;
            EXPECT_TRUE(process ? status.works : !status.works && status.detail.startsWith(reason))
                << capabilityName(status.capability).toStdString();
        }

        WindowSystem& w = platform->windows();
        EXPECT_TRUE(w.foregroundWindow() == 0 && w.windowTitle(1).isEmpty() && w.topLevelWindows().isEmpty()
            && !w.postCloseRequest(1) && w.setTopMost(1, true) == 0 && w.windowProcessId(1) == 0);
        InputDevices& in = platform->input();
        EXPECT_TRUE(in.cursorPosition().isNull() && !in.setCursorPosition(QPoint(5, 5))
            && in.primaryScreenSize().isEmpty());
        // Unseen input is never idle, and without a screen there is no corner gesture.
        Tollgate::RuleSet rules;
        Tollgate::Test::RecordingNotifier notifier;
        Tollgate::IdleDetector idle(rules, in, notifier);
        for (int tick = 0; tick < 3 * rules.idleTime(); ++tick)
            idle.SurveyIdle(1000);
        EXPECT_EQ(notifier.timeoutMessages + notifier.passwordPrompts, 0);
    }
}

} // namespace
