#pragma once

#include "common/TestEnvironment.h"
#include "lang/MessageCatalogue.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "store/SettingsStore.h"

#include <deque>
#include <gtest/gtest.h>
#include <string>

namespace Tollgate {

// The next of the answers a test queued for a question or a dialog; one the test did not
// expect fails it and gets a cancel (an empty value).
template<typename T> T nextScripted(std::deque<T>& queue, const std::string& what, T cancel = T {})
{
    if (queue.empty()) {
        ADD_FAILURE() << "unexpected " << what;
        return cancel;
    }
    T next = std::move(queue.front());
    queue.pop_front();
    return next;
}

// One column of a rule table, top to bottom.
inline QStringList column(const RuleTable& table, int index)
{
    QStringList cells;
    for (int position = 1; position <= table.count(); ++position)
        cells.append(table.cell(position, index));
    return cells;
}

// A new rule set with its document and catalogue, in the built-in language, with a
// language folder in the sandbox.
class RuleSetFixture : public testing::Test
{
protected:
    SettingsStore store;
    MessageCatalogue catalogue {store, ProgramPaths(Sandbox::folder(), Sandbox::folder())};
    RuleSet rules;
    RuleSetDocument document {rules, catalogue};

    void SetUp() override
    {
        // Tests may share one process, and with it the registry.
        catalogue.SetLanguageFile(QString());
        document.LoadRuleSet(QString());
    }

    void useLanguage(const QByteArray& contents, const char* name = "Test.lng")
    {
        Sandbox::writeFile(str("Language/") + str(name), contents);
        catalogue.SetLanguageFile(str(name));
    }
    void addWindowRule(const char* pattern, const char* action = "(1) Block")
    {
        rules.windowRules().appendRow({str(pattern), str(action)});
    }
    void addProcessRule(const char* name, const char* action, const char* exe = "")
    {
        rules.processRules().appendRow({str(name), str(action), str(exe)});
    }
    QString sandboxPath(const char* name) const { return Sandbox::folder() + u'/' + str(name); }
};

} // namespace Tollgate
