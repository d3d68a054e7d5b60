#pragma once

#include "platform/PlatformTypes.h"

#include <QJsonObject>
#include <QString>

namespace Tollgate::Platform {

// sway's IPC socket, for what foreign-toplevel-management does not tell: the process of a
// window. Requests wait at most TimeoutMs for the answer.
class SwayIpc
{
public:
    static constexpr int TimeoutMs = 1000;

    explicit SwayIpc(QString socketPath);

    bool isAvailable() const { return !m_socketPath.isEmpty(); }
    // The layout tree (get_tree); empty when sway does not answer.
    QJsonObject tree() const;

    // The pid of the one window in the tree with this app id and title; when several match,
    // the focused one if it is among them, else 0.
    static ProcessId findProcessId(
        const QJsonObject& tree, const QString& appId, const QString& title, bool focused);

private:
    QString m_socketPath;
};

} // namespace Tollgate::Platform
