#include "platform/fake/FakePlatform.h"

#include "common/TestEnvironment.h"
#include "platform/PlatformFactory.h"
#include "platform/ProcessLookup.h"

#include <gtest/gtest.h>

using namespace Tollgate::Platform;

namespace {

class ProcessLookupOnFakes : public testing::Test
{
protected:
    FakeProcessTable& processes() { return m_fake.processes(); }

    FakePlatform m_fake;
    ProcessLookup m_lookup {m_fake.platform().windows(), m_fake.platform().processes()};
};

TEST_F(ProcessLookupOnFakes, findsTheFirstProcessOfTheWholeNameIgnoringCase)
{
    processes().addProcess(str("other"));
    const ProcessId first = processes().addProcess(str("game.exe"));
    processes().addProcess(str("Game.EXE"));
    EXPECT_EQ(m_lookup.FindProcessId(str("GAME.EXE")), first);
    for (const QString& name : {str("game"), str("C:\\Games\\game.exe"), str("game*"), QString()})
        EXPECT_EQ(m_lookup.FindProcessId(name), 0u) << name.toStdString();
}

TEST_F(ProcessLookupOnFakes, endsAProcessThroughItsTopmostWindowThatIsNoPopupUnlessItIsProtected)
{
    const ProcessId pid = processes().addProcess(str("editor"));
    const WindowId lower = m_fake.windows().addWindow(str("Editor 1"), pid);
    const WindowId upper = m_fake.windows().addWindow(str("Editor 2"), pid);
    m_fake.windows().addWindow(str("Find"), pid, true);
    m_fake.windows().addWindow(str("Viewer"), processes().addProcess(str("viewer")));
    EXPECT_EQ(m_lookup.FindProcessWindow(pid), upper);
    m_fake.windows().setTopMost(lower, true);
    EXPECT_EQ(m_lookup.FindProcessWindow(pid), lower);
    EXPECT_EQ(m_lookup.FindProcessWindow(0), 0u);
    EXPECT_EQ(m_lookup.FindProcessWindow(processes().addProcess(str("daemon"))), 0u);

    EXPECT_EQ(m_lookup.GetWindowProcessId(lower), pid);
    m_lookup.TerminateWindowProcess(0);
    EXPECT_TRUE(processes().kills().isEmpty());
    m_lookup.TerminateWindowProcess(lower);
    EXPECT_EQ(processes().kills(), QList<ProcessId> {pid});
    EXPECT_EQ(m_lookup.FindProcessId(str("editor")), 0u);
    EXPECT_EQ(m_lookup.GetWindowProcessId(lower), 0u) << "its windows went with it";

    const ProcessId service = processes().addProcess(str("service"));
    processes().setTerminationPermitted(service, false);
    EXPECT_EQ(m_fake.platform().processes().terminate(service), TerminateResult::NotPermitted);
    EXPECT_EQ(m_lookup.FindProcessId(str("service")), service);
}

TEST(PlatformFactory, withoutAReachableDesktopGivesTheNullBackendThatSaysWhy)
{
    const struct
    {
        QString display, wayland, session;
        const char* reason;
    } cases[] = {
        {QString(), QString(), QString(), "no display"},
        {str(":0"), str("wayland-0"), str("wayland"), "wayland-0"},
        {str(":0"), QString(), str("wayland"), "wayland-0"},
        {str(":7391"), QString(), QString(), ":7391"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        const auto platform = PlatformFactory::create(c.display, c.wayland, c.session);
        ASSERT_TRUE(platform->backendName().startsWith(str("null: ")))
            << platform->backendName().toStdString();
        const QString reason = platform->backendName().mid(6);
        EXPECT_TRUE(
            reason.contains(str(c.reason)) && reason.contains(str("window rules need an X11 session")));
        // Process rules need no desktop.
        for (const CapabilityStatus& status : platform->capabilities()) {
            const bool process = status.capability == Capability::ProcessNames
                || status.capability == Capability::TerminationRights
                || status.capability == Capability::ProcessEvents;
            EXPECT_TRUE(process ? status.works : !status.works && status.detail == reason)
                << capabilityName(status.capability).toStdString();
        }

        WindowSystem& w = platform->windows();
        EXPECT_TRUE(w.foregroundWindow() == 0 && w.windowTitle(1).isEmpty() && w.topLevelWindows().isEmpty()
            && !w.postCloseRequest(1) && w.setTopMost(1, true) == 0 && w.windowProcessId(1) == 0);
        InputDevices& in = platform->input();
        EXPECT_TRUE(in.cursorPosition().isNull() && !in.setCursorPosition(QPoint(5, 5))
            && in.primaryScreenSize().isEmpty() && !in.keyActive(0x41));
    }
}

// A table that hands out whatever list the test sets, in its order.
class ListTable : public ProcessTable
{
public:
    QList<ProcessEntry> list;

    QList<ProcessEntry> snapshot() override { return list; }
    TerminateResult terminate(ProcessId) override { return TerminateResult::NoSuchProcess; }
    ProcessId start(const QString&) override { return 0; }
    QList<CapabilityStatus> capabilities() override { return {}; }
};

QStringList described(const ProcessChanges& changes)
{
    QStringList result;
    if (changes.complete)
        result.append(str("complete"));
    for (const ProcessEntry& entry : changes.started)
        result.append(QStringLiteral("+%1 %2").arg(entry.pid).arg(entry.name));
    for (const ProcessId pid : changes.ended)
        result.append(QStringLiteral("-%1").arg(pid));
    return result;
}

TEST(ProcessChangesFromSnapshots, aBackendWithoutChangesOfItsOwnIsComparedSnapshotBySnapshot)
{
    ListTable table;
    table.list = {{10, str("init")}, {20, str("shell")}, {30, str("editor")}};
    EXPECT_EQ(described(table.changes()),
        QStringList({str("complete"), str("+10 init"), str("+20 shell"), str("+30 editor")}));
    EXPECT_TRUE(described(table.changes()).isEmpty());

    table.list = {{10, str("init")}, {25, str("sh")}, {30, str("game")}};
    table.snapshot();
    EXPECT_EQ(described(table.changes()), QStringList({str("+25 sh"), str("+30 game"), str("-20")}))
        << "a snapshot in between consumes nothing";

    // Without an ascending order nothing can be merged: everything, every time.
    table.list = {{25, str("sh")}, {10, str("init")}};
    EXPECT_EQ(described(table.changes()), QStringList({str("complete"), str("+25 sh"), str("+10 init")}));
    EXPECT_EQ(described(table.changes()).first(), str("complete"));
    table.list = {{10, str("init")}};
    EXPECT_EQ(described(table.changes()), QStringList({str("complete"), str("+10 init")}));
    table.list.clear();
    EXPECT_EQ(described(table.changes()), QStringList({str("-10")}));
}

} // namespace
