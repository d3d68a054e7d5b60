#pragma once

#include "Win32Handle.h"
#include "platform/SingleInstance.h"

#include <QString>

namespace Tollgate::Platform {

// A named mutex in the session's namespace: it exists while some process holds a handle
// to it, and Windows closes the handle when that process ends, however it ends. The
// mutex is never locked; its existence is the claim. A second instance only learns that
// the first runs: it must not bring the first one's window back, since that one may be
// enforcing hidden and would otherwise show without its password.
class Win32SingleInstance : public SingleInstance
{
public:
    // The name for the program; tests pass their own.
    static constexpr const wchar_t* DefaultName = L"Local\\Tollgate-3c6a2f0e-instance";

    explicit Win32SingleInstance(QString name = QString::fromWCharArray(DefaultName));

    bool otherInstanceRuns() override;
    bool holdsClaim() const { return m_mutex.isValid(); }

private:
    QString m_name;
    KernelHandle m_mutex;
};

} // namespace Tollgate::Platform
