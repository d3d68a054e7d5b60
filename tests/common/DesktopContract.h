#pragma once

// What every window backend does on a real desktop, written once and instantiated per
// backend with a traits struct:
//     using Desktop = ...;  // the private desktop the backend runs on
//     static QString unavailableReason();  // what this machine lacks; empty when it can run
//     static bool start(Desktop&, QString* error);
//     static std::unique_ptr<Platform::Platform> platform(Desktop&);
//     static QProcess* startWindow(Desktop&, const QString& title);  // the window's process
//     static void retitle(QProcess* window, const QString& title);
//     // Gives the window the focus; false where the test has no way to.
//     static bool activate(Desktop&, Platform::Platform&, Platform::WindowId);
//     static constexpr bool NewWindowsTakeTheFocus;
//     static inline const QStringList Report;  // lines of --check-platform, "backend: ..." first
//     // Optional: what the system lacks to report a retitled window at all; empty when nothing.
//     static QString titleEventsMissing();
// Cases that need a capability the backend says it lacks skip with the backend's reason.
#include "PrivateDesktop.h"
#include "RecordingNotifier.h"
#include "TestEnvironment.h"
#include "WaitUntil.h"
#include "platform/PlatformFactory.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/Clock.h"
#include "survey/SurveyCycle.h"

#include <gtest/gtest.h>

namespace Tollgate::Test {

// What tollgate --check-platform prints in a session with this environment; empty when it
// did not end.
inline QString checkPlatformReport(QProcessEnvironment environment)
{
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate"),
        {QStringLiteral("--check-platform")});
    if (!program.waitForFinished(60000))
        return QString();
    EXPECT_EQ(program.exitCode(), 0);
    return QString::fromUtf8(program.readAllStandardOutput());
}

inline QStringList reportLines(std::initializer_list<const char*> lines)
{
    QStringList result;
    for (const char* line : lines)
        result.append(QString::fromUtf8(line));
    return result;
}

// Windows of the Qt helper tollgate_test_window, for the desktops Qt runs on.
struct QtWindows
{
    static QProcess* startWindow(PrivateDesktop& desktop, const QString& title)
    {
        return desktop.startClient(
            QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate_test_window"), {title});
    }
    static void retitle(QProcess* window, const QString& title)
    {
        window->write(title.toUtf8() + '\n');
        window->waitForBytesWritten(10000);
    }
};

template<typename Traits> class DesktopContract : public testing::Test
{
protected:
    // One desktop for the process, shared by the suites of a backend: a process keeps its
    // first session bus, and KWin's is private.
    static void SetUpTestSuite()
    {
        if (s_desktop || !(s_reason = Traits::unavailableReason()).isEmpty())
            return;
        s_desktop = std::make_unique<typename Traits::Desktop>();
        qAddPostRoutine([] { s_desktop.reset(); });
        if (!Traits::start(*s_desktop, &s_error) && s_error.isEmpty())
            s_error = QStringLiteral("it did not start");
    }

    void SetUp() override
    {
        if (!s_reason.isEmpty())
            GTEST_SKIP() << "this desktop cannot run here: " << qPrintable(s_reason);
        ASSERT_TRUE(s_error.isEmpty()) << "the private desktop failed: " << qPrintable(s_error);
        m_platform = Traits::platform(*s_desktop);
        ASSERT_TRUE(
            (QStringLiteral("backend: ") + m_platform->backendName()).startsWith(Traits::Report.first()))
            << qPrintable(m_platform->backendName());
    }
    void TearDown() override
    {
        m_platform.reset();
        if (s_desktop)
            s_desktop->killClients();
    }

    Platform::WindowSystem& windows() { return m_platform->windows(); }
    QProcess* startWindow(const QString& title) { return Traits::startWindow(*s_desktop, title); }
    bool activate(Platform::WindowId window) { return Traits::activate(*s_desktop, *m_platform, window); }

    // The client's window once it is listed with this title and is the foreground window; 0
    // when it never is.
    Platform::WindowId showWindow(QProcess* client, const QString& title)
    {
        Platform::WindowId found = 0;
        waitProcessingEvents([&] {
            for (const Platform::TopLevelWindow& listed : windows().topLevelWindows()) {
                if (client && windows().windowTitle(listed.window) == title)
                    found = listed.window;
            }
            return found != 0;
        });
        if (found && !Traits::NewWindowsTakeTheFocus)
            activate(found);
        const bool shown = waitProcessingEvents([&] {
            return found && windows().foregroundWindow() == found && windows().windowTitle(found) == title;
        });
        return shown ? found : 0;
    }

    int indexOf(Platform::WindowId window)
    {
        const QList<Platform::TopLevelWindow> all = windows().topLevelWindows();
        for (int i = 0; i < all.size(); ++i) {
            if (all[i].window == window)
                return i;
        }
        return -1;
    }
    bool listedAbove(Platform::WindowId upper, Platform::WindowId lower)
    {
        return waitProcessingEvents([&] { return indexOf(upper) >= 0 && indexOf(upper) < indexOf(lower); });
    }

    // Empty when the backend says the capability works, else its reason.
    QString lacks(Platform::Capability capability)
    {
        for (const Platform::CapabilityStatus& status : m_platform->capabilities()) {
            if (status.capability == capability)
                return status.works ? QString() : status.detail;
        }
        return QStringLiteral("the backend does not list it");
    }

    // A survey on this desktop with a rule that blocks "*forbidden*" titles.
    struct Survey
    {
        Survey(DesktopContract& test, int intervalMs)
            : log(Sandbox::folder() + QStringLiteral("/Tollgate.log"), clock)
            , cycle(test.m_rules, *test.m_platform, test.m_notifier, log, clock, intervalMs)
        {
            test.m_rules.windowRules().appendRow(
                {QStringLiteral("*forbidden*"), QStringLiteral("(1) Block")});
            cycle.run();
        }
        QByteArray logText() const { return Sandbox::readFile(log.LogFilePath()); }
        bool logged(const QByteArray& title) const
        {
            return logText().contains(';' + title + ";*forbidden*\r\n");
        }
        SystemClock clock;
        ActivityLog log;
        SurveyCycle cycle;
    };

    std::unique_ptr<Platform::Platform> m_platform;
    RuleSet m_rules;
    RecordingNotifier m_notifier;
    static inline std::unique_ptr<typename Traits::Desktop> s_desktop;
    static inline QString s_reason;
    static inline QString s_error;
};

TYPED_TEST_SUITE_P(DesktopContract);

TYPED_TEST_P(DesktopContract, foregroundWindowTitleProcessAndStacking)
{
    QProcess* firstClient = this->startWindow(QStringLiteral("Tollgate probe one"));
    ASSERT_TRUE(firstClient);
    const Platform::WindowId first = this->showWindow(firstClient, QStringLiteral("Tollgate probe one"));
    ASSERT_NE(first, 0u) << "the window never became the foreground window";
    EXPECT_EQ(this->windows().windowProcessId(first), Platform::ProcessId(firstClient->processId()));

    QProcess* secondClient = this->startWindow(QStringLiteral("Tollgate probe two"));
    const Platform::WindowId second = this->showWindow(secondClient, QStringLiteral("Tollgate probe two"));
    ASSERT_NE(second, 0u);
    EXPECT_NE(second, first);
    EXPECT_EQ(this->windows().windowProcessId(second), Platform::ProcessId(secondClient->processId()));
    EXPECT_TRUE(this->listedAbove(second, first)) << "the newer window is not listed first";
    if (this->activate(first)) {
        EXPECT_TRUE(waitProcessingEvents([&] { return this->windows().foregroundWindow() == first; }));
    }
}

TYPED_TEST_P(DesktopContract, aCloseRequestEndsTheClientAndAGoneWindowAnswersNothing)
{
    QProcess* client = this->startWindow(QStringLiteral("Tollgate probe closing"));
    ASSERT_TRUE(client);
    const Platform::WindowId window = this->showWindow(client, QStringLiteral("Tollgate probe closing"));
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(this->windows().postCloseRequest(window));
    EXPECT_TRUE(waitProcessingEvents([&] { return ChildProcesses::exited(client); }))
        << "the close request did not end the client";
    EXPECT_TRUE(waitProcessingEvents([&] { return this->indexOf(window) < 0; })) << "still listed";
    for (const Platform::WindowId gone : {window, Platform::WindowId(0), Platform::WindowId(0x7ffffff0)}) {
        SCOPED_TRACE(gone);
        EXPECT_EQ(this->windows().windowTitle(gone), QString());
        EXPECT_FALSE(this->windows().postCloseRequest(gone));
        EXPECT_EQ(this->windows().setTopMost(gone, true), 0);
        EXPECT_EQ(this->windows().windowProcessId(gone), 0u);
    }
}

TYPED_TEST_P(DesktopContract, aTopmostWindowStaysAboveNewerOnesUntilTakenOut)
{
    if (const QString reason = this->lacks(Platform::Capability::TopMost); !reason.isEmpty())
        GTEST_SKIP() << "the backend places no window on top: " << qPrintable(reason);
    const Platform::WindowId kept = this->showWindow(
        this->startWindow(QStringLiteral("Tollgate kept")), QStringLiteral("Tollgate kept"));
    ASSERT_NE(kept, 0u);
    EXPECT_NE(this->windows().setTopMost(kept, true), 0);
    const Platform::WindowId newer = this->showWindow(
        this->startWindow(QStringLiteral("Tollgate newer")), QStringLiteral("Tollgate newer"));
    ASSERT_NE(newer, 0u);
    EXPECT_TRUE(this->listedAbove(kept, newer)) << "the topmost window is not listed above the active one";

    EXPECT_EQ(this->windows().setTopMost(kept, false), 0);
    const Platform::WindowId newest = this->showWindow(
        this->startWindow(QStringLiteral("Tollgate newest")), QStringLiteral("Tollgate newest"));
    ASSERT_NE(newest, 0u);
    EXPECT_TRUE(this->listedAbove(newest, kept)) << "the window taken out of the band stays above";
}

TYPED_TEST_P(DesktopContract, aBlockRuleClosesARealWindowAtTheTick)
{
    QProcess* client = this->startWindow(QStringLiteral("A Forbidden Game"));
    ASSERT_NE(this->showWindow(client, QStringLiteral("A Forbidden Game")), 0u);
    typename TestFixture::Survey survey(*this, SurveyCycle::IntervalMs);
    EXPECT_TRUE(waitProcessingEvents([&] {
        survey.cycle.tick();
        return ChildProcesses::exited(client);
    })) << "the blocked window was not closed";
    EXPECT_GE(this->m_notifier.blockMessages, 1);
    EXPECT_TRUE(survey.logged("A Forbidden Game"));
}

TYPED_TEST_P(DesktopContract, aRetitledWindowIsBlockedWithoutWaitingForATick)
{
    if (const QString reason = this->lacks(Platform::Capability::WindowEvents); !reason.isEmpty())
        GTEST_SKIP() << "the backend reports no window changes: " << qPrintable(reason);
    // The tick would come only after an hour: whatever the survey does before then, it
    // does because the desktop reported a change.
    typename TestFixture::Survey survey(*this, 3600 * 1000);
    QProcess* client = this->startWindow(QStringLiteral("Harmless notes"));
    ASSERT_NE(this->showWindow(client, QStringLiteral("Harmless notes")), 0u);
    ASSERT_TRUE(waitProcessingEvents([&] { return survey.cycle.surveysRun() > 0; }))
        << "the new window was not reported";
    EXPECT_EQ(this->m_notifier.blockMessages, 0);
    if constexpr (requires { TypeParam::titleEventsMissing(); }) {
        if (const QString reason = TypeParam::titleEventsMissing(); !reason.isEmpty())
            GTEST_SKIP() << "this system reports new windows but no title changes: " << qPrintable(reason);
    }

    TypeParam::retitle(client, QStringLiteral("Now a forbidden game"));
    EXPECT_TRUE(waitProcessingEvents([&] { return ChildProcesses::exited(client); }))
        << "the retitled window was not closed before the tick";
    EXPECT_GE(this->m_notifier.blockMessages, 1);
    EXPECT_TRUE(survey.logged("Now a forbidden game"));
}

TYPED_TEST_P(DesktopContract, checkPlatformNamesTheBackendAndWhatWorks)
{
    const QString report = checkPlatformReport(this->s_desktop->clientEnvironment());
    EXPECT_TRUE(report.startsWith(TypeParam::Report.first())) << qPrintable(report);
    for (const QString& line : TypeParam::Report)
        EXPECT_TRUE(report.contains(line)) << qPrintable(line) << "\n" << qPrintable(report);
}

REGISTER_TYPED_TEST_SUITE_P(DesktopContract, foregroundWindowTitleProcessAndStacking,
    aCloseRequestEndsTheClientAndAGoneWindowAnswersNothing, aTopmostWindowStaysAboveNewerOnesUntilTakenOut,
    aBlockRuleClosesARealWindowAtTheTick, aRetitledWindowIsBlockedWithoutWaitingForATick,
    checkPlatformNamesTheBackendAndWhatWorks);

} // namespace Tollgate::Test
