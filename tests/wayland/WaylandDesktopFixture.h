#pragma once

#include "common/RecordingNotifier.h"
#include "common/TestEnvironment.h"
#include "common/WaitUntil.h"
#include "platform/PlatformFactory.h"
#include "platform/wayland/WaylandInputDevices.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/Clock.h"
#include "survey/SurveyCycle.h"

#include <QCoreApplication>
#include <QProcess>
#include <gtest/gtest.h>

namespace Tollgate::Test {

// A platform on a private compositor, its window system as the backend's own type, and the
// rule set, notifier and survey a test runs on top of it.
template<typename WindowSystem> class WaylandDesktopFixture : public testing::Test
{
protected:
    // Opens the platform on displayPath and checks that the expected backend took it.
    void openPlatform(const QString& displayPath, const QString& backend)
    {
        m_platform = Platform::PlatformFactory::create(QString(), displayPath, QStringLiteral("wayland"));
        ASSERT_TRUE(m_platform->backendName().startsWith(backend)) << qPrintable(m_platform->backendName());
        m_windows = dynamic_cast<WindowSystem*>(&m_platform->windows());
        m_input = dynamic_cast<Platform::WaylandInputDevices*>(&m_platform->input());
        ASSERT_TRUE(m_windows && m_input);
    }

    Platform::WindowId waitForForeground(const QString& title)
    {
        Platform::WindowId found = 0;
        // Some backends hear from the compositor through the event loop.
        waitUntil([&] {
            QCoreApplication::processEvents();
            found = m_windows->foregroundWindow();
            return found && m_windows->windowTitle(found) == title;
        });
        return found && m_windows->windowTitle(found) == title ? found : 0;
    }

    static bool exited(QProcess* process)
    {
        return process->state() == QProcess::NotRunning || process->waitForFinished(1);
    }

    // A survey with a rule that blocks "*forbidden*" titles closes the window startWindow
    // opens as "A Forbidden Game", says so and logs it. Returns false, having checked
    // nothing, when startWindow opened no window.
    bool blockRuleClosesARealWindow(const std::function<QProcess*(const QString&)>& startWindow)
    {
        SystemClock clock;
        ActivityLog log(Sandbox::folder() + QStringLiteral("/Tollgate.log"), clock);
        SurveyCycle cycle(m_rules, *m_platform, m_notifier, log, clock);
        cycle.run();
        m_rules.windowRules().appendRow({QStringLiteral("*forbidden*"), QStringLiteral("(1) Block")});
        QProcess* window = startWindow(QStringLiteral("A Forbidden Game"));
        if (!window)
            return false;
        EXPECT_TRUE(waitUntil([&] {
            QCoreApplication::processEvents();
            cycle.tick();
            return exited(window);
        })) << "the blocked window was not closed";
        EXPECT_GE(m_notifier.blockMessages, 1);
        EXPECT_TRUE(Sandbox::readFile(log.LogFilePath()).contains(";A Forbidden Game;*forbidden*\r\n"));
        return true;
    }

    // What tollgate --check-platform prints in the given session; empty when it did not end.
    static QString checkPlatformReport(const QProcessEnvironment& environment)
    {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate"),
            {QStringLiteral("--check-platform")});
        if (!program.waitForFinished(60000))
            return QString();
        EXPECT_EQ(program.exitCode(), 0);
        return QString::fromUtf8(program.readAllStandardOutput());
    }

    std::unique_ptr<Platform::Platform> m_platform;
    WindowSystem* m_windows = nullptr;
    Platform::WaylandInputDevices* m_input = nullptr;
    RuleSet m_rules;
    RecordingNotifier m_notifier;
};

} // namespace Tollgate::Test
