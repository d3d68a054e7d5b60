#include "platform/fake/FakePlatform.h"

#include "platform/PlatformFactory.h"
#include "platform/ProcessLookup.h"

#include <gtest/gtest.h>

using namespace Tollgate::Platform;

namespace {

class ProcessLookupOnFakes : public testing::Test
{
protected:
    FakePlatform m_fake;
    ProcessLookup m_lookup {m_fake.platform().windows(), m_fake.platform().processes()};
};

TEST_F(ProcessLookupOnFakes, findsTheFirstProcessOfANameIgnoringCase)
{
    m_fake.processes().addProcess(QStringLiteral("other"));
    const ProcessId first = m_fake.processes().addProcess(QStringLiteral("game.exe"));
    m_fake.processes().addProcess(QStringLiteral("Game.EXE"));

    EXPECT_EQ(m_lookup.FindProcessId(QStringLiteral("GAME.EXE")), first);
    EXPECT_EQ(m_lookup.FindProcessId(QStringLiteral("game")), 0u) << "no partial names";
    EXPECT_EQ(m_lookup.FindProcessId(QStringLiteral("C:\\Games\\game.exe")), 0u) << "no folders";
    EXPECT_EQ(m_lookup.FindProcessId(QStringLiteral("game*")), 0u) << "no wildcards";
    EXPECT_EQ(m_lookup.FindProcessId(QString()), 0u);
}

TEST_F(ProcessLookupOnFakes, theProcessWindowIsItsTopmostWindowThatIsNoPopup)
{
    const ProcessId pid = m_fake.processes().addProcess(QStringLiteral("editor"));
    const ProcessId other = m_fake.processes().addProcess(QStringLiteral("viewer"));
    const WindowId lower = m_fake.windows().addWindow(QStringLiteral("Editor 1"), pid);
    const WindowId upper = m_fake.windows().addWindow(QStringLiteral("Editor 2"), pid);
    m_fake.windows().addWindow(QStringLiteral("Find"), pid, true);
    m_fake.windows().addWindow(QStringLiteral("Viewer"), other);

    EXPECT_EQ(m_lookup.FindProcessWindow(pid), upper);
    m_fake.windows().setTopMost(lower, true);
    EXPECT_EQ(m_lookup.FindProcessWindow(pid), lower);
    EXPECT_EQ(m_lookup.FindProcessWindow(0), 0u);
    EXPECT_EQ(m_lookup.FindProcessWindow(m_fake.processes().addProcess(QStringLiteral("daemon"))), 0u);
}

TEST_F(ProcessLookupOnFakes, terminatingThroughAWindowEndsItsOwner)
{
    const ProcessId pid = m_fake.processes().addProcess(QStringLiteral("game"));
    const WindowId window = m_fake.windows().addWindow(QStringLiteral("Game"), pid);
    EXPECT_EQ(m_lookup.GetWindowProcessId(window), pid);

    m_lookup.TerminateWindowProcess(0);
    EXPECT_TRUE(m_fake.processes().kills().isEmpty());

    m_lookup.TerminateWindowProcess(window);
    EXPECT_EQ(m_fake.processes().kills(), QList<ProcessId> {pid});
    EXPECT_EQ(m_lookup.FindProcessId(QStringLiteral("game")), 0u);
    EXPECT_EQ(m_lookup.GetWindowProcessId(window), 0u) << "its windows went with it";
}

TEST_F(ProcessLookupOnFakes, aProtectedProcessSurvives)
{
    const ProcessId pid = m_fake.processes().addProcess(QStringLiteral("service"));
    m_fake.processes().setTerminationPermitted(pid, false);
    EXPECT_EQ(m_fake.platform().processes().terminate(pid), TerminateResult::NotPermitted);
    EXPECT_EQ(m_lookup.FindProcessId(QStringLiteral("service")), pid);
}

TEST(PlatformFactory, choosesTheNullWindowBackendWithoutAnXServer)
{
    for (const auto& [display, wayland, session] : {std::tuple {QString(), QString(), QString()},
             std::tuple {QStringLiteral(":0"), QStringLiteral("wayland-0"), QStringLiteral("wayland")},
             std::tuple {QStringLiteral(":0"), QString(), QStringLiteral("wayland")}}) {
        const auto platform = PlatformFactory::create(display, wayland, session);
        EXPECT_TRUE(platform->backendName().startsWith(QStringLiteral("null")));
        int windowCapabilities = 0;
        for (const CapabilityStatus& status : platform->capabilities()) {
            if (status.capability == Capability::ProcessNames
                || status.capability == Capability::ProcessEvents) {
                EXPECT_TRUE(status.works);
            } else if (status.capability != Capability::TerminationRights) {
                EXPECT_FALSE(status.works);
                EXPECT_TRUE(status.detail.contains(QStringLiteral("window rules need an X11 session")));
                ++windowCapabilities;
            }
        }
        EXPECT_EQ(windowCapabilities, 9);
        EXPECT_EQ(platform->windows().foregroundWindow(), 0u);
        EXPECT_EQ(platform->windows().setTopMost(1, true), 0);
        EXPECT_FALSE(platform->input().keyActive(0x41));
    }
}

TEST(PlatformFactory, anUnreachableDisplayGivesTheNullBackendWithTheReason)
{
    const auto platform = PlatformFactory::create(QStringLiteral(":7391"), QString(), QString());
    EXPECT_TRUE(platform->backendName().startsWith(QStringLiteral("null")));
    EXPECT_TRUE(platform->backendName().contains(QStringLiteral(":7391")));
}

} // namespace

namespace {

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
        result.append(QStringLiteral("complete"));
    for (const ProcessEntry& entry : changes.started)
        result.append(QStringLiteral("+%1 %2").arg(entry.pid).arg(entry.name));
    for (const ProcessId pid : changes.ended)
        result.append(QStringLiteral("-%1").arg(pid));
    return result;
}

} // namespace

TEST(ProcessChangesFromSnapshots, aBackendWithoutChangesOfItsOwnIsComparedSnapshotBySnapshot)
{
    ListTable table;
    table.list
        = {{10, QStringLiteral("init")}, {20, QStringLiteral("shell")}, {30, QStringLiteral("editor")}};
    EXPECT_EQ(described(table.changes()),
        QStringList({QStringLiteral("complete"), QStringLiteral("+10 init"), QStringLiteral("+20 shell"),
            QStringLiteral("+30 editor")}));
    EXPECT_TRUE(described(table.changes()).isEmpty());

    table.list = {{10, QStringLiteral("init")}, {20, QStringLiteral("game")}, {25, QStringLiteral("sh")}};
    table.snapshot();
    EXPECT_EQ(described(table.changes()),
        QStringList({QStringLiteral("+20 game"), QStringLiteral("+25 sh"), QStringLiteral("-30")}))
        << "a snapshot in between consumes nothing";

    // Without an ascending order nothing can be merged: everything, every time.
    table.list = {{25, QStringLiteral("sh")}, {10, QStringLiteral("init")}};
    EXPECT_EQ(described(table.changes()),
        QStringList({QStringLiteral("complete"), QStringLiteral("+25 sh"), QStringLiteral("+10 init")}));
    EXPECT_EQ(described(table.changes()).first(), QStringLiteral("complete"));
    table.list = {{10, QStringLiteral("init")}};
    EXPECT_EQ(
        described(table.changes()), QStringList({QStringLiteral("complete"), QStringLiteral("+10 init")}));
    table.list.clear();
    EXPECT_EQ(described(table.changes()), QStringList({QStringLiteral("-10")}));
}
