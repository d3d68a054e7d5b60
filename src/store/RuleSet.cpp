#include "RuleSet.h"

#include <algorithm>

namespace Tollgate {

RuleSet::RuleSet(QObject* parent)
    : QObject(parent)
    , m_windowRules(2)
    , m_processRules(3)
{ }

QString RuleSet::withCrLf(const QString& text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out += QStringLiteral("\r\n");
        } else if (c == u'\n') {
            out += QStringLiteral("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

void RuleSet::setBlockMessage(const QString& text)
{
    const QString normalized = withCrLf(text);
    if (normalized == m_blockMessage)
        return;
    m_blockMessage = normalized;
    emit blockMessageChanged(m_blockMessage);
}

void RuleSet::setTimeoutMessage(const QString& text)
{
    const QString normalized = withCrLf(text);
    if (normalized == m_timeoutMessage)
        return;
    m_timeoutMessage = normalized;
    emit timeoutMessageChanged(m_timeoutMessage);
}

void RuleSet::setIdleTime(int seconds)
{
    const int limited = std::clamp(seconds, MinIdleTime, MaxIdleTime);
    if (limited == m_idleTime)
        return;
    m_idleTime = limited;
    emit idleTimeChanged(m_idleTime);
}

void RuleSet::setPassword(const QString& text)
{
    if (text == m_password)
        return;
    m_password = text;
    emit passwordChanged(m_password);
    setChanged(true);
}

void RuleSet::setChanged(bool changed)
{
    if (changed == m_changed)
        return;
    m_changed = changed;
    emit changedChanged(m_changed);
}

} // namespace Tollgate
