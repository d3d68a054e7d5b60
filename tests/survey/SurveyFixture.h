#pragma once

#include "common/FakeClock.h"
#include "common/RecordingNotifier.h"
#include "common/TestEnvironment.h"
#include "platform/fake/FakePlatform.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/SurveyCycle.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

namespace Tollgate {

using Test::RecordingNotifier;

// A rule set, fake desktop, recording windows, simulated clock and a log in the sandbox.
struct SurveyFixture
{
    RuleSet rules;
    Platform::FakePlatform fake;
    RecordingNotifier notifier;
    FakeClock clock;
    QTemporaryDir folder {Sandbox::folder() + QStringLiteral("/survey-XXXXXX")};
    ActivityLog log {folder.filePath(QStringLiteral("Tollgate.log")), clock, QLocale(QLocale::German)};
    SurveyCycle cycle {rules, fake.platform(), notifier, log, clock};

    SurveyFixture() { rules.setIdleTime(30); }

    void addWindowRule(const char* pattern, const char* action)
    {
        rules.windowRules().appendRow({QString::fromUtf8(pattern), QString::fromUtf8(action)});
    }
    void addProcessRule(const char* name, const char* action, const char* exe = "")
    {
        rules.processRules().appendRow(
            {QString::fromUtf8(name), QString::fromUtf8(action), QString::fromUtf8(exe)});
    }
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
        QFile file(log.LogFilePath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
};

} // namespace Tollgate
