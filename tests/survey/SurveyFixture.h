#pragma once

#include "common/FakeClock.h"
#include "common/RecordingNotifier.h"
#include "common/TestEnvironment.h"
#include "platform/fake/FakePlatform.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/SurveyCycle.h"

#include <QCoreApplication>
#include <QLocale>
#include <gtest/gtest.h>

namespace Tollgate {

// Rule rows written one a text, their cells separated by '|'.
inline QList<QStringList> rows(const std::vector<const char*>& lines)
{
    QList<QStringList> result;
    for (const char* line : lines)
        result.append(str(line).split(u'|'));
    return result;
}

// A rule set, fake desktop, recording windows, simulated clock and a log in the test's own folder.
class SurveyTest : public testing::Test
{
protected:
    using ProcessId = Platform::ProcessId;
    using WindowId = Platform::WindowId;

    SurveyTest()
    {
        rules.setIdleTime(30);
        cycle.processSurvey().setReporter([this](const QString& text) { reports.append(text); });
    }

    void addWindowRule(const char* pattern, const char* action)
    {
        rules.windowRules().appendRow({str(pattern), str(action)});
    }
    void addProcessRule(const char* name, const char* action, const char* exe = "")
    {
        rules.processRules().appendRow({str(name), str(action), str(exe)});
    }
    // A new window of that process, in front.
    WindowId show(const char* title, ProcessId pid = 1)
    {
        const WindowId window = fake.windows().addWindow(str(title), pid);
        fake.windows().setForegroundWindow(window);
        return window;
    }
    ProcessId add(const char* name) { return fake.processes().addProcess(str(name)); }
    ProcessSurvey& processes() { return cycle.processSurvey(); }
    // Runs the survey for a while, one tick per interval.
    void runFor(qint64 ms)
    {
        for (qint64 t = 0; t < ms; t += SurveyCycle::IntervalMs) {
            cycle.tick();
            clock.advance(SurveyCycle::IntervalMs);
        }
    }
    // Runs the surveys that reported changes asked for, and nothing else (no timer).
    void deliverChanges() { QCoreApplication::sendPostedEvents(&cycle, QEvent::MetaCall); }
    QStringList logLines() const
    {
        return QString::fromUtf8(Sandbox::readFile(log.LogFilePath())).split(str("\r\n"), Qt::SkipEmptyParts);
    }

    RuleSet rules;
    Platform::FakePlatform fake;
    Tollgate::Test::RecordingNotifier notifier;
    FakeClock clock;
    ActivityLog log {Sandbox::folder() + QStringLiteral("/Tollgate.log"), clock, fake.systemLog(),
        QLocale(QLocale::German)};
    SurveyCycle cycle {rules, fake.platform(), notifier, log, clock};
    QStringList reports; // processes that may not be ended
};

} // namespace Tollgate
