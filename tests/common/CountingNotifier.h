#pragma once

#include "survey/SurveyNotifier.h"

namespace Tollgate::Test {

// Counts what the survey asks the windows to show instead of showing it.
class CountingNotifier : public SurveyNotifier
{
public:
    int blockMessages = 0;
    int timeoutMessages = 0;
    int passwordPrompts = 0;
    void showBlockMessage() override { ++blockMessages; }
    void showTimeoutMessage() override { ++timeoutMessages; }
    void showPasswordPrompt() override { ++passwordPrompts; }
};

} // namespace Tollgate::Test
