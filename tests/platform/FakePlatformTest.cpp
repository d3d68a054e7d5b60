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

TEST(FakeBackend, recordsWhatWasAskedAndBehavesLikeADesktop)
{
    FakePlatform fake;
    Platform& platform = fake.platform();

    const WindowId window = fake.windows().addWindow(QString(300, u'x'), 1);
    fake.windows().setForegroundWindow(window);
    EXPECT_EQ(platform.windows().foregroundWindow(), window);
    EXPECT_EQ(platform.windows().windowTitle(window).size(), WindowSystem::MaxTitleLength);
    EXPECT_TRUE(platform.windows().postCloseRequest(window));
    EXPECT_FALSE(platform.windows().postCloseRequest(window + 100));
    EXPECT_EQ(fake.windows().closeRequests(), (QList<WindowId> {window, window + 100}));
    EXPECT_EQ(platform.windows().setTopMost(window + 100, true), 0);
    EXPECT_NE(platform.windows().setTopMost(window, true), 0);
    EXPECT_TRUE(fake.windows().isTopMost(window));
    EXPECT_EQ(fake.windows().addWindow(QStringLiteral("new"), 2), window + 1);
    EXPECT_EQ(platform.windows().topLevelWindows().first().window, window) << "the band stays in front";

    fake.input().pressKey(0x41);
    fake.input().setKeyDown(0x10, true);
    EXPECT_FALSE(platform.input().keyActive(0x10)) << "Shift lies outside the polled keys";
    EXPECT_TRUE(platform.input().keyActive(0x41));
    EXPECT_FALSE(platform.input().keyActive(0x41));
    fake.input().moveCursor(QPoint(5, 6));
    platform.input().setCursorPosition(QPoint(512, 384));
    EXPECT_EQ(platform.input().cursorPosition(), QPoint(512, 384));
    EXPECT_EQ(fake.input().cursorMoves(), QList<QPoint> {QPoint(512, 384)});

    const ProcessId started = platform.processes().start(QStringLiteral("'/opt/My Apps/notes' --new"));
    ASSERT_NE(started, 0u);
    EXPECT_EQ(platform.processes().snapshot().back(), (ProcessEntry {started, QStringLiteral("notes")}));
    fake.processes().setStartsFail(true);
    EXPECT_EQ(platform.processes().start(QStringLiteral("notes")), 0u);
    EXPECT_EQ(fake.processes().starts().size(), 2);

    platform.shell().open(QStringLiteral("/tmp/help.htm"));
    EXPECT_EQ(fake.shell().opened(), QStringList {QStringLiteral("/tmp/help.htm")});
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
            if (status.capability == Capability::ProcessNames) {
                EXPECT_TRUE(status.works);
            } else if (status.capability != Capability::TerminationRights) {
                EXPECT_FALSE(status.works);
                EXPECT_TRUE(status.detail.contains(QStringLiteral("window rules need an X11 session")));
                ++windowCapabilities;
            }
        }
        EXPECT_EQ(windowCapabilities, 8);
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
