#pragma once

#include "platform/PlatformTypes.h"

namespace Tollgate {

// The windows that the survey shows. Each call returns at once; the windows are single
// instances, so a call while one is on screen shows that one again.
class SurveyNotifier
{
public:
    virtual ~SurveyNotifier() = default;

    virtual void showBlockMessage() = 0;
    // Its countdown ends in ProcessSurvey::CloseIdleProcesses unless the user cancels it.
    virtual void showTimeoutMessage() = 0;
    virtual void showPasswordPrompt() = 0;
    // The program's windows on screen now, which no window rule may close or raise.
    virtual Platform::OwnWindows ownWindows() const = 0;
};

} // namespace Tollgate
