#pragma once

#include "TestEnvironment.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"

#include <QStringList>

namespace Tollgate::Test {

// A rule-set document as Tollgate itself writes it, for tests that need one on disk:
//     DocumentBuilder().window("*game*", "(1) Block").password("pw").write("lab.Tollgate")
// Hand-written bytes are for tests of what administrators write by hand.
class DocumentBuilder
{
public:
    DocumentBuilder& window(const QString& pattern, const QString& action)
    {
        m_rules.windowRules().appendRow({pattern, action});
        return *this;
    }
    DocumentBuilder& process(const QString& name, const QString& action, const QString& command = QString())
    {
        m_rules.processRules().appendRow({name, action, command});
        return *this;
    }
    DocumentBuilder& blockMessage(const QString& text)
    {
        m_rules.setBlockMessage(text);
        return *this;
    }
    DocumentBuilder& timeoutMessage(const QString& text)
    {
        m_rules.setTimeoutMessage(text);
        return *this;
    }
    DocumentBuilder& idleTime(int seconds)
    {
        m_rules.setIdleTime(seconds);
        return *this;
    }
    DocumentBuilder& password(const QString& text)
    {
        m_rules.setPassword(text);
        return *this;
    }

    const RuleSet& rules() const { return m_rules; }
    QByteArray bytes() const { return RuleSetDocument::documentText(m_rules).toUtf8(); }
    // Writes the document below the sandbox folder and returns its path.
    QString write(const QString& relativePath) const { return Sandbox::writeFile(relativePath, bytes()); }

private:
    RuleSet m_rules;
};

} // namespace Tollgate::Test
