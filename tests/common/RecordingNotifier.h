#pragma once

#include "survey/SurveyNotifier.h"

#include <functional>

namespace Tollgate::Test {

// Counts what the survey asks the windows to show instead of showing it.
class RecordingNotifier : public SurveyNotifier
{
public:
    int blockMessages = 0;
    int timeoutMessages = 0;
    int passwordPrompts = 0;
    // Runs inside every show call, as the events a real window processes would.
    std::function<void()> onShow;
    Platform::OwnWindows own;

    void showBlockMessage() override { shown(blockMessages); }
    void showTimeoutMessage() override { shown(timeoutMessages); }
    void showPasswordPrompt() override { shown(passwordPrompts); }
    Platform::OwnWindows ownWindows() const override { return own; }

private:
    void shown(int& count)
    {
        ++count;
        if (onShow)
            onShow();
    }
};

} // namespace Tollgate::Test
