#pragma once

#include "platform/SystemLog.h"

#include <QList>

namespace Tollgate::Platform {

// Records every message, for tests.
class FakeSystemLog : public SystemLog
{
public:
    struct Entry
    {
        Priority priority;
        QString message;
        SystemLogFields fields;
    };

    void write(Priority priority, const QString& message, const SystemLogFields& fields = {}) override
    {
        m_entries.append({priority, message, fields});
    }
    QString destination() const override { return QStringLiteral("the test's record"); }

    const QList<Entry>& entries() const { return m_entries; }

private:
    QList<Entry> m_entries;
};

} // namespace Tollgate::Platform
