#pragma once

#include "XServer.h"
#include "common/RecordingNotifier.h"
#include "common/TestEnvironment.h"
#include "platform/PlatformFactory.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/Clock.h"
#include "survey/SurveyCycle.h"

#include <gtest/gtest.h>

namespace Tollgate::Test {

// The survey on a private X server: the real platform backends, a rule set, a counting
// notifier and an activity log in the sandbox.
class X11SurveyFixture : public testing::Test
{
protected:
    // Starts the server and sets the survey up without running it; skips the test, naming
    // what needs the server, when it cannot run here.
    void startDesktop(bool withWindowManager, const char* what)
    {
        if (const QString reason = XServer::unavailableReason(withWindowManager); !reason.isEmpty())
            GTEST_SKIP() << what << " needs a private X server: " << qPrintable(reason);
        ASSERT_TRUE(m_server.start(withWindowManager)) << "the private X server did not start";
        m_platform = Platform::PlatformFactory::create(m_server.display(), QString(), QString());
        m_log = std::make_unique<ActivityLog>(Sandbox::folder() + QStringLiteral("/Tollgate.log"), m_clock);
        m_cycle = std::make_unique<SurveyCycle>(m_rules, *m_platform, m_notifier, *m_log, m_clock);
    }

    // Ticks the survey until the condition holds, at its own pace.
    bool tickUntil(const std::function<bool()>& condition)
    {
        return waitUntil([&] {
            m_cycle->tick();
            return condition();
        });
    }
    // QProcess learns of an exit only when asked or through the event loop.
    static bool exited(QProcess* process)
    {
        return process->state() == QProcess::NotRunning || process->waitForFinished(1);
    }
    QByteArray logText() const { return Sandbox::readFile(m_log->LogFilePath()); }

    XServer m_server;
    std::unique_ptr<Platform::Platform> m_platform;
    RuleSet m_rules;
    RecordingNotifier m_notifier;
    SystemClock m_clock;
    std::unique_ptr<ActivityLog> m_log;
    std::unique_ptr<SurveyCycle> m_cycle;
};

} // namespace Tollgate::Test
