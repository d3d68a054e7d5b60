#pragma once

#include "DesktopFixture.h"
#include "notify/PasswordPrompt.h"
#include "notify/UserMessageWindow.h"
#include "notify/WindowNotifier.h"
#include "survey/SurveyCycle.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace Tollgate {

// The survey's windows on a fake desktop, with the survey they belong to and a language
// folder in the sandbox.
class NotifyFixture : public DesktopFixture
{
protected:
    WindowNotifier notifier {rules, catalogue, fake.windows()};
    SurveyCycle survey {rules, fake.platform(), notifier, log, clock};

    void SetUp() override
    {
        notifier.setSurvey(survey);
        DesktopFixture::SetUp();
    }

    UserMessageWindow& message() { return notifier.messageWindow(); }
    PasswordPrompt& prompt() { return notifier.passwordPrompt(); }

    // Ticks until the window closes; the titles it showed on the way.
    template<typename Window> static QStringList countDown(Window& window)
    {
        QStringList titles;
        for (int tick = 0; tick < 40 && window.isVisible(); ++tick) {
            window.Timer_Timer();
            titles.append(window.windowTitle());
        }
        return titles;
    }

    // "Title (15)" down to "Title (0)".
    static QStringList titlesFrom(const char* title, int first)
    {
        QStringList titles;
        for (int seconds = first; seconds >= 0; --seconds)
            titles.append(str("%1 (%2)").arg(str(title)).arg(seconds));
        return titles;
    }

    // Activates the window; false where the platform plugin does not activate windows.
    static bool activate(QWidget& window)
    {
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
};

} // namespace Tollgate
