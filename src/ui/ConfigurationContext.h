#pragma once

namespace Tollgate {

class ActivityLog;
class MessageCatalogue;
class RuleSet;
class RuleSetDocument;
class SurveyCycle;
class UserDialogs;

namespace Platform {
    class Platform;
}

// What the configuration windows work on. All of it outlives the windows.
struct ConfigurationContext
{
    RuleSet& rules;
    RuleSetDocument& document;
    MessageCatalogue& catalogue;
    SurveyCycle& survey;
    ActivityLog& log;
    Platform::Platform& platform;
    UserDialogs& dialogs;
};

} // namespace Tollgate
