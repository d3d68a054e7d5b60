#pragma once

#include "common/FakeClock.h"
#include "core/RuleSetFixture.h"
#include "platform/fake/FakePlatform.h"
#include "survey/ActivityLog.h"

#include <stdexcept>

namespace Tollgate {

// A window's control by its name; a test of a control that is missing fails at once.
template<typename T> T& child(QObject& window, const char* name)
{
    T* found = window.findChild<T*>(str(name));
    if (!found)
        throw std::runtime_error(std::string("no control ") + name);
    return *found;
}

// What every window test stands on: a rule set with its document and catalogue, a fake
// desktop, a simulated clock, and a log and a language folder in the sandbox.
class DesktopFixture : public RuleSetFixture
{
protected:
    Platform::FakePlatform fake;
    FakeClock clock;
    ActivityLog log {Sandbox::folder() + str("/Tollgate.log"), clock};
};

} // namespace Tollgate
