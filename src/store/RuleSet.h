#pragma once

#include "RuleTable.h"

#include <QObject>

namespace Tollgate {

// The one rule set of a run: the window rules, the process rules, the two messages shown
// to the user, the idle time and the password, with the document's changed flag. Windows
// view it and the survey reads it at the moment of use; nothing holds a second copy.
class RuleSet : public QObject
{
    Q_OBJECT

public:
    enum WindowColumn { WindowPattern = 0, WindowAction = 1 };
    enum ProcessColumn { ProcessName = 0, ProcessAction = 1, ProcessExe = 2 };

    static constexpr int MinIdleTime = 30;
    static constexpr int MaxIdleTime = 600;

    explicit RuleSet(QObject* parent = nullptr);

    RuleTable& windowRules() { return m_windowRules; }
    const RuleTable& windowRules() const { return m_windowRules; }
    RuleTable& processRules() { return m_processRules; }
    const RuleTable& processRules() const { return m_processRules; }

    // Messages hold their line breaks as CR LF pairs; a lone CR or LF is made one.
    const QString& blockMessage() const { return m_blockMessage; }
    void setBlockMessage(const QString& text);
    const QString& timeoutMessage() const { return m_timeoutMessage; }
    void setTimeoutMessage(const QString& text);

    // Seconds, limited to MinIdleTime..MaxIdleTime.
    int idleTime() const { return m_idleTime; }
    void setIdleTime(int seconds);

    const QString& password() const { return m_password; }
    // A new password text marks the rule set changed, whoever sets it.
    void setPassword(const QString& text);

    bool changed() const { return m_changed; }
    void setChanged(bool changed);

    static QString withCrLf(const QString& text);

signals:
    void changedChanged(bool changed);
    void blockMessageChanged(const QString& text);
    void timeoutMessageChanged(const QString& text);
    void idleTimeChanged(int seconds);
    void passwordChanged(const QString& text);

private:
    RuleTable m_windowRules;
    RuleTable m_processRules;
    QString m_blockMessage;
    QString m_timeoutMessage;
    int m_idleTime = MinIdleTime;
    QString m_password;
    bool m_changed = false;
};

} // namespace Tollgate
