#pragma once

#include "common/FakeClock.h"
#include "common/TestEnvironment.h"
#include "lang/MessageCatalogue.h"
#include "platform/fake/FakePlatform.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "store/SettingsStore.h"
#include "survey/ActivityLog.h"

#include <gtest/gtest.h>

namespace Tollgate {

// What every window test stands on: a rule set with its document and catalogue, a fake
// desktop, a simulated clock, and a log and a language folder in the sandbox.
class DesktopFixture : public testing::Test
{
protected:
    SettingsStore store;
    MessageCatalogue catalogue {store, ProgramPaths(Sandbox::folder(), Sandbox::folder())};
    RuleSet rules;
    RuleSetDocument document {rules, catalogue};
    Platform::FakePlatform fake;
    FakeClock clock;
    ActivityLog log {Sandbox::folder() + str("/Tollgate.log"), clock};

    void useLanguage(const QByteArray& contents, const char* name = "Test.lng")
    {
        Sandbox::writeFile(str("Language/") + str(name), contents);
        catalogue.SetLanguageFile(str(name));
    }
};

} // namespace Tollgate
